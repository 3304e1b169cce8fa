#pragma once
// The port list behind QuorSerial::CommPortEnum, with the places it reads
// as parameters: the device database is the sysfs tty class under sysRoot,
// and the ports are opened (for the busy test and forced probing) as
// devDir/<name> through the installed port provider.
//
// Listed are the tty devices with a real device behind them (USB serial,
// on-board and PCI UARTs whose UART was detected, Bluetooth rfcomm), in
// natural order: prefix alphabetically, then the trailing number
// numerically (ttyS2 before ttyS10). Forced probing tries ttyS0 .. ttyS15,
// the counterparts of COM1 .. COM16.

#include <cstdint>
#include <string>

#include "common/ResultCode.h"
#include "serial/QuorSerial.h"

namespace quor {

struct CommPortEnumPaths {
    std::string sysRoot = "/sys";
    std::string devDir = "/dev";
};

inline constexpr int kProbedSerialPorts = 16;  // ttyS0 .. ttyS15

// count: in, the list's capacity; out, the records filled. Returns -10 for
// a missing list or count, -11 for capacity 0, -60 when the working copy
// cannot be allocated; otherwise the number of ports the database listed,
// 1 as soon as probing adds one, and 1 when the database could not be read.
ResultCode CommPortEnumIn(const CommPortEnumPaths& paths, PortRecord* list, std::uint32_t* count,
                          bool forceProbing);

// Natural order of port names: prefix by character, then trailing number.
bool PortNameLess(const char* a, const char* b);

}  // namespace quor
