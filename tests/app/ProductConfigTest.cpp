#include <gtest/gtest.h>

#include <string>

#include "app/ProductConfig.h"

namespace quor::app {
namespace {

TEST(ProductConfigTest, TheBuildOptionChoosesTheEdition) {
    const Edition expected =
        QUOR_EDITION_DIGITAL_SENSOR ? Edition::kDigitalSensor : Edition::kInstrument;
    EXPECT_EQ(BuildProductConfig().edition, expected);
}

TEST(ProductConfigTest, EditionsDifferOnlyWhereTheProductDoes) {
    const ProductConfig tru = InstrumentEdition();
    const ProductConfig sensor = DigitalSensorEdition();
    EXPECT_EQ(tru.productType, DeviceType::kTru);
    EXPECT_EQ(sensor.productType, DeviceType::kUnknown);
    EXPECT_EQ(tru.portLabelName, nullptr);
    EXPECT_EQ(std::string(sensor.portLabelName), "Palomet and Digital Sensor");
    EXPECT_EQ(std::string(sensor.connectHintName), "Palomet");
    for (const ProductConfig* c : {&tru, &sensor}) {
        EXPECT_TRUE(c->factoryMode);
        EXPECT_TRUE(c->repMode);
        EXPECT_EQ(c->image, &ProductEmbeddedImage());
        EXPECT_EQ(c->startSensorType, 93);
        ASSERT_NE(c->maker.contact, nullptr);
        ASSERT_NE(c->maker.copyright, nullptr);
        ASSERT_NE(c->maker.literatureAddress, nullptr);
    }
}

}  // namespace
}  // namespace quor::app
