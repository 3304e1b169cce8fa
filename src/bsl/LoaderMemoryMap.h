#pragma once
// What the loader host needs to know of a device type, handed in by the
// caller so that this layer stays below the device type table: the flash
// map and loader settings of one row, and a lookup from a device code to
// its type number for the firmware file names.

#include <cstdint>

namespace quor {

// The loader-related columns of one device type row.
struct LoaderMemoryMap {
    std::uint32_t flashStart = 0;      // first address of the code flash
    std::uint32_t flashEnd = 0;        // last address of that area
    bool loaderOption = false;         // five-digit addresses (flash above 0xFFFF)
    std::uint32_t infoStart = 0;       // first address of the information memory
    std::uint32_t infoSegments = 0;    // information segments to erase
    std::uint32_t infoSegmentSize = 0; // bytes in one information segment
    std::uint32_t loaderBaud = 9600;   // rate the loader runs at
};

// Device type number (1..24) of an upper-case device code such as "RV70",
// or 0 when no type has that code. The application wires this to the
// device type table.
using DeviceCodeLookup = std::int8_t (*)(const char* upperCaseCode);

}  // namespace quor
