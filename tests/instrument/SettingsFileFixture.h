#pragma once
// Shared pieces of the settings file tests: a protocol object that takes a
// device type as connected without a link, and file helpers.

#include <memory>
#include <string>

#include "instrument/Quor_protocol.h"
#include "log/QuorLog.h"
#include "support/TempDir.h"

namespace quor::testing {

inline std::unique_ptr<Quor_protocol> ConnectedTo(DeviceType type, QuorLog* log = nullptr,
                                                 std::int32_t version = 300) {
    auto p = std::make_unique<Quor_protocol>(log);
    DeviceTypeInfo info;
    BuildDeviceTypeInfo(type, version, info);
    p->AdoptDevice(info);
    return p;
}

inline const std::string kHeaderLines = "***** Auto-Generated Settings File -- DO NOT EDIT *****\r\n\r\n";

}  // namespace quor::testing
