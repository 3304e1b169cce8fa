#pragma once
// TI-Text firmware files and the image text they become, as pure functions
// (the file handling and logging live in QuorBSLHost).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "bsl/FirmwareImage.h"
#include "bsl/LoaderMemoryMap.h"
#include "common/FixedText.h"
#include "common/ResultCode.h"

namespace quor {

// Sections that lie in the loader's own code (files built for the whole
// part carry it) are dropped.
inline constexpr std::uint32_t kLoaderAreaSkipFirst = 0xFA00;
inline constexpr std::uint32_t kLoaderAreaSkipLast = 0xFFDF;
// A section starting here is the interrupt vector section.
inline constexpr std::uint32_t kVectorSectionFirst = 0xFFE0;
inline constexpr std::uint32_t kVectorSectionLast = 0xFFFE;
// The image text's headers have five digits.
inline constexpr std::uint32_t kHighestImageAddress = 0xFFFFF;

// The converted form of one TI-Text file.
struct TiTextImage {
    std::unique_ptr<char[]> text;  // zero-terminated image text
    std::uint32_t textLength = 0;
    std::uint32_t vectors[kVectorCount] = {};
};

// Where and why a file was refused: line is 1-based, 0 for the file as a
// whole.
struct TiTextFault {
    std::uint32_t line = 0;
    const char* reason = "";
};

// Converts the bytes of a TI-Text file. Returns 1, -100 when they are not
// TI-Text that can be read exactly, or -60 when memory runs out. out is only
// filled on success; fault (may be null) says what was refused.
//
// Read exactly means: every data token is two hex digits, every "@" line is
// "@" and a hex address alone on its line, and the "q" token ends the data.
// Refused as well: a section running into the loader area from below, one
// starting in it and running on past 0xFFDF, one at 0xFFFF, an odd vector
// section start, a partial vector word, bytes past 0xFFFFF, sections that
// share an address (an odd section's padding counts), and a file without a
// vector section. Words of the vector section past entry 15 lie at 0x10000
// and up and are kept as a section there. Sections without data are left
// out of the image text.
ResultCode ConvertTiText(const char* data, std::size_t size, TiTextImage& out, TiTextFault* fault = nullptr);

// The label, device type and version number a firmware file's name gives.
struct FirmwareName {
    FixedText<kImageLabelChars> label;
    std::int8_t deviceType = 0;
    std::int32_t versionNumber = 0;
};

// lookup may be null: every name then gives device type 0.
FirmwareName ParseFirmwareName(const char* path, DeviceCodeLookup lookup);

// Writes the image dump layout: the image text in lines of 32 digits with
// each header on its own line start, then "@FFE0" and the 16 vectors in two
// lines. Returns false when writing failed.
bool WriteImageDump(std::FILE* file, const char* text, std::uint32_t textLength,
                    const std::uint32_t vectors[kVectorCount]);

}  // namespace quor
