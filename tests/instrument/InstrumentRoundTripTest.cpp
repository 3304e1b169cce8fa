// Every instrument type of the capture table: captured, wiped by programming
// new firmware through its loader, and given back every setting and record
// from memory and, by a fresh protocol object as a later run of the program
// would have, from the settings file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "InstrumentFixture.h"
#include "bsl/QuorBSLHost.h"
#include "sim/instrument/InstrumentModel.h"

namespace quor::insttest {
namespace {

// A small firmware that fits the type's flash: code at the start of its
// flash and a reset vector pointing there, as a real image for it would.
std::string FittingImage(const DeviceTypeInfo& r) {
    char line[64];
    std::string text;
    std::snprintf(line, sizeof line, "@%X\n", static_cast<unsigned>(r.flashStart));
    text += line;
    for (int row = 0; row < 4; ++row) text += "3F 40 00 24 B2 40 80 5A 20 01 31 40 00 31 FF 3F\n";
    std::snprintf(line, sizeof line, "@FFE0\n");
    text += line;
    for (int word = 0; word < 15; ++word) {
        std::snprintf(line, sizeof line, "%02X %02X ", static_cast<unsigned>(r.flashStart & 0xFF),
                      static_cast<unsigned>((r.flashStart >> 8) & 0xFF));
        text += line;
    }
    std::snprintf(line, sizeof line, "%02X %02X\nq\n", static_cast<unsigned>(r.flashStart & 0xFF),
                  static_cast<unsigned>((r.flashStart >> 8) & 0xFF));
    text += line;
    return text;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Names as the devices' lists carry them: an equation's first word, a user
// record's fourth field of its decoded definition.
std::string EqnName(const std::string& value) { return value.substr(0, value.find(' ')); }

class InstrumentRoundTrip : public ProtocolBench, public ::testing::WithParamInterface<std::string> {
protected:
    // Connects (and logs in where the type asks for it), as an update does.
    void Reach(Quor_protocol& p, DeviceTypeInfo& record) {
        ASSERT_EQ(p.DPConnect(port_.c_str(), kBaudIndex9600, 3, &record), 1) << LogText();
        if (record.needsLogin) {
            ASSERT_EQ(p.Login(), 1) << LogText();
        }
    }
    // Programs a firmware that fits the device through its loader and waits out the restart.
    void Wipe(const DeviceTypeInfo& record) {
        QuorBSLHost host(&log);
        const std::string image = dir.File("firmware.txt");
        std::ofstream(image) << FittingImage(record);
        ASSERT_EQ(host.BSLLoadTIFile(image.c_str()), 1) << LogText();
        ASSERT_GT(host.BSLConnect(port_.c_str(), record.loaderBaud, false, 3), 0) << LogText();
        ASSERT_EQ(host.BSLProgramImage(LoaderMemoryMapOf(record)), 1) << LogText();
        host.BSLDisconnect();
        DSSleep(record.restartDelayMs);
        ASSERT_EQ(model_->State(), model_->FactoryState());
    }
    // The device holds what it held before, its record lists in name order.
    void ExpectRestored(const sim::InstrumentState& before, const Quor_protocol& p) {
        const sim::InstrumentState& now = model_->State();
        EXPECT_EQ(now.settings, before.settings);
        EXPECT_EQ(now.calibration, before.calibration);
        std::vector<std::string> eqn = before.equations, users = before.users;
        std::sort(eqn.begin(), eqn.end());
        std::sort(users.begin(), users.end());
        std::vector<std::string> eqnNow = now.equations, usersNow = now.users;
        std::sort(eqnNow.begin(), eqnNow.end());
        std::sort(usersNow.begin(), usersNow.end());
        EXPECT_EQ(eqnNow, eqn);
        EXPECT_EQ(usersNow, users);
        for (std::size_t i = 1; i < now.equations.size(); ++i)
            EXPECT_LE(Lower(EqnName(now.equations[i - 1])), Lower(EqnName(now.equations[i])));
        // User records in the order their names sort, as the protocol kept them.
        const RecordSet& u = p.UserRecords();
        if (!now.users.empty()) {
            ASSERT_EQ(static_cast<std::size_t>(u.count), now.users.size());
            for (std::int32_t i = 0; i < u.count; ++i) EXPECT_EQ(now.users[i], u.records[i].value.str());
            for (std::int32_t i = 1; i < u.count; ++i)
                EXPECT_LE(Lower(u.records[i - 1].name.str()), Lower(u.records[i].name.str()));
        }
    }

    sim::InstrumentModel* model_ = nullptr;  // kept by the world, which outlives the protocol's port
};

TEST_P(InstrumentRoundTrip, FromMemoryAndFromTheFile) {
    std::unique_ptr<sim::InstrumentModel> model = sim::InstrumentModel::ForCode(GetParam());
    ASSERT_NE(model, nullptr);
    model_ = model.get();
    port_ = "SIM1";
    world.AddDevice(port_, std::move(model), 9600);
    const std::string path = dir.File("settings.txt");

    DeviceTypeInfo record;
    Reach(proto, record);
    const sim::InstrumentState before = model_->State();
    ASSERT_NE(before, model_->FactoryState());
    ASSERT_EQ(proto.DPSaveInfo(path.c_str()), 1) << LogText();
    proto.Disconnect(false);

    Wipe(record);
    Reach(proto, record);
    EXPECT_EQ(proto.DPCheckFirmware(record.firmwareCheckMode), 1);
    EXPECT_EQ(proto.DPRestoreInfo(path.c_str(), nullptr), 1) << LogText();
    ExpectRestored(before, proto);
    proto.Disconnect(true);

    Wipe(record);
    Quor_protocol later(&log);
    Reach(later, record);
    EXPECT_EQ(later.DPRestoreInfo(path.c_str(), nullptr), 1) << LogText();
    ExpectRestored(before, later);
    later.Disconnect(true);
}

INSTANTIATE_TEST_SUITE_P(CaptureTable, InstrumentRoundTrip, ::testing::ValuesIn(sim::InstrumentCodes()),
                         [](const ::testing::TestParamInfo<std::string>& p) { return p.param; });

}  // namespace
}  // namespace quor::insttest
