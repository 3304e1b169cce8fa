// Whole updates pressed through the window's Start button, against a
// simulated TRU in virtual time: the update runs on the window's worker
// thread, which also runs the simulated device and its clock, while the
// window's own thread keeps its event loop.
#include <QComboBox>
#include <QCursor>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <algorithm>
#include <filesystem>
#include <future>

#include "GuiFixture.h"
#include "sim/core/SimWorld.h"
#include "sim/instrument/InstrumentModel.h"

namespace quor::gui::testing {
namespace {

using app::Control;

constexpr const char* kSimPort = "SIM1";
constexpr const char* kSimPortDescription = "Simulated Instrument (SIM1)";
// How often, in virtual time, the gate looks at the device, and what it
// waits for: this much of the upload's frames taken (about half the image).
constexpr std::uint64_t kGatePollUs = 100'000;
constexpr std::uint64_t kGateFrameBytes = 16'000;

class UpdateTest : public GuiFixture {
  protected:
    ~UpdateTest() override {
        Release();
        session.reset();
    }

    // A context object for the connections to the window's signals.
    QObject& Watch() { return watch_; }

    sim::InstrumentModel& Device(const std::string& versionText,
                                 const std::string& newVersion = "") {
        model = sim::InstrumentModel::Create(versionText);
        EXPECT_NE(model, nullptr) << versionText;
        if (!newVersion.empty()) model->SetImageVersion(newVersion);
        world.AddDevice(kSimPort, *model);
        AddPort(kSimPort, kSimPortDescription);
        return *model;
    }

    // Records what the window shows while it updates.
    void Record() {
        MainWindow& w = Window();
        QObject::connect(&w, &MainWindow::progressSet, &watch_,
                         [this](int percent) { progress.push_back(percent); });
        QObject::connect(&w, &MainWindow::textSet, &watch_, [this](int control, const QString& t) {
            if (control == static_cast<int>(Control::statusText)) statusTexts.push_back(t);
        });
        QObject::connect(&session->Worker(), &UpdateWorker::jobFinished, &watch_,
                         [this] { ++updatesFinished; });
    }

    // Clicks Start and waits until the update has ended and the window has
    // shown everything it posted.
    bool ClickStartAndWait() {
        const int before = updatesFinished;
        QTest::mouseClick(Window().WidgetOf(Control::btnStart), Qt::LeftButton);
        const bool ended = WaitFor([&] { return updatesFinished > before; });
        QCoreApplication::processEvents();
        return ended;
    }

    // Holds the update (on its worker thread, inside a device event) half way
    // through the upload, until Release.
    void GateInUpload() {
        gateCheck_ = [this] {
            if (model->Loader().FrameBytesIn() >= kGateFrameBytes) {
                gateReached_.store(true);
                gateOpen_.get_future().wait();
                return;
            }
            world.Clock().ScheduleIn(kGatePollUs, gateCheck_);
        };
        world.Clock().ScheduleIn(kGatePollUs, gateCheck_);
    }
    bool GateReached() const { return gateReached_.load(); }
    void Release() {
        if (!released_) gateOpen_.set_value();
        released_ = true;
    }

    QPushButton& Button(Control c) { return *qobject_cast<QPushButton*>(Window().WidgetOf(c)); }
    int Bar() {
        return qobject_cast<QProgressBar*>(Window().WidgetOf(Control::statusBar))->value();
    }
    bool HourglassShown() {
        return Window().testAttribute(Qt::WA_SetCursor) &&
               Window().cursor().shape() == Qt::WaitCursor;
    }
    // The window is idle again: every control back, the normal cursor.
    void ExpectIdleControls() {
        EXPECT_TRUE(Button(Control::btnStart).isEnabled());
        EXPECT_TRUE(Button(Control::btnClose).isEnabled());
        EXPECT_FALSE(Button(Control::btnStart).isDefault());
        EXPECT_TRUE(Button(Control::btnClose).isDefault());
        EXPECT_TRUE(Window().ActionOf(Control::mnuUpdateFirmware)->isEnabled());
        EXPECT_TRUE(Window().WidgetOf(Control::cbCommPort)->isEnabled());
        EXPECT_EQ(Window().cursor().shape(), Qt::ArrowCursor);
        EXPECT_FALSE(App().Busy());
    }

    std::unique_ptr<sim::InstrumentModel> model;  // outlives the world that borrows it
    sim::SimWorld world;
    std::vector<int> progress;
    std::vector<QString> statusTexts;
    int updatesFinished = 0;

  private:
    QObject watch_;
    std::function<void()> gateCheck_;
    std::atomic<bool> gateReached_{false};
    std::promise<void> gateOpen_;
    bool released_ = false;
};

TEST_F(UpdateTest, AWholeTruUpdateByClickingStart) {
    sim::InstrumentModel& tru = Device("TRU 3.64", "TRU 3.65");
    tru.SetSetting("sn", "TRU-777123");
    const sim::InstrumentState before = tru.State();
    BoxAnswerer boxes;
    MainWindow& w = Show();
    Record();

    // While it runs: the controls are off and the hourglass is shown.
    bool sawRunning = false;
    QObject::connect(&w, &MainWindow::progressSet, &Watch(), [&](int percent) {
        if (percent < 50 || sawRunning) return;
        sawRunning = true;
        EXPECT_FALSE(Button(Control::btnStart).isEnabled());
        EXPECT_FALSE(Button(Control::btnClose).isEnabled());
        EXPECT_FALSE(w.ActionOf(Control::mnuUpdateFirmware)->isEnabled());
        EXPECT_FALSE(w.WidgetOf(Control::cbCommPort)->isEnabled());
        EXPECT_TRUE(HourglassShown());
    });
    ASSERT_TRUE(ClickStartAndWait());
    EXPECT_TRUE(sawRunning);

    // The device has the image and every setting it had.
    EXPECT_EQ(tru.Programmings(), 1);
    EXPECT_EQ(tru.VersionText(), "TRU 3.65");
    EXPECT_EQ(tru.State(), before);

    // The progress bar: connection steps, the erase a point a callback, the
    // upload from 21 to about 90, the restart steps, then full.
    ASSERT_GE(progress.size(), 10u);
    EXPECT_EQ(std::vector<int>(progress.begin(), progress.begin() + 5),
              (std::vector<int>{0, 2, 4, 6, 8}));
    const auto at21 = std::find(progress.begin(), progress.end(), 21);
    ASSERT_NE(at21, progress.end());
    for (auto it = progress.begin() + 5; it != at21; ++it) EXPECT_EQ(*it, *(it - 1) + 1);
    const auto at92 = std::find(progress.begin(), progress.end(), 92);
    ASSERT_NE(at92, progress.end());
    EXPECT_NEAR(*(at92 - 1), 90, 1);
    EXPECT_TRUE(std::is_sorted(at21, at92));
    EXPECT_EQ(std::vector<int>(at92, progress.end()), (std::vector<int>{92, 94, 96, 98, 100}));
    EXPECT_EQ(Bar(), 100);

    // The status texts in order, ending with the time it took.
    ASSERT_FALSE(statusTexts.empty());
    const QString last = statusTexts.back();
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^Successfully updated firmware in \\d+ seconds\\.$"))
            .match(last)
            .hasMatch())
        << last.toStdString();
    EXPECT_EQ(statusTexts,
              (std::vector<QString>{
                  "Connecting to Dewmark Tru...", "Saving settings for this Dewmark Tru...",
                  "Starting the firmware loader...", "Erasing firmware memory...",
                  "Uploading new firmware code...", "Restarting the Dewmark Tru, please wait...",
                  "Checking new firmware...", "Restoring settings...", last}));
    EXPECT_TRUE(w.WidgetOf(Control::statusText)->isVisible());
    EXPECT_EQ(w.TextOf(Control::statusText), last);
    EXPECT_EQ(w.TextOf(Control::lblConnect), "You may disconnect your Dewmark Tru now.");
    EXPECT_TRUE(boxes.seen.empty());
    ExpectIdleControls();
    Screenshot(w, QStringLiteral("after-success"));
}

// The update held half way through the upload: the window paints,
// and every way of closing it meets the quit guard, while the update goes on.
TEST_F(UpdateTest, ClosingDuringAnUpdateShowsDontQuitNowAndTheUpdateGoesOn) {
    Device("TRU 3.64", "TRU 3.65");
    BoxAnswerer boxes;
    MainWindow& w = Show();
    Record();
    GateInUpload();
    const int before = updatesFinished;
    QTest::mouseClick(w.WidgetOf(Control::btnStart), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return GateReached(); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(App().Busy());
    EXPECT_TRUE(HourglassShown());
    EXPECT_GT(Bar(), 21);
    EXPECT_LT(Bar(), 90);
    EXPECT_EQ(w.TextOf(Control::statusText), "Uploading new firmware code...");
    Screenshot(w, QStringLiteral("mid-update"));

    // The title bar's close (and Alt+F4) and "&Exit" (Ctrl+Q) both ask the guard.
    w.close();
    w.ActionOf(Control::mnuExit)->trigger();
    ASSERT_EQ(boxes.seen.size(), 2u);
    const QString text = QStringLiteral(
        "The Dewmark Tru Firmware Updater is updating your Dewmark Tru!\n"
        "This process should NOT be interrupted.\n\n"
        "Your Dewmark Tru may be unusable or have missing settings\n"
        "until you complete the firmware update process.\n\n"
        "Click OK to continue updating yourDewmark Tru.\n");
    for (const SeenBox& b : boxes.seen) {
        EXPECT_EQ(b.caption, "Don't Quit Now!");
        EXPECT_EQ(b.text, text);
        EXPECT_EQ(b.icon, QMessageBox::Warning);
        EXPECT_EQ(b.buttons, std::vector<QString>{"OK"});
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(App().KeepGoing());

    // The menus keep working on the window's thread: help is shown, a new
    // firmware file is refused until the update has ended.
    w.ActionOf(Control::mnuHelp)->trigger();
    w.ActionOf(Control::mnuOpenFirmwareFile)->trigger();
    ASSERT_EQ(boxes.seen.size(), 4u);
    EXPECT_EQ(boxes.seen[2].caption, "Help");
    EXPECT_EQ(boxes.seen[3].caption, "Update In Progress");

    Release();
    ASSERT_TRUE(WaitFor([&] { return updatesFinished > before; }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.TextOf(Control::statusText).startsWith("Successfully updated firmware in "))
        << w.TextOf(Control::statusText).toStdString();
    EXPECT_EQ(model->Programmings(), 1);
    EXPECT_EQ(boxes.seen.size(), 4u);
    ExpectIdleControls();
}

TEST_F(UpdateTest, AFailedConnectionIsReportedInABoxAndTheWindowGoesBackToIdle) {
    // The list names a port the bench does not serve.
    AddPort("SIM9", "Simulated Instrument (SIM9)");
    BoxAnswerer boxes;
    boxes.onShown = [](QMessageBox& box, const SeenBox&) {
        Screenshot(box, QStringLiteral("error-dialog"));
    };
    MainWindow& w = Show();
    Record();
    ASSERT_TRUE(ClickStartAndWait());

    ExpectOneBox(boxes, "Connection Error",
                 "Comm Port \"Simulated Instrument (SIM9)\" isn't available.\n"
                 "Please choose a new Comm Port to use.",
                 QMessageBox::Critical);
    EXPECT_FALSE(w.WidgetOf(Control::statusText)->isVisible());
    EXPECT_EQ(Bar(), 0);
    EXPECT_EQ(w.TextOf(Control::lblConnect), "Connect Dewmark Tru to computer comm port.");
    ExpectIdleControls();
    // The shown text is in the log once.
    const std::string log = quor::testing::ReadFile(App().ErrorFile());
    EXPECT_NE(log.find("ErrorOK Told User:"), std::string::npos);
    EXPECT_NE(log.find("isn't available."), std::string::npos);
}

// A question asked from the worker waits for the click; Cancel ends the
// update before anything is written to the device.
TEST_F(UpdateTest, AWrongDeviceQuestionAnsweredCancelLeavesTheDeviceAlone) {
    const std::string other = sim::InstrumentCodes().front() == "TRU"
                                  ? sim::InstrumentCodes().back()
                                  : sim::InstrumentCodes().front();
    sim::InstrumentModel& device = Device(sim::InstrumentProfileFor(other)->versionText);
    BoxAnswerer boxes;
    boxes.answer = [](const SeenBox&) { return QMessageBox::Cancel; };
    Show();
    Record();
    ASSERT_TRUE(ClickStartAndWait());

    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].caption, "Wrong Device");
    EXPECT_TRUE(boxes.seen[0].text.startsWith(
        "The Dewmark Tru Firmware Updater expected to find a Dewmark Tru;\nhowever, it found a "))
        << boxes.seen[0].text.toStdString();
    EXPECT_TRUE(boxes.seen[0].text.endsWith("[Factory Mode Override: Click OK to load FW anyway]"));
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Warning);
    EXPECT_EQ(boxes.seen[0].buttons.size(), 2u);
    EXPECT_EQ(device.Programmings(), 0);
    EXPECT_FALSE(device.InLoader());
    EXPECT_FALSE(Window().WidgetOf(Control::statusText)->isVisible());
    ExpectIdleControls();
}

}  // namespace
}  // namespace quor::gui::testing
