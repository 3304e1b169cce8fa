#pragma once
// What the fuzz targets share: a property check that stops the run with the
// failing input kept, and an independent reading of version texts to hold
// the parsers' numbers against.

#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "common/Printf.h"

// A property that must hold for every input. A failure aborts, so the
// fuzzer keeps the input as a crash artifact. For long runs past faults
// that are already known, QUOR_FUZZ_KEEP_GOING=<folder> records each failing
// input there instead (the first few of each check, and a count of all,
// printed at exit) and goes on with the next input.
#define FUZZ_CHECK(cond, ...)                                                          \
    do {                                                                               \
        if (!(cond)) ::quor::fuzz::PropertyFailed(__FILE__, __LINE__, #cond, __VA_ARGS__); \
    } while (0)

// Defines the fuzzer's entry point around fn(data, size).
#define QUOR_FUZZ_TARGET(fn)                                                    \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
        ::quor::fuzz::RunOne(fn, data, size);                                   \
        return 0;                                                               \
    }

namespace quor::fuzz {

namespace detail {
struct KeepGoing {
    const char* folder = std::getenv("QUOR_FUZZ_KEEP_GOING");
    std::map<std::string, unsigned long> failures;  // by check site
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    ~KeepGoing() {
        for (const auto& [site, count] : failures) std::fprintf(stderr, "property %s failed %lu times\n", site.c_str(), count);
    }
};
inline KeepGoing& State() {
    static KeepGoing state;
    return state;
}
// Thrown only in keep-going mode, caught around the input's run.
struct Failed {};
constexpr unsigned long kKeptPerCheck = 3;
}  // namespace detail

[[noreturn]] QUOR_PRINTF(4, 5) inline void PropertyFailed(const char* file, int line, const char* cond, const char* format, ...) {
    detail::KeepGoing& k = detail::State();
    const std::string site = std::string(file) + ":" + std::to_string(line);
    const unsigned long seen = k.folder ? k.failures[site]++ : 0;
    if (!k.folder || seen < detail::kKeptPerCheck) {
        std::fprintf(stderr, "property failed at %s: %s\n  ", site.c_str(), cond);
        va_list ap;
        va_start(ap, format);
        std::vfprintf(stderr, format, ap);
        va_end(ap);
        std::fprintf(stderr, "\n");
    }
    if (!k.folder) std::abort();
    if (seen < detail::kKeptPerCheck) {
        std::string name = site.substr(site.find_last_of('/') + 1) + "-" + std::to_string(seen);
        for (char& c : name) c = c == ':' ? '_' : c;
        if (std::FILE* f = std::fopen((std::string(k.folder) + "/" + name).c_str(), "wb")) {
            std::fwrite(k.data, 1, k.size, f);
            std::fclose(f);
        }
    }
    throw detail::Failed{};
}

template <typename Fn>
void RunOne(Fn fn, const std::uint8_t* data, std::size_t size) {
    detail::KeepGoing& k = detail::State();
    k.data = data;
    k.size = size;
    try {
        fn(data, size);
    } catch (const detail::Failed&) {
        // Recorded; the next input goes on.
    }
}

inline bool Space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
inline bool Digit(char c) { return c >= '0' && c <= '9'; }

// "code major.minor[patch]" read the way a firmware writes it: a first word,
// blanks, a major number that is not negative, ".", one minor digit and an
// optional patch digit (blanks may stand before each digit, as "%1d" reads
// them). valid is false for anything else, and for a number that does not
// fit a signed 32-bit version (major * 100 + minor * 10 + patch).
struct VersionForm {
    bool valid = false;
    std::string code;
    long long version = 0;
};

inline VersionForm ReadVersionForm(std::string_view text) {
    VersionForm f;
    std::size_t i = 0;
    while (i < text.size() && Space(text[i])) ++i;
    const std::size_t word = i;
    while (i < text.size() && text[i] != '\0' && !Space(text[i])) ++i;
    if (i == word) return f;
    f.code.assign(text.substr(word, i - word));
    while (i < text.size() && Space(text[i])) ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i >= text.size() || !Digit(text[i])) return f;
    long long major = 0;
    for (; i < text.size() && Digit(text[i]); ++i) {
        major = major * 10 + (text[i] - '0');
        if (major > INT_MAX) return f;
    }
    // A version is never negative ("-0" is still 0).
    if (negative && major != 0) return f;
    if (i >= text.size() || text[i] != '.') return f;
    ++i;
    while (i < text.size() && Space(text[i])) ++i;
    if (i >= text.size() || !Digit(text[i])) return f;
    const int minor = text[i++] - '0';
    while (i < text.size() && Space(text[i])) ++i;
    const int patch = i < text.size() && Digit(text[i]) ? text[i] - '0' : 0;
    f.version = major * 100 + minor * 10 + patch;
    f.valid = f.version <= INT_MAX;
    return f;
}

// The fuzz input as a zero-terminated text (cut at its first NUL, as a C
// string reader sees it).
inline std::string AsText(const unsigned char* data, std::size_t size) {
    std::string s(reinterpret_cast<const char*>(data), size);
    return std::string(s.c_str());
}

}  // namespace quor::fuzz
