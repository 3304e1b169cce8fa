// The TI-Text reader. An accepted file's image holds exactly the file's
// bytes: every byte at the address the file gives it (the vector words in
// the vectors table, the loader-area sections dropped whole), nothing else
// but the erased high byte that ends an odd section, and no address twice.
// The file is read here independently, the way TI-Text writers emit it: a
// bare "@" address line, then data tokens of exactly two hex digits.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "bsl/TiText.h"

using namespace quor;

namespace {

using ByteMap = std::map<std::uint32_t, std::uint8_t>;

bool HexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }
unsigned HexValue(char c) {
    if (fuzz::Digit(c)) return static_cast<unsigned>(c - '0');
    return static_cast<unsigned>(std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
}
bool InVectorTable(std::uint32_t a) { return a >= kVectorTableAddress && a <= 0xFFFF; }

// The bytes of a file that is TI-Text to the letter; false for any other.
bool ReadExactly(std::string_view file, ByteMap& bytes) {
    if (file.empty() || file[0] != '@') return false;
    const std::size_t end = file.find('q');
    if (end == std::string_view::npos) return false;
    std::string_view body = file.substr(0, end);
    bool vectorSection = false;
    std::size_t pos = 0;
    while (pos < body.size()) {
        std::size_t next = body.find('@', pos + 1);
        if (next == std::string_view::npos) next = body.size();
        std::string_view section = body.substr(pos, next - pos);
        pos = next;

        const std::size_t lf = section.find('\n');
        if (lf == std::string_view::npos) return false;
        std::string_view header = section.substr(1, lf - 1);
        while (!header.empty() && (header.back() == '\r' || header.back() == ' ' || header.back() == '\t'))
            header.remove_suffix(1);
        // Writers such as srec_cat pad the address with zeros past five digits.
        if (header.empty()) return false;
        std::uint32_t address = 0;
        for (char c : header) {
            if (!HexDigit(c)) return false;
            address = address * 16 + HexValue(c);
            if (address > kHighestImageAddress) return false;
        }
        if (address >= kLoaderAreaSkipFirst && address <= kLoaderAreaSkipLast) continue;
        if (address >= kVectorSectionFirst && address <= kVectorSectionLast) vectorSection = true;

        std::string_view data = section.substr(lf + 1);
        std::size_t i = 0;
        while (i < data.size()) {
            if (fuzz::Space(data[i])) {
                ++i;
                continue;
            }
            std::size_t j = i;
            while (j < data.size() && !fuzz::Space(data[j])) ++j;
            if (j - i != 2 || !HexDigit(data[i]) || !HexDigit(data[i + 1])) return false;
            if (address > kHighestImageAddress || bytes.count(address)) return false;
            bytes[address++] = static_cast<std::uint8_t>(HexValue(data[i]) * 16 + HexValue(data[i + 1]));
            i = j;
        }
    }
    return vectorSection;
}

// The bytes the image text stands for: "@" and five upper-case digits, then
// four-digit words (even byte low, odd byte high).
void ReadImageText(const char* text, std::uint32_t length, ByteMap& bytes) {
    FUZZ_CHECK(std::strlen(text) == length, "text length %u, text holds %zu", length, std::strlen(text));
    std::uint32_t i = 0;
    std::uint32_t address = 0;
    while (i < length) {
        if (text[i] == '@') {
            FUZZ_CHECK(i + kImageHeaderChars <= length, "cut header at %u", i);
            address = 0;
            for (std::uint32_t k = 1; k < kImageHeaderChars; ++k) {
                const char c = text[i + k];
                FUZZ_CHECK(fuzz::Digit(c) || (c >= 'A' && c <= 'F'), "header digit '%c'", c);
                address = address * 16 + HexValue(c);
            }
            i += kImageHeaderChars;
            continue;
        }
        FUZZ_CHECK(i > 0, "the text does not begin with a header");
        FUZZ_CHECK(i + 4 <= length, "a cut word at %u", i);
        unsigned word = 0;
        for (std::uint32_t k = 0; k < 4; ++k) {
            FUZZ_CHECK(HexDigit(text[i + k]), "word digit '%c'", text[i + k]);
            word = word * 16 + HexValue(text[i + k]);
        }
        i += 4;
        for (std::uint8_t b : {static_cast<std::uint8_t>(word & 0xFF), static_cast<std::uint8_t>(word >> 8)}) {
            FUZZ_CHECK(!bytes.count(address), "address %05X twice in the image", address);
            FUZZ_CHECK(!InVectorTable(address), "vector address %04X in the image text", address);
            bytes[address++] = b;
        }
    }
}

}  // namespace

void FuzzOne(const std::uint8_t* data, std::size_t size) {
    const char* file = reinterpret_cast<const char*>(data);
    TiTextImage image;
    const ResultCode r = ConvertTiText(file, size, image);
    FUZZ_CHECK(r == 1 || r == rc::kNotTiText, "result %d", r);
    if (r != 1) return;

    ByteMap expected;
    FUZZ_CHECK(ReadExactly(std::string_view(file, size), expected),
               "a file that is not TI-Text to the letter was accepted");
    ByteMap held;
    ReadImageText(image.text.get(), image.textLength, held);
    for (std::uint32_t e = 0; e < kVectorCount; ++e) {
        const std::uint32_t a = kVectorTableAddress + 2 * e;
        held[a] = static_cast<std::uint8_t>(image.vectors[e] & 0xFF);
        held[a + 1] = static_cast<std::uint8_t>((image.vectors[e] >> 8) & 0xFF);
        FUZZ_CHECK(image.vectors[e] <= 0xFFFF, "vector %u is %X", e, image.vectors[e]);
    }
    for (const auto& [address, byte] : expected) {
        auto it = held.find(address);
        FUZZ_CHECK(it != held.end() && it->second == byte, "byte %02X at %05X of the file is %s", byte, address,
                   it == held.end() ? "missing" : "changed");
    }
    for (const auto& [address, byte] : held) {
        if (expected.count(address)) continue;
        // Only erased cells may be added: an unset vector, or the high byte
        // that completes an odd section's last word.
        const bool padding = InVectorTable(address) || (address > 0 && expected.count(address - 1));
        FUZZ_CHECK(byte == 0xFF && padding, "the image holds %02X at %05X, which the file does not", byte,
                   address);
    }
}

QUOR_FUZZ_TARGET(FuzzOne)
