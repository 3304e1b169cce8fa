#pragma once
// Whether a firmware image can be programmed exactly into a device, as pure
// functions over the image text and the device's memory map. An update
// asks before its first erase, so that an image that does not fit leaves
// the device as it was.
//
// The flash from 0xFA00 to 0xFFDF holds the loader's own code, 0xFFE0 to
// 0xFFFF the vector table; the host writes neither with "W" (the vectors
// go through "V") and never erases them.

#include <cstddef>
#include <cstdint>

#include "bsl/LoaderMemoryMap.h"
#include "common/ResultCode.h"

namespace quor {

inline constexpr std::uint32_t kLoaderAreaStart = 0xFA00;
inline constexpr std::uint32_t kLoaderCodeLast = 0xFFDF;     // the vector table follows
inline constexpr std::uint32_t kProtectedAreaEnd = 0x10000;  // loader and vectors end below
inline constexpr std::uint32_t kFourDigitAddressEnd = 0x10000;
inline constexpr std::uint32_t kFiveDigitAddressEnd = 0x100000;
inline constexpr std::uint32_t kFlashSegmentSize = 512;

// The address the flash erase sends after address: one segment on, jumping
// over the loader area.
std::uint32_t NextEraseAddress(std::uint32_t address);

// Addresses [first, end), with a tag saying whose they are (a line number,
// a section's start).
struct AddressRange {
    std::uint32_t first = 0;
    std::uint32_t end = 0;
    std::uint32_t tag = 0;
};

// Sorts ranges by their start. Returns true when two of them share an
// address; a and b are then those two, a starting first.
bool FindOverlap(AddressRange* ranges, std::size_t count, AddressRange& a, AddressRange& b);

// Why an image was refused: result is 1 when it fits; otherwise -11 (the
// image text is malformed), -60 (no memory for the check) or -122, with the
// section (start address, bytes) and a reason for the log.
struct ImageFitReport {
    ResultCode result = rc::kOk;
    std::uint32_t address = 0;
    std::uint32_t bytes = 0;
    const char* reason = "";
};

// What any loader needs: a well-formed image text whose sections can each
// be addressed with the digits the device takes (four: below 0x10000), none
// touching 0xFA00-0xFFFF, no two sharing an address.
ImageFitReport CheckImageLayout(const char* text, std::uint32_t length, bool fiveDigits);

// The layout for the map's digits, and: the image holds code, and every
// byte lies where the map's erase steps clear the flash (the information
// segments, and the 512-byte segments of the code flash erase, cut to
// flashStart..flashEnd).
ImageFitReport CheckImageFits(const char* text, std::uint32_t length, const LoaderMemoryMap& map);

}  // namespace quor
