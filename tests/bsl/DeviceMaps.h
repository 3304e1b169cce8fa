#pragma once
// The loader memory maps of two rows of the device type table, as tests
// and benchmarks build them without the device layer.

#include "bsl/LoaderMemoryMap.h"

namespace quor::bsltest {

// Row 20, "TRU": four-digit addresses at 9600 baud.
inline LoaderMemoryMap TruMap() {
    LoaderMemoryMap m;
    m.flashStart = 0x1100;
    m.flashEnd = 0xF9FF;
    m.loaderOption = false;
    m.infoStart = 0x1000;
    m.infoSegments = 2;
    m.infoSegmentSize = 128;
    m.loaderBaud = 9600;
    return m;
}

// Row 15, "DM9": five-digit addresses at 57600 baud.
inline LoaderMemoryMap Dm9Map() {
    LoaderMemoryMap m;
    m.flashStart = 0x2100;
    m.flashEnd = 0x1FF00;
    m.loaderOption = true;
    m.infoStart = 0x1000;
    m.infoSegments = 3;
    m.infoSegmentSize = 64;
    m.loaderBaud = 57600;
    return m;
}

}  // namespace quor::bsltest
