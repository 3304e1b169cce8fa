#pragma once
// What `quorbsl image` shows of a firmware image: its sections, read from
// the image text.

#include <cstdint>
#include <string>
#include <vector>

namespace quor::cli {

struct ImageSection {
    std::uint32_t address = 0;
    std::uint32_t bytes = 0;
};

// The sections of an image text ("@" and five hex digits, then four hex
// digits a word). False, with sections untouched, for a malformed text.
bool ImageSections(const std::string& text, std::vector<ImageSection>* sections);

}  // namespace quor::cli
