#pragma once
// The instrument update's messages that depend on a result or a number,
// as pure functions so each row can be checked on its own.

#include <cstdint>
#include <string>
#include <vector>

#include "common/ResultCode.h"
#include "device/DeviceType.h"

namespace quor::app {

// The pieces every message joins: the window caption, the product name and
// the selected port's description.
struct MessageNames {
    std::string caption;
    std::string product;
    std::string port;
};

// The first connection failed with r; record is what it learnt of the device.
std::string ConnectErrorText(const MessageNames& n, const DeviceTypeInfo& record, ResultCode r);

// The connected firmware v lies outside [minVersion, maxVersion]; "" when it
// does not. ask adds the lines of the question that lets the user go on.
std::string VersionRangeText(const MessageNames& n, std::uint32_t v, std::uint32_t minVersion,
                             std::uint32_t maxVersion, bool ask);

// A loader or reconnect step failed with r.
std::string LoaderStepErrorText(const MessageNames& n, ResultCode r);

// The firmware image does not fit the connected device's memory.
std::string ImageDoesNotFitText(const MessageNames& n);

// The data erase failed with r.
std::string DataEraseErrorText(const MessageNames& n, ResultCode r);

// The settings restore gave r (below 0): the messages shown, in order.
struct Message {
    std::string text;
    std::string caption;
};
std::vector<Message> RestoreErrorMessages(const MessageNames& n, ResultCode r);

}  // namespace quor::app
