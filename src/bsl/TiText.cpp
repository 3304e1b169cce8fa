#include "bsl/TiText.h"

#include <cctype>
#include <cstring>
#include <new>

namespace quor {

namespace {

constexpr std::size_t kWordDigits = 4;
// One section of the image text takes at most its header, its digits and
// three digits of padding more than the file's digits; a file's header
// takes at least "@", one digit and a line feed. Sizing by this bound lets
// no file, however compact, overrun the text.
constexpr std::size_t kMaxExtraCharsPerSection = kImageHeaderChars + (kWordDigits - 1);
constexpr std::size_t kMaxVersionDigits = 11;

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

unsigned HexValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    return static_cast<unsigned>(c - 'A' + 10);
}

// Reads "@" + hex address at data[pos]; blanks and tabs may stand between.
// False when no digit follows or the address exceeds five digits' range.
bool ReadHeaderAddress(const char* data, std::size_t pos, std::size_t end, std::uint32_t& address) {
    std::size_t i = pos + 1;
    while (i < end && (data[i] == ' ' || data[i] == '\t')) ++i;
    std::uint64_t value = 0;
    std::size_t digits = 0;
    while (i < end && IsHex(data[i])) {
        value = value * 16 + HexValue(data[i]);
        if (value > kHighestImageAddress) return false;
        ++i;
        ++digits;
    }
    if (digits == 0) return false;
    address = static_cast<std::uint32_t>(value);
    return true;
}

// The image text under construction, in a buffer sized by the bound above.
class TextBuilder {
public:
    TextBuilder(char* buffer, std::size_t capacity) : buf_(buffer), cap_(capacity) {}
    void Put(char c) {
        if (len_ + 1 < cap_) buf_[len_++] = c;
    }
    void PutGroup(const char g[kWordDigits]) {
        // The two bytes exchanged: the word's value, high digits first.
        Put(g[2]);
        Put(g[3]);
        Put(g[0]);
        Put(g[1]);
    }
    void Finish() { buf_[len_] = '\0'; }
    std::size_t Length() const { return len_; }

private:
    char* buf_;
    std::size_t cap_;
    std::size_t len_ = 0;
};

void AppendSection(TextBuilder& out, std::uint32_t address, const char* data, std::size_t begin,
                   std::size_t end) {
    char header[kImageHeaderChars + 1];
    std::snprintf(header, sizeof header, "@%05X", static_cast<unsigned>(address));
    for (std::size_t i = 0; i < kImageHeaderChars; ++i) out.Put(header[i]);
    char group[kWordDigits];
    std::size_t have = 0;
    for (std::size_t i = begin; i < end; ++i) {
        if (!IsHex(data[i])) continue;
        group[have++] = data[i];
        if (have == kWordDigits) {
            out.PutGroup(group);
            have = 0;
        }
    }
    if (have > 0) {
        // A missing high byte reads as erased flash.
        while (have < kWordDigits) group[have++] = 'F';
        out.PutGroup(group);
    }
}

// Reads the vector words into the table. Words past 0xFFFE are not
// vectors: they are code at 0x10000 and up (a toolchain writes code there
// straight after the vectors as one section), so they go on as a section of
// their own rather than being lost.
ResultCode ReadVectors(std::uint32_t address, const char* data, std::size_t begin, std::size_t end,
                       std::uint32_t vectors[kVectorCount], TextBuilder& out) {
    std::uint32_t entry = (address - kVectorTableAddress) / 2;
    unsigned word = 0;
    std::size_t have = 0;
    for (std::size_t i = begin; i < end; ++i) {
        if (entry >= kVectorCount) {
            bool more = false;
            for (std::size_t k = i; k < end && !more; ++k) more = IsHex(data[k]);
            if (more) AppendSection(out, kVectorTableAddress + 2 * kVectorCount, data, i, end);
            return rc::kOk;
        }
        if (!IsHex(data[i])) continue;
        word = (word << 4) | HexValue(data[i]);
        if (++have == kWordDigits) {
            vectors[entry++] = ((word & 0xFF) << 8) | (word >> 8);
            word = 0;
            have = 0;
        }
    }
    return have == 0 ? rc::kOk : rc::kNotTiText;
}

}  // namespace

ResultCode ConvertTiText(const char* data, std::size_t size, TiTextImage& out) {
    if (!data || size == 0 || data[0] != '@') return rc::kNotTiText;
    const char* q = static_cast<const char*>(std::memchr(data, 'q', size));
    if (!q) return rc::kNotTiText;
    const std::size_t end = static_cast<std::size_t>(q - data);

    std::size_t sections = 0;
    std::size_t digits = 0;
    for (std::size_t i = 0; i < end; ++i) {
        if (data[i] == '@') ++sections;
        else if (IsHex(data[i])) ++digits;
    }
    const std::size_t capacity = sections * kMaxExtraCharsPerSection + digits + 1;
    std::unique_ptr<char[]> text(new (std::nothrow) char[capacity]);
    if (!text) return rc::kOutOfMemory;
    TextBuilder builder(text.get(), capacity);

    std::uint32_t vectors[kVectorCount];
    for (auto& v : vectors) v = kErasedWord;
    bool vectorSectionSeen = false;

    std::size_t pos = 0;
    while (pos < end) {
        const char* nextAt = static_cast<const char*>(std::memchr(data + pos + 1, '@', end - pos - 1));
        const std::size_t dataEnd = nextAt ? static_cast<std::size_t>(nextAt - data) : end;
        std::uint32_t address = 0;
        if (!ReadHeaderAddress(data, pos, dataEnd, address)) return rc::kNotTiText;
        const char* lf = static_cast<const char*>(std::memchr(data + pos, '\n', dataEnd - pos));
        if (!lf) return rc::kNotTiText;
        const std::size_t dataBegin = static_cast<std::size_t>(lf - data) + 1;

        if (address >= kVectorSectionFirst && address <= kVectorSectionLast) {
            vectorSectionSeen = true;
            if (ReadVectors(address, data, dataBegin, dataEnd, vectors, builder) < 0) return rc::kNotTiText;
        } else if (address >= kLoaderAreaSkipFirst && address <= kLoaderAreaSkipLast) {
            // That flash belongs to the device's loader: nothing is stored.
        } else {
            AppendSection(builder, address, data, dataBegin, dataEnd);
        }
        pos = dataEnd;
    }
    if (!vectorSectionSeen) return rc::kNotTiText;

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
