// The window as start-up leaves it: captions, labels, menus and shortcuts,
// the port list, and the version-check timer.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSignalSpy>

#include "GuiFixture.h"
#include "app/SensorMenu.h"

namespace quor::gui::testing {
namespace {

using app::Control;

QString TextOf(MainWindow& w, Control c) {
    return w.TextOf(c);
}

class StartupTest : public GuiFixture {};

TEST_F(StartupTest, InstrumentEditionCaptionsLabelsAndControls) {
    AddPort("ttyUSB0", "USB Serial Port (ttyUSB0)");
    MainWindow& w = Show();

    EXPECT_EQ(w.windowTitle(), "Dewmark Tru Firmware Updater");
    EXPECT_EQ(w.ApplicationTitle(), "Dewmark Tru Updater");
    EXPECT_EQ(TextOf(w, Control::userText1), "This utility updates Dewmark Tru firmware to");
    EXPECT_EQ(TextOf(w, Control::userText2), "TRU 3.65");
    EXPECT_EQ(TextOf(w, Control::lblConnect), "Connect Dewmark Tru to computer comm port.");
    EXPECT_EQ(TextOf(w, Control::commLabel), "Connect to Dewmark Tru with Comm Port");
    EXPECT_EQ(TextOf(w, Control::btnStart), "Start");
    EXPECT_EQ(TextOf(w, Control::btnClose), "Close");
    EXPECT_EQ(TextOf(w, Control::newSN), "New Serial Number");

    auto* start = qobject_cast<QPushButton*>(w.WidgetOf(Control::btnStart));
    auto* close = qobject_cast<QPushButton*>(w.WidgetOf(Control::btnClose));
    ASSERT_TRUE(start && close);
    EXPECT_TRUE(start->isEnabled());
    EXPECT_TRUE(start->isDefault());
    EXPECT_FALSE(close->isDefault());
    EXPECT_FALSE(w.WidgetOf(Control::statusText)->isVisible());
    EXPECT_FALSE(w.WidgetOf(Control::newSN)->isVisible());
    EXPECT_FALSE(w.WidgetOf(Control::newSNstr)->isVisible());
    auto* edit = qobject_cast<QLineEdit*>(w.WidgetOf(Control::newSNstr));
    ASSERT_TRUE(edit);
    EXPECT_EQ(edit->maxLength(), 15);
    auto* bar = qobject_cast<QProgressBar*>(w.WidgetOf(Control::statusBar));
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 0);
    auto* combo = qobject_cast<QComboBox*>(w.WidgetOf(Control::cbCommPort));
    ASSERT_TRUE(combo);
    EXPECT_EQ(combo->toolTip(), "Pick your comm port from this list.");
    EXPECT_TRUE(combo->font().bold());
    EXPECT_EQ(combo->count(), 1);
    EXPECT_EQ(combo->currentText(), "USB Serial Port (ttyUSB0)");
    EXPECT_EQ(App().CommPort(), "ttyUSB0");

    // Fixed size, never below the classic client area.
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_GE(w.centralWidget()->width(), MainWindow::kClientWidthPx);
    EXPECT_GE(w.centralWidget()->height(), MainWindow::kClientHeightPx);
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMinimizeButtonHint);

    Screenshot(w, QStringLiteral("idle"));
}

// One row per menu item that start-up leaves in a state of its own.
struct MenuRow {
    Control item;
    const char* text;
    const char* shortcut;
    bool enabled;
    bool checked;
    bool visible;
};

TEST_F(StartupTest, MenusShortcutsAndStates) {
    AddPort("ttyUSB0", "USB Serial Port (ttyUSB0)");
    MainWindow& w = Show();

    const MenuRow rows[] = {
        {Control::mnuOpenFirmwareFile, "&Open Firmware File...", "Ctrl+O", true, false, true},
        {Control::mnuUpdateFirmware, "&Update Firmware", "Ctrl+F", true, false, true},
        // Qt disables a hidden action; the item works through DumpShortcut.
        {Control::mnuDumpFirmwareImage, "&Dump Firmware Image...", "", false, false, false},
        {Control::mnuExit, "&Exit", "Ctrl+Q", true, false, true},
        {Control::mnuVerboseErrorFile, "&Verbose Error File", "", false, true, true},
        {Control::mnuForceFindAllCommPorts, "Force Find All &Comm Ports", "", true, false, true},
        {Control::mnuDontEraseData, "&Don't Erase Data", "", true, false, true},
        {Control::mnuReplaceSerialNumber, "&Replace Serial Number", "", true, false, true},
        {Control::mnuSensorHeading, "Set Digital Sensor to:", "", false, false, false},
        {Control::mnuHelp, "&Help", "F1", true, false, true},
        {Control::mnuSendFeedback, "Send Feedback to VOREN...", "", true, false, true},
        {Control::mnuCheckNewerVersion, "Check for Newer Firmware Version", "", true, false, true},
        {Control::mnuAbout, "About Dewmark Tru Firmware Updater", "", true, false, true},
    };
    for (const MenuRow& r : rows) {
        SCOPED_TRACE(app::ControlName(r.item));
        QAction* a = w.ActionOf(r.item);
        ASSERT_TRUE(a);
        EXPECT_EQ(a->text(), r.text);
        EXPECT_EQ(a->shortcut().toString(), r.shortcut);
        EXPECT_EQ(a->isEnabled(), r.enabled);
        EXPECT_EQ(a->isChecked(), r.checked);
        EXPECT_EQ(a->isVisible(), r.visible);
    }
    ASSERT_TRUE(w.ActionOf(Control::mnuSensorSeparator));
    EXPECT_FALSE(w.ActionOf(Control::mnuSensorSeparator)->isVisible());
    for (const app::SensorMenuItem& m : app::kSensorMenu) {
        EXPECT_FALSE(w.ActionOf(m.item)->isVisible()) << app::ControlName(m.item);
    }
    // The dump item is never shown, yet its key is live.
    EXPECT_EQ(w.DumpShortcut()->key().toString(), "Ctrl+Alt+D");
    EXPECT_TRUE(w.DumpShortcut()->isEnabled());
}

TEST_F(StartupTest, VersionCheckRunsHalfASecondAfterShowing) {
    AddPort("ttyUSB0", "USB Serial Port (ttyUSB0)");
    Show();
    // The modes are on, so no data-erase warning comes first.
    EXPECT_FALSE(session->Timers().Active(app::AppTimer::kDataEraseWarning));
    ASSERT_TRUE(session->Timers().Active(app::AppTimer::kVersionCheck));
    EXPECT_EQ(session->Timers().IntervalMs(app::AppTimer::kVersionCheck), 500);
    EXPECT_TRUE(versionCheck.calls.empty());

    ASSERT_TRUE(WaitFor([&] { return !versionCheck.calls.empty(); }));
    ASSERT_EQ(versionCheck.calls.size(), 1u);
    EXPECT_EQ(versionCheck.calls[0].currentVersion, 365);
    EXPECT_EQ(versionCheck.calls[0].path, "/versionfinder/Tru-Firmware.txt");
    EXPECT_TRUE(versionCheck.calls[0].quiet);
    EXPECT_EQ(versionCheck.calls[0].productText, "Dewmark Tru Firmware Updater");
    EXPECT_FALSE(session->Timers().Active(app::AppTimer::kVersionCheck));
    // A one-shot: it stays quiet afterwards.
    QTest::qWait(600);
    EXPECT_EQ(versionCheck.calls.size(), 1u);
}

// The saved port chooses the entry; a port that is gone chooses entry 0.
TEST_F(StartupTest, SavedPortSelectsItsEntryOrEntryZeroWhenGone) {
    struct Case {
        const char* saved;
        int index;
        const char* commPort;
    };
    for (const Case& c :
         {Case{"ttyUSB1", 1, "ttyUSB1"}, Case{"ttyUSB7", 0, "ttyUSB0"}, Case{"", 0, "ttyUSB0"}}) {
        SCOPED_TRACE(c.saved);
        ports.clear();
        AddPort("ttyUSB0", "USB Serial Port (ttyUSB0)");
        AddPort("ttyUSB1", "USB Serial Port (ttyUSB1)");
        store.WriteString(app::kSettingsSection, app::kValueCommPort, c.saved);
        MainWindow& w = Show();
        auto* combo = qobject_cast<QComboBox*>(w.WidgetOf(Control::cbCommPort));
        ASSERT_TRUE(combo);
        EXPECT_EQ(combo->count(), 2);
        EXPECT_EQ(combo->currentIndex(), c.index);
        EXPECT_EQ(App().CommPort(), c.commPort);
        EXPECT_TRUE(w.WidgetOf(Control::btnStart)->isEnabled());
        session.reset();
    }
}

TEST_F(StartupTest, NoPortsListsNoCommPortsFoundAndDisablesStart) {
    MainWindow& w = Show();
    auto* combo = qobject_cast<QComboBox*>(w.WidgetOf(Control::cbCommPort));
    ASSERT_TRUE(combo);
    ASSERT_EQ(combo->count(), 1);
    EXPECT_EQ(combo->itemText(0), "No Comm Ports Found");
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_FALSE(w.WidgetOf(Control::btnStart)->isEnabled());
    EXPECT_EQ(App().CommPort(), "");
    // Enter presses nothing: the default button is disabled.
    QTest::keyClick(&w, Qt::Key_Return);
    EXPECT_FALSE(session->Timers().Active(app::AppTimer::kStart));
}

TEST_F(StartupTest, DigitalSensorEditionShowsTheSensorMenu) {
    AddPort("ttyUSB0", "Palomet USB (ttyUSB0)");
    MainWindow& w = Show(app::DigitalSensorEdition());
    EXPECT_EQ(w.windowTitle(), "ZEPRA 51 Sensor Suite Firmware Updater");
    EXPECT_EQ(TextOf(w, Control::commLabel),
              "Connect to Palomet and Digital Sensor with Comm Port");
    EXPECT_EQ(TextOf(w, Control::lblConnect), "Connect Palomet to computer comm port.");
    EXPECT_TRUE(w.ActionOf(Control::mnuSensorSeparator)->isVisible());
    EXPECT_TRUE(w.ActionOf(Control::mnuSensorHeading)->isVisible());
    EXPECT_FALSE(w.ActionOf(Control::mnuSensorHeading)->isEnabled());
    for (const app::SensorMenuItem& m : app::kSensorMenu) {
        QAction* a = w.ActionOf(m.item);
        EXPECT_EQ(a->isVisible(), m.shown) << app::ControlName(m.item);
        EXPECT_EQ(a->isChecked(), m.item == Control::mnuSensorZEPRA51) << app::ControlName(m.item);
    }
    EXPECT_EQ(w.ActionOf(Control::mnuSensorWPX4)->text(), "WPX-4 && WPX-8");

    // Picking another sensor through the menu moves the check mark.
    w.ActionOf(Control::mnuSensorRNQ5)->trigger();
    EXPECT_TRUE(w.ActionOf(Control::mnuSensorRNQ5)->isChecked());
    EXPECT_FALSE(w.ActionOf(Control::mnuSensorZEPRA51)->isChecked());
    EXPECT_EQ(TextOf(w, Control::userText1), "This utility updates RNQ-5 Rain Gauge firmware to");
}

}  // namespace
}  // namespace quor::gui::testing
