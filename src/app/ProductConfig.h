#pragma once
// The product a build of the updater is for, fixed when it is built: the
// instrument edition for the Dewmark Tru by default, the digital-sensor
// edition with -DQUOR_EDITION_DIGITAL_SENSOR=ON. The application takes the
// configuration as a value, so tests build either edition in one program.

#include <cstdint>

#include "bsl/FirmwareImage.h"
#include "device/DeviceType.h"

namespace quor::app {

enum class Edition : std::uint8_t { kInstrument, kDigitalSensor };

// The maker's details shown in the help and about texts. The build passes
// them in (QUOR_MAKER_CONTACT, QUOR_ABOUT_COPYRIGHT, QUOR_LITERATURE_URL);
// without them they are neutral placeholders that say so.
struct MakerInfo {
    const char* contact;
    const char* copyright;
    const char* literatureAddress;
};

struct ProductConfig {
    Edition edition = Edition::kInstrument;
    // The device an instrument edition updates; kUnknown in the sensor
    // edition, whose product is the selected sensor type.
    DeviceType productType = DeviceType::kTru;
    SensorType startSensorType = 93;  // ZEPRA 51, chosen at start in the sensor edition
    // The device named in the comm-port label and the connect hint; null
    // for the product name.
    const char* portLabelName = nullptr;
    const char* connectHintName = nullptr;
    bool factoryMode = true;
    bool repMode = true;
    const EmbeddedImage* image = nullptr;  // null: the product's own image
    MakerInfo maker{};

    bool DigitalSensor() const { return edition == Edition::kDigitalSensor; }
};

ProductConfig InstrumentEdition();
ProductConfig DigitalSensorEdition();
// The edition this build was configured for.
ProductConfig BuildProductConfig();
MakerInfo BuildMakerInfo();

}  // namespace quor::app
