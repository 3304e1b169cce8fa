#pragma once
// What the fuzz targets share: a property check that stops the run with the
// failing input kept, and an independent reading of version texts to hold
// the parsers' numbers against.

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

// A property that must hold for every input: on failure the fuzzer keeps
// the input as a crash artifact.
#define FUZZ_CHECK(cond, ...)                                                  \
    do {                                                                       \
        if (!(cond)) {                                                         \
            std::fprintf(stderr, "property failed at %s:%d: %s\n  ", __FILE__, \
                         __LINE__, #cond);                                     \
            std::fprintf(stderr, __VA_ARGS__);                                 \
            std::fprintf(stderr, "\n");                                        \
            std::abort();                                                      \
        }                                                                      \
    } while (0)

namespace quor::fuzz {

inline bool Space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
inline bool Digit(char c) { return c >= '0' && c <= '9'; }

// "code major.minor[patch]" read the way a firmware writes it: a first word,
// blanks, a major number of plain digits, ".", one minor digit and an
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
    if (i < text.size() && text[i] == '+') ++i;
    if (i >= text.size() || !Digit(text[i])) return f;
    long long major = 0;
    for (; i < text.size() && Digit(text[i]); ++i) {
        major = major * 10 + (text[i] - '0');
        if (major > INT_MAX) return f;
    }
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
