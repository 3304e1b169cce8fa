#include "app/ProductConfig.h"

#ifndef QUOR_EDITION_DIGITAL_SENSOR
#define QUOR_EDITION_DIGITAL_SENSOR 0
#endif
// Placeholders until a build supplies the maker's own texts.
#ifndef QUOR_MAKER_CONTACT
#define QUOR_MAKER_CONTACT "[placeholder: maker contact details]"
#endif
#ifndef QUOR_ABOUT_COPYRIGHT
#define QUOR_ABOUT_COPYRIGHT "[placeholder: copyright notice]"
#endif
#ifndef QUOR_LITERATURE_URL
#define QUOR_LITERATURE_URL "[placeholder: literature address]"
#endif

namespace quor::app {

namespace {
constexpr bool kBuildDigitalSensor = QUOR_EDITION_DIGITAL_SENSOR != 0;
}

MakerInfo BuildMakerInfo() {
    return {QUOR_MAKER_CONTACT, QUOR_ABOUT_COPYRIGHT, QUOR_LITERATURE_URL};
}

ProductConfig InstrumentEdition() {
    ProductConfig config;
    config.edition = Edition::kInstrument;
    config.productType = DeviceType::kTru;
    config.image = &ProductEmbeddedImage();
    config.maker = BuildMakerInfo();
    return config;
}

ProductConfig DigitalSensorEdition() {
    ProductConfig config = InstrumentEdition();
    config.edition = Edition::kDigitalSensor;
    config.productType = DeviceType::kUnknown;
    config.portLabelName = "Palomet and Digital Sensor";
    config.connectHintName = "Palomet";
    return config;
}

ProductConfig BuildProductConfig() {
    return kBuildDigitalSensor ? DigitalSensorEdition() : InstrumentEdition();
}

}  // namespace quor::app
