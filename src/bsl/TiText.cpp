#include "bsl/TiText.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>

#include "bsl/ImageFit.h"

namespace quor {

namespace {

constexpr std::size_t kWordDigits = 4;
constexpr std::size_t kMaxVersionDigits = 11;

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

unsigned HexValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    return static_cast<unsigned>(c - 'A' + 10);
}

// Blanks between tokens; a line feed ends a line.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

ResultCode Refuse(TiTextFault* fault, std::uint32_t line, const char* reason) {
    if (fault) *fault = {line, reason};
    return rc::kNotTiText;
}

// The n characters after "@": hex digits only, at most 0xFFFFF.
bool ReadHeaderAddress(const char* digits, std::size_t n, std::uint32_t& address) {
    if (n == 0) return false;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!IsHex(digits[i])) return false;
        value = value * 16 + HexValue(digits[i]);
        if (value > kHighestImageAddress) return false;
    }
    address = value;
    return true;
}

enum class SectionKind { kCode, kVectors, kDropped };

// One section of the file as the scan found it.
struct FileSection {
    std::uint32_t address = 0;
    std::uint32_t bytes = 0;
    std::uint32_t line = 0;     // of its "@" line
    std::size_t dataBegin = 0;  // after its "@" line
    std::size_t dataEnd = 0;    // at the next "@" line or the "q"
    SectionKind kind = SectionKind::kCode;
};

// First pass: the sections and their byte counts, every token checked.
// sections holds one entry for every "@" in the file.
ResultCode ScanSections(const char* data, std::size_t size, FileSection* sections, std::size_t& count,
                        TiTextFault* fault) {
    count = 0;
    std::uint32_t line = 1;
    bool lineHasToken = false;
    std::size_t i = 0;
    while (i < size) {
        const char c = data[i];
        if (c == '\n') {
            ++line;
            lineHasToken = false;
            ++i;
            continue;
        }
        if (IsBlank(c)) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < size && data[j] != '\n' && !IsBlank(data[j])) ++j;
        if (j - i == 1 && c == 'q') {
            if (count > 0) sections[count - 1].dataEnd = i;
            return rc::kOk;
        }
        if (c == '@') {
            if (lineHasToken) return Refuse(fault, line, "an \"@\" address does not start its line");
            std::uint32_t address = 0;
            if (!ReadHeaderAddress(data + i + 1, j - i - 1, address)) {
                return Refuse(fault, line, "the \"@\" line is not \"@\" and a hex address up to FFFFF");
            }
            std::size_t k = j;
            while (k < size && IsBlank(data[k])) ++k;
            if (k >= size) return Refuse(fault, line, "the \"@\" line has no line end");
            if (data[k] != '\n') return Refuse(fault, line, "the \"@\" line holds more than its address");
            if (count > 0) sections[count - 1].dataEnd = i;
            sections[count++] = {address, 0, line, k + 1, size, SectionKind::kCode};
            lineHasToken = true;
            i = k;
            continue;
        }
        if (j - i != 2 || !IsHex(c) || !IsHex(data[i + 1])) {
            return Refuse(fault, line, "a data token is not a byte of two hex digits");
        }
        if (count == 0) return Refuse(fault, line, "data before the first \"@\" line");
        FileSection& s = sections[count - 1];
        if (std::uint64_t{s.address} + s.bytes > kHighestImageAddress) {
            return Refuse(fault, line, "data runs past address FFFFF");
        }
        ++s.bytes;
        lineHasToken = true;
        i = j;
    }
    return Refuse(fault, line, "no \"q\" ends the data");
}

// Decides what a section is and where it lands; adds the addresses it
// takes to ranges (tagged with its line) for the overlap check.
ResultCode ClassifySection(FileSection& s, AddressRange* ranges, std::size_t& rangeCount, TiTextFault* fault) {
    const std::uint32_t end = s.address + s.bytes;
    auto take = [&](std::uint32_t first, std::uint32_t last) {
        if (last > first) ranges[rangeCount++] = {first, last, s.line};
    };
    // An odd byte count is padded with an erased byte: it takes that cell too.
    auto padded = [](std::uint32_t first, std::uint32_t last) { return last + ((last - first) & 1u); };
    if (s.address >= kVectorSectionFirst && s.address <= kVectorSectionLast) {
        if (s.address % 2 != 0) return Refuse(fault, s.line, "the vector section starts at an odd address");
        if (end <= kProtectedAreaEnd && s.bytes % 2 != 0) {
            return Refuse(fault, s.line, "the vector section ends in part of a word");
        }
        s.kind = SectionKind::kVectors;
        take(s.address, end < kProtectedAreaEnd ? end : kProtectedAreaEnd);
        if (end > kProtectedAreaEnd) {
            const std::uint32_t last = padded(kProtectedAreaEnd, end);
            if (last > kFiveDigitAddressEnd) return Refuse(fault, s.line, "data runs past address FFFFF");
            take(kProtectedAreaEnd, last);
        }
        return rc::kOk;
    }
    if (s.address > kVectorSectionLast && s.address < kProtectedAreaEnd) {
        return Refuse(fault, s.line, "a section other than the vectors starts in the vector table");
    }
    if (s.address >= kLoaderAreaSkipFirst && s.address <= kLoaderAreaSkipLast) {
        if (end > kLoaderAreaSkipLast + 1) {
            return Refuse(fault, s.line, "a section in the loader area runs on past FFDF");
        }
        s.kind = SectionKind::kDropped;
        take(s.address, end);
        return rc::kOk;
    }
    const std::uint32_t last = padded(s.address, end);
    if (s.address < kLoaderAreaStart && last > kLoaderAreaStart) {
        return Refuse(fault, s.line, "a section runs into the loader area at FA00");
    }
    if (last > kFiveDigitAddressEnd) return Refuse(fault, s.line, "data runs past address FFFFF");
    s.kind = SectionKind::kCode;
    take(s.address, last);
    return rc::kOk;
}

// The byte tokens of a checked section, in file order.
class ByteTokens {
public:
    ByteTokens(const char* data, std::size_t begin, std::size_t end) : data_(data), pos_(begin), end_(end) {}
    const char* Next() {
        while (pos_ < end_ && (IsBlank(data_[pos_]) || data_[pos_] == '\n')) ++pos_;
        if (pos_ >= end_) return nullptr;
        const char* digits = data_ + pos_;
        pos_ += 2;
        return digits;
    }

private:
    const char* data_;
    std::size_t pos_;
    std::size_t end_;
};

// The image text under construction, in a buffer of the exact size.
class TextBuilder {
public:
    TextBuilder(char* buffer, std::size_t capacity) : buf_(buffer), cap_(capacity) {}
    void Put(char c) {
        if (len_ + 1 < cap_) buf_[len_++] = c;
    }
    void Finish() { buf_[len_] = '\0'; }
    std::size_t Length() const { return len_; }

private:
    char* buf_;
    std::size_t cap_;
    std::size_t len_ = 0;
};

std::size_t SectionTextChars(std::uint32_t bytes) {
    return bytes == 0 ? 0 : kImageHeaderChars + (bytes + 1) / 2 * kWordDigits;
}

// Appends a section of count bytes from tokens: the header, then each word
// with its two bytes exchanged (the word's value, high digits first). A
// missing high byte reads as erased flash.
void AppendSection(TextBuilder& out, std::uint32_t address, ByteTokens& tokens, std::uint32_t count) {
    if (count == 0) return;
    char header[kImageHeaderChars + 1];
    std::snprintf(header, sizeof header, "@%05X", static_cast<unsigned>(address));
    for (std::size_t i = 0; i < kImageHeaderChars; ++i) out.Put(header[i]);
    for (std::uint32_t done = 0; done < count; done += 2) {
        const char* low = tokens.Next();
        const char* high = done + 1 < count ? tokens.Next() : "FF";
        out.Put(high[0]);
        out.Put(high[1]);
        out.Put(low[0]);
        out.Put(low[1]);
    }
}

std::uint32_t ByteValue(const char* digits) { return HexValue(digits[0]) << 4 | HexValue(digits[1]); }

}  // namespace

ResultCode ConvertTiText(const char* data, std::size_t size, TiTextImage& out, TiTextFault* fault) {
    if (!data || size == 0 || data[0] != '@') return Refuse(fault, 1, "the file does not start with \"@\"");
    const std::size_t headers = static_cast<std::size_t>(std::count(data, data + size, '@'));
    std::unique_ptr<FileSection[]> sections(new (std::nothrow) FileSection[headers]);
    std::unique_ptr<AddressRange[]> ranges(new (std::nothrow) AddressRange[2 * headers]);
    if (!sections || !ranges) return rc::kOutOfMemory;

    std::size_t count = 0;
    ResultCode r = ScanSections(data, size, sections.get(), count, fault);
    if (r < 0) return r;
    std::size_t rangeCount = 0;
    bool vectorSectionSeen = false;
    std::size_t textChars = 0;
    for (std::size_t i = 0; i < count; ++i) {
        FileSection& s = sections[i];
        r = ClassifySection(s, ranges.get(), rangeCount, fault);
        if (r < 0) return r;
        if (s.kind == SectionKind::kVectors) {
            vectorSectionSeen = true;
            if (s.address + s.bytes > kProtectedAreaEnd) textChars += SectionTextChars(s.address + s.bytes - kProtectedAreaEnd);
        } else if (s.kind == SectionKind::kCode) {
            textChars += SectionTextChars(s.bytes);
        }
    }
    AddressRange a;
    AddressRange b;
    if (FindOverlap(ranges.get(), rangeCount, a, b)) {
        return Refuse(fault, a.tag > b.tag ? a.tag : b.tag, "sections share addresses");
    }
    if (!vectorSectionSeen) return Refuse(fault, 0, "there is no vector section (FFE0-FFFE)");

    std::unique_ptr<char[]> text(new (std::nothrow) char[textChars + 1]);
    if (!text) return rc::kOutOfMemory;
    TextBuilder builder(text.get(), textChars + 1);
    std::uint32_t vectors[kVectorCount];
    for (auto& v : vectors) v = kErasedWord;
    for (std::size_t i = 0; i < count; ++i) {
        const FileSection& s = sections[i];
        ByteTokens tokens(data, s.dataBegin, s.dataEnd);
        if (s.kind == SectionKind::kCode) {
            AppendSection(builder, s.address, tokens, s.bytes);
        } else if (s.kind == SectionKind::kVectors) {
            std::uint32_t address = s.address;
            std::uint32_t left = s.bytes;
            for (; left >= 2 && address < kProtectedAreaEnd; left -= 2, address += 2) {
                const std::uint32_t low = ByteValue(tokens.Next());
                const std::uint32_t high = ByteValue(tokens.Next());
                vectors[(address - kVectorTableAddress) / 2] = low | high << 8;
            }
            // Past 0xFFFE the words are code at 0x10000 and up (a toolchain
            // writes code there straight after the vectors, as one section).
            AppendSection(builder, address, tokens, left);
        }
    }
    builder.Finish();
    out.text = std::move(text);
    out.textLength = static_cast<std::uint32_t>(builder.Length());
    std::memcpy(out.vectors, vectors, sizeof vectors);
    return rc::kOk;
}

FirmwareName ParseFirmwareName(const char* path, DeviceCodeLookup lookup) {
    FirmwareName name;
    if (!path) return name;
    // Both separators count: files come from Windows and POSIX paths alike.
    const char* base = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '\\' || *p == '/') base = p + 1;
    }
    name.label.Assign(base);
    char* label = name.label.data();
    if (char* ext = std::strstr(label, ".txt")) *ext = '\0';

    FixedText<kImageLabelChars> prefix;
    char* pre = prefix.data();
    std::size_t n = 0;
    while (label[n] && label[n] != ' ' && label[n] != '-' && label[n] != '_') {
        pre[n] = static_cast<char>(std::toupper(static_cast<unsigned char>(label[n])));
        ++n;
    }
    pre[n] = '\0';
    if (lookup) {
        std::int8_t type = lookup(pre);
        // Only real rows count: 0 is UNKNOWN and 25 the table's end marker.
        if (type >= 1 && type <= 24) name.deviceType = type;
    }

    std::int64_t version = 0;
    std::size_t digits = 0;
    bool passed = false;
    for (const char* p = label; *p && digits < kMaxVersionDigits; ++p) {
        if (!passed) {
            passed = (*p == ' ' || *p == '-');
            continue;
        }
        if (*p >= '0' && *p <= '9') {
            version = version * 10 + (*p - '0');
            ++digits;
        }
    }
    // Eleven digits can exceed 32 bits: keep the largest number that fits.
    name.versionNumber = version > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(version);

    if (char* dash = std::strrchr(label, '-')) {
        if (dash > label && std::isdigit(static_cast<unsigned char>(dash[-1])) &&
            std::isdigit(static_cast<unsigned char>(dash[1]))) {
            *dash = '.';
        }
    }
    return name;
}

bool WriteImageDump(std::FILE* file, const char* text, std::uint32_t textLength,
                    const std::uint32_t vectors[kVectorCount]) {
    constexpr std::uint32_t kDigitsPerLine = 32;
    bool ok = true;
    std::uint32_t onLine = 0;
    std::uint32_t i = 0;
    while (text && i < textLength) {
        if (text[i] == '@') {
            std::uint32_t n = textLength - i < kImageHeaderChars ? textLength - i : kImageHeaderChars;
            ok = ok && std::fwrite(text + i, 1, n, file) == n && std::fputc('\n', file) != EOF;
            i += n;
            onLine = 0;
            continue;
        }
        ok = ok && std::fputc(text[i], file) != EOF;
        ++i;
        if (++onLine == kDigitsPerLine) {
            ok = ok && std::fputc('\n', file) != EOF;
            onLine = 0;
        }
    }
    ok = ok && std::fprintf(file, "\n@%X\n", static_cast<unsigned>(kVectorTableAddress)) > 0;
    ok = ok && std::fprintf(file, "%04X%04X%04X%04X%04X%04X%04X%04X\n%04X%04X%04X%04X%04X%04X%04X%04X\n",
                            static_cast<unsigned>(vectors[0]), static_cast<unsigned>(vectors[1]),
                            static_cast<unsigned>(vectors[2]), static_cast<unsigned>(vectors[3]),
                            static_cast<unsigned>(vectors[4]), static_cast<unsigned>(vectors[5]),
                            static_cast<unsigned>(vectors[6]), static_cast<unsigned>(vectors[7]),
                            static_cast<unsigned>(vectors[8]), static_cast<unsigned>(vectors[9]),
                            static_cast<unsigned>(vectors[10]), static_cast<unsigned>(vectors[11]),
                            static_cast<unsigned>(vectors[12]), static_cast<unsigned>(vectors[13]),
                            static_cast<unsigned>(vectors[14]), static_cast<unsigned>(vectors[15])) > 0;
    return ok;
}

}  // namespace quor
