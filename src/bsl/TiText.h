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

// Sections starting here belong to the device's loader and are dropped.
inline constexpr std::uint32_t kLoaderAreaSkipFirst = 0xFA00;
inline constexpr std::uint32_t kLoaderAreaSkipLast = 0xFDFE;
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

// Converts the bytes of a TI-Text file. Returns 1, -100 when they are not
// valid TI-Text, or -60 when the image text cannot be allocated. out is
// only filled on success. A header address above 0xFFFFF does not fit the
// image text and is taken as invalid. Words of the vector section past
// entry 15 lie at 0x10000 and up and are kept as a section there.
ResultCode ConvertTiText(const char* data, std::size_t size, TiTextImage& out);

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
