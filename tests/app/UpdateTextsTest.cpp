// The instrument update's messages that depend on a number, row by row.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/UpdateInstrumentTexts.h"

namespace quor::app {
namespace {

const MessageNames kNames{"Dewmark Tru Firmware Updater", "Dewmark Tru", "USB Serial (ttyUSB0)"};
const std::string kC = kNames.caption;

DeviceTypeInfo Record(DeviceType type, const char* name, std::int32_t version) {
    DeviceTypeInfo r;
    r.type = type;
    r.name = name;
    r.firmwareVersion = version;
    return r;
}

TEST(UpdateTextsTest, ConnectionErrorsByResult) {
    const std::string unable = "The " + kC +
                               " is unable to connect to your Dewmark Tru\n on Comm Port \"USB "
                               "Serial (ttyUSB0)\".\n\nPlease check your serial cable and Comm "
                               "Port choice.";
    const std::string unknownDevice =
        "The " + kC +
        " is unable to connect to your unknown device\n on Comm Port \"USB Serial (ttyUSB0)\".\n\n"
        "Please check your serial cable and Comm Port choice.\n\nPlease verify the device "
        "connected is a \"Dewmark Tru\" and has a version of\nfirmware that supports updates.";
    struct Case {
        ResultCode r;
        DeviceTypeInfo record;
        std::string text;
    } cases[] = {
        {-5,
         {},
         "Comm Port \"USB Serial (ttyUSB0)\" is already in use by another application.\n"
         "Please choose a new Comm Port to use or quit the application using this port."},
        {-2,
         {},
         "Comm Port \"USB Serial (ttyUSB0)\" isn't available.\nPlease choose a new Comm Port to "
         "use."},
        {-20, {}, unable},
        {-21, {}, unable},
        {-120, Record(DeviceType::kDMini, "Dewmark Mini", 117),
         "The " + kC + " does not support your Dewmark Mini\nrunning version 117."},
        // Either part missing: the device is not known.
        {-120, Record(DeviceType::kDMini, "Dewmark Mini", 0), unknownDevice},
        {-120, Record(DeviceType::kUnknown, "UNKNOWN", 117), unknownDevice},
        {-25,
         {},
         "The " + kC +
             " is unable to log into to your Dewmark Tru\n on Comm Port \"USB "
             "Serial (ttyUSB0)\".\n\nPlease try again or contact your Karvell "
             "representative."},
        {-9, {}, unable + "\nError -9"},
        {-22, {}, unable + "\nError -22"},
    };
    for (const Case& c : cases) EXPECT_EQ(ConnectErrorText(kNames, c.record, c.r), c.text) << c.r;
}

TEST(UpdateTextsTest, VersionRangeNamesTheLimitThatWasCrossed) {
    const std::string head = "The " + kC + " doesn't support this Dewmark Tru\nrunning version ";
    const std::string ask =
        "\n\nClick OK to force the update anyway.\nClick CANCEL to quit the updater.";
    struct Case {
        std::uint32_t v;
        bool ask;
        std::string text;
    } cases[] = {
        {201, false,
         head + "2.01.\n\nThis updater only works with firmware version 2.02 (or newer)."},
        {201, true,
         head + "2.01.\n\nThis updater only works with firmware version 2.02 (or newer)." + ask},
        {1000, false,
         head + "10.00.\n\nThis updater only works with firmware version 9.99 (or older)."},
        {202, false, ""},  // both limits are inside the range
        {999, true, ""},
        {0, false,
         head + "0.00.\n\nThis updater only works with firmware version 2.02 (or newer)."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VersionRangeText(kNames, c.v, 202, 999, c.ask), c.text) << c.v;
}

TEST(UpdateTextsTest, RestoreFailuresAndTheirMessages) {
    const std::string tail = "\n\nPlease try again or contact Karvell for help.";
    struct Case {
        ResultCode r;
        std::vector<std::string> texts;
    } cases[] = {
        {1, {}},
        {0, {}},
        // The missing file is told twice: what happened, then the failure with its number.
        {-102,
         {"The " + kC + " couldn't find the settings file for your Dewmark Tru." + tail,
          "The " + kC +
              " failed to restore the settings for your Dewmark Tru.\n\nPlease try "
              "again.\n\n[Error -102]"}},
        {-105,
         {"The " + kC + " failed to read the settings file for your Dewmark Tru." + tail +
          "\n\nError: -105"}},
        {-106,
         {"The " + kC + " failed to read the settings file for your Dewmark Tru." + tail +
          "\n\nError: -106"}},
        {-35,
         {"The " + kC +
          " failed to restore some of the settings for your Dewmark Tru.\n\nPlease check "
          "the settings after this updater is finished."}},
        {-21,
         {"The " + kC +
          " failed to restore the settings for your Dewmark Tru.\n\nPlease try again.\n\n[Error "
          "-21]"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> texts;
        for (const Message& m : RestoreErrorMessages(kNames, c.r)) {
            EXPECT_EQ(m.caption, "Settings Error");
            texts.push_back(m.text);
        }
        EXPECT_EQ(texts, c.texts) << c.r;
    }
}

TEST(UpdateTextsTest, DataEraseAndLoaderStepTexts) {
    EXPECT_EQ(DataEraseErrorText(kNames, -65),
              "The " + kC +
                  " was unable to erase the data in your Dewmark Trubecause the data storage "
                  "chip is reporting errors.\n\nPlease contact Karvell for help.");
    EXPECT_EQ(
        DataEraseErrorText(kNames, -21),
        "The " + kC +
            " was unable to erase the data in your Dewmark Tru.\nPlease try again.\n[Error: -21]");
    EXPECT_EQ(LoaderStepErrorText(kNames, -110),
              "The " + kC +
                  " encountered an error working with your Dewmark Tru.\n\nPlease try "
                  "again.\n\n[Error -110]");
}

}  // namespace
}  // namespace quor::app
