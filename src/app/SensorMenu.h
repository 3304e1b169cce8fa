#pragma once
// The sensor-type items of the digital-sensor edition's "&Settings" menu.

#include "app/AppControls.h"
#include "device/DeviceType.h"

namespace quor::app {

struct SensorMenuItem {
    Control item;
    SensorType code;
    const char* versionFinderPath;
    bool shown;  // shown with factory mode; the others stay hidden
};

// In menu order.
extern const SensorMenuItem kSensorMenu[kSensorItemCount];

// The item of code, or null.
const SensorMenuItem* SensorMenuItemFor(SensorType code);
const SensorMenuItem* SensorMenuItemFor(Control item);

}  // namespace quor::app
