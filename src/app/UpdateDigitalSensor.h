#pragma once
// The digital sensor update's judgements of what the relay and the sensor
// report, as pure functions.

#include <cstdint>

#include "device/DeviceType.h"

namespace quor::app {

// The reader's hardware revision: the first character of its "get -hver"
// answer that is not white space, looked for among the first 32; '\0' when
// there is none.
char ReaderHardwareRevision(const char* answer, std::uint32_t length);

// Whether a sensor reporting type reported may take the firmware of the
// selected sensor type: a family number takes its member letters, any
// other type only itself.
bool SensorTypeMatches(SensorType selected, SensorType reported);

}  // namespace quor::app
