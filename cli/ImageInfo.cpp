#include "cli/ImageInfo.h"

#include <charconv>

#include "bsl/FirmwareImage.h"

namespace quor::cli {

namespace {

constexpr std::size_t kAddressDigits = kImageHeaderChars - 1;
constexpr std::size_t kWordDigits = 4;

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

}  // namespace

bool ImageSections(const std::string& text, std::vector<ImageSection>* sections) {
    std::vector<ImageSection> found;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '@' || i + kImageHeaderChars > text.size()) return false;
        ImageSection s;
        const char* first = text.data() + i + 1;
        for (std::size_t k = 0; k < kAddressDigits; ++k) {
            if (!IsHex(first[k])) return false;
        }
        auto [end, ec] = std::from_chars(first, first + kAddressDigits, s.address, 16);
        if (ec != std::errc() || end != first + kAddressDigits) return false;
        i += kImageHeaderChars;
        while (i < text.size() && text[i] != '@') {
            if (i + kWordDigits > text.size()) return false;
            for (std::size_t k = 0; k < kWordDigits; ++k) {
                if (!IsHex(text[i + k])) return false;
            }
            s.bytes += 2;
            i += kWordDigits;
        }
        found.push_back(s);
    }
    *sections = std::move(found);
    return true;
}

}  // namespace quor::cli
