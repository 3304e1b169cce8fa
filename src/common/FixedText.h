#pragma once
// FixedText<N>: a zero-terminated text of at most N characters in place.
// Every copy into it is cut at N characters and always terminated, so the
// field lengths that devices, files and the window can observe hold, and no
// write can run past the field.

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "common/Printf.h"

namespace quor {

template <std::size_t N>
class FixedText {
public:
    static constexpr std::size_t kMaxChars = N;

    FixedText() { buf_[0] = '\0'; }
    FixedText(const char* s) { Assign(s); }  // NOLINT: implicit by design, like a char field
    FixedText(std::string_view s) { Assign(s); }

    // Copies s, cut to N characters. A null pointer gives an empty text.
    void Assign(const char* s) { Assign(s ? std::string_view(s) : std::string_view()); }
    void Assign(std::string_view s) {
        std::size_t n = s.size() < N ? s.size() : N;
        if (n) std::memmove(buf_, s.data(), n);
        buf_[n] = '\0';
    }
    FixedText& operator=(const char* s) { Assign(s); return *this; }
    FixedText& operator=(std::string_view s) { Assign(s); return *this; }

    // Appends as much of s as fits.
    void Append(std::string_view s) {
        std::size_t len = size();
        std::size_t n = s.size() < N - len ? s.size() : N - len;
        if (n) std::memmove(buf_ + len, s.data(), n);
        buf_[len + n] = '\0';
    }

    // printf into the field, cut to N characters; returns the length kept.
    QUOR_PRINTF(2, 3) std::size_t Format(const char* fmt, ...) {
        va_list ap;
        va_start(ap, fmt);
        int n = std::vsnprintf(buf_, N + 1, fmt, ap);
        va_end(ap);
        if (n < 0) buf_[0] = '\0';
        return size();
    }

    void Clear() { buf_[0] = '\0'; }
    const char* c_str() const { return buf_; }
    std::string_view view() const { return std::string_view(buf_); }
    std::string str() const { return std::string(buf_); }
    std::size_t size() const { return std::strlen(buf_); }
    bool empty() const { return buf_[0] == '\0'; }
    // For C APIs that fill the field: capacity() bytes including the zero.
    char* data() { return buf_; }
    static constexpr std::size_t capacity() { return N + 1; }

    friend bool operator==(const FixedText& a, std::string_view b) { return a.view() == b; }
    friend bool operator==(const FixedText& a, const char* b) { return a.view() == std::string_view(b ? b : ""); }
    friend bool operator==(const FixedText& a, const FixedText& b) { return a.view() == b.view(); }

private:
    char buf_[N + 1];
};

}  // namespace quor
