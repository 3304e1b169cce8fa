// The menus, keys and selectors of the idle window, and its close.
#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <filesystem>

#include "GuiFixture.h"
#include "gui/WindowFrontEnd.h"

namespace quor::gui::testing {
namespace {

using app::Control;

class MenuTest : public GuiFixture {
  protected:
    MainWindow& ShowActive() {
        MainWindow& w = Show();
        Activate(w);
        return w;
    }
    // The window's keys reach it while it is the active window; the
    // offscreen platform does not give it back when a dialog closes.
    static void Activate(MainWindow& w) {
        w.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
    }
};

// Every way of closing the idle window closes it and saves the settings.
TEST_F(MenuTest, ClosingWhenIdleSavesTheSettings) {
    struct Route {
        const char* name;
        std::function<void(MainWindow&)> close;
    };
    const Route routes[] = {
        {"title bar", [](MainWindow& w) { w.close(); }},
        {"Ctrl+Q", [](MainWindow& w) { QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier); }},
        {"Close button",
         [](MainWindow& w) { QTest::mouseClick(w.WidgetOf(Control::btnClose), Qt::LeftButton); }},
    };
    for (const Route& route : routes) {
        SCOPED_TRACE(route.name);
        ports.clear();
        AddPort("ttyUSB0", "USB Serial Port (ttyUSB0)");
        AddPort("ttyUSB1", "USB Serial Port (ttyUSB1)");
        store.WriteString(app::kSettingsSection, app::kValueCommPort, "ttyUSB1");
        store.WriteInt(app::kSettingsSection, app::kValueFindAllComms, 0);
        store.WriteInt(app::kSettingsSection, app::kValueVerboseLog, 0);
        MainWindow& w = ShowActive();
        w.ActionOf(Control::mnuForceFindAllCommPorts)->trigger();
        EXPECT_TRUE(w.ActionOf(Control::mnuForceFindAllCommPorts)->isChecked());

        route.close(w);
        ASSERT_TRUE(WaitFor([&] { return !w.isVisible(); }));
        store.Sync();
        QSettings onDisk(store.FileName(), QSettings::IniFormat);
        EXPECT_EQ(onDisk.value("FindAllComms").toInt(), 1);
        EXPECT_EQ(onDisk.value("VerboseLog").toInt(), 1);
        EXPECT_EQ(onDisk.value("CommPort").toString(), "ttyUSB1");
        session.reset();
    }
}

// The list is enumerated again as it drops down, and keeps its position;
// the comm port changes only when the user picks an entry.
TEST_F(MenuTest, TheDropDownRefillsThePortListKeepingThePosition) {
    AddPort("ttyUSB0", "USB Serial Port (ttyUSB0)");
    AddPort("ttyUSB1", "USB Serial Port (ttyUSB1)");
    MainWindow& w = ShowActive();
    auto* combo = qobject_cast<QComboBox*>(w.WidgetOf(Control::cbCommPort));
    ASSERT_TRUE(combo);
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(combo->currentIndex(), 1);
    EXPECT_EQ(App().CommPort(), "ttyUSB1");

    // An adapter plugged in lists before the others.
    ports.insert(ports.begin(), ports[0]);
    ports[0].name = "ttyACM0";
    ports[0].description = "USB Modem (ttyACM0)";
    combo->showPopup();
    EXPECT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(0), "USB Modem (ttyACM0)");
    EXPECT_EQ(combo->currentIndex(), 1);
    EXPECT_EQ(App().CommPort(), "ttyUSB1");
    combo->hidePopup();

    // Every port gone: the list says so.
    ports.clear();
    combo->showPopup();
    ASSERT_EQ(combo->count(), 1);
    EXPECT_EQ(combo->itemText(0), "No Comm Ports Found");
    combo->hidePopup();
}

// Ctrl+Alt+D works although its item is never shown; Ctrl+O offers what it wrote.
TEST_F(MenuTest, DumpAndOpenFirmwareFileThroughTheirKeys) {
    AddPort("ttyUSB0", "USB Serial Port (ttyUSB0)");
    MainWindow& w = ShowActive();
    const std::string dumped = dir.File("image.txt");
    {
        FileDialogAnswerer save(QString::fromStdString(dumped));
        QTest::keySequence(&w, QKeySequence(QStringLiteral("Ctrl+Alt+D")));
        EXPECT_EQ(save.shown, 1);
        EXPECT_EQ(save.title, "Save Firmware Image");
        EXPECT_EQ(save.mode, QFileDialog::AcceptSave);
    }
    ASSERT_TRUE(std::filesystem::exists(dumped));
    EXPECT_GT(std::filesystem::file_size(dumped), 0u);

    Activate(w);
    {
        FileDialogAnswerer cancel(QString{});
        QTest::keySequence(&w, QKeySequence(QStringLiteral("Ctrl+O")));
        EXPECT_EQ(cancel.shown, 1);
        EXPECT_EQ(cancel.title, "Please select a firmware file");
        EXPECT_EQ(cancel.mode, QFileDialog::AcceptOpen);
        EXPECT_EQ(cancel.filters, (QStringList{"Firmware File (*.txt)", "Any File (*.*)"}));
    }
    EXPECT_EQ(w.TextOf(Control::userText2), "TRU 3.65");

    // A dump has no "q" line, so it does not open as firmware: the box
    // says so and the image stays.
    BoxAnswerer boxes;
    Activate(w);
    {
        FileDialogAnswerer open(QString::fromStdString(dumped));
        QTest::keySequence(&w, QKeySequence(QStringLiteral("Ctrl+O")));
        EXPECT_EQ(open.shown, 1);
    }
    ExpectOneBox(boxes, "File Error",
                 "The file \"image.txt\" is not a valid firmware file.\n"
                 "Please choose a new firmware file to open.",
                 QMessageBox::Critical);
    EXPECT_EQ(w.TextOf(Control::userText2), "TRU 3.65");
    EXPECT_EQ(App().ImageVersion(), 365);
}

TEST_F(MenuTest, ReplaceSerialNumberShowsTheEditWhichTakesFifteenCharacters) {
    AddPort("ttyUSB0", "USB Serial Port (ttyUSB0)");
    MainWindow& w = ShowActive();
    QAction* item = w.ActionOf(Control::mnuReplaceSerialNumber);
    auto* edit = qobject_cast<QLineEdit*>(w.WidgetOf(Control::newSNstr));
    ASSERT_TRUE(item && edit);

    item->trigger();
    EXPECT_TRUE(item->isChecked());
    EXPECT_TRUE(w.WidgetOf(Control::newSN)->isVisible());
    EXPECT_TRUE(edit->isVisible());
    EXPECT_TRUE(edit->hasFocus());
    QTest::keyClicks(edit, QStringLiteral("ABCDEFGHIJKLMNOP"));
    EXPECT_EQ(edit->text(), "ABCDEFGHIJKLMNO");
    EXPECT_EQ(App().NewSerialNumber(), "ABCDEFGHIJKLMNO");

    item->trigger();
    EXPECT_FALSE(item->isChecked());
    EXPECT_FALSE(edit->isVisible());
    EXPECT_EQ(App().NewSerialNumber(), "");
}

TEST_F(MenuTest, HelpAndAboutShowTheirBoxes) {
    AddPort("ttyUSB0", "USB Serial Port (ttyUSB0)");
    MainWindow& w = ShowActive();
    BoxAnswerer boxes;
    QTest::keyClick(&w, Qt::Key_F1);
    Activate(w);
    w.ActionOf(Control::mnuAbout)->trigger();
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_EQ(boxes.seen[0].caption, "Help");
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::NoIcon);
    EXPECT_TRUE(
        boxes.seen[0].text.startsWith("The Dewmark Tru Firmware Updater replaces the firmware that "
                                      "operates your Dewmark Tru.\n"));
    EXPECT_EQ(boxes.seen[1].caption, "About Dewmark Tru Firmware Updater");
    EXPECT_EQ(boxes.seen[1].icon, QMessageBox::Information);
    EXPECT_TRUE(boxes.seen[1].text.contains("1.16.0.5")) << boxes.seen[1].text.toStdString();
}

TEST(QtNameFilterTest, FilterPairsBecomeQtFilters) {
    struct Case {
        const char* filter;
        const char* qt;
    };
    const Case cases[] = {
        {"Firmware File (*.txt)|*.txt|Any File (*.*)|*.*", "Firmware File (*.txt);;Any File (*.*)"},
        {"Firmware|*.txt;*.hex", "Firmware (*.txt *.hex)"},
        {"", ""},
        {"Text (*.txt)|*.txt|", "Text (*.txt)"},
    };
    for (const Case& c : cases) EXPECT_EQ(QtNameFilter(c.filter), c.qt) << c.filter;
}

}  // namespace
}  // namespace quor::gui::testing
