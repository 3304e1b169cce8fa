#pragma once
// A session of the window on the offscreen platform: a private data home,
// the QSettings store in a private file, a scripted port list, a recording
// version check, and a watcher that answers the modal boxes the window
// shows, wherever they come from, and one that answers file dialogs.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QString>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/AppFrontEnd.h"
#include "gui/Session.h"
#include "qt/QtSettingsStore.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

QT_BEGIN_NAMESPACE
// Test output shows a QString as its text.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace quor::gui::testing {

// Long enough for any real-time wait of these tests; the conditions are
// met far sooner.
constexpr int kWaitLimitMs = 30'000;
constexpr int kDialogPollMs = 10;

// Runs the event loop until done() holds; false when it never did.
inline bool WaitFor(const std::function<bool()>& done, int limitMs = kWaitLimitMs) {
    return QTest::qWaitFor(done, limitMs);
}

// A message box as it was on screen.
struct SeenBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    std::vector<QString> buttons;
};

// Answers every modal message box by clicking the button answer() names
// (OK unless told otherwise), after recording it and calling onShown. It
// polls from a timer, so it also runs inside a box's own event loop.
class BoxAnswerer : public QObject {
  public:
    BoxAnswerer() {
        timer_.setInterval(kDialogPollMs);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
        timer_.start();
    }
    std::function<QMessageBox::StandardButton(const SeenBox&)> answer;
    std::function<void(QMessageBox&, const SeenBox&)> onShown;
    std::vector<SeenBox> seen;

  private:
    void Poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box == last_) return;
        last_ = box;
        SeenBox s{box->windowTitle(), box->text(), box->icon(), {}};
        for (QAbstractButton* b : box->buttons()) s.buttons.push_back(b->text());
        seen.push_back(s);
        if (onShown) onShown(*box, s);
        const QMessageBox::StandardButton which = answer ? answer(s) : QMessageBox::Ok;
        QAbstractButton* button = box->button(which);
        if (!button) button = box->buttons().front();
        QTest::mouseClick(button, Qt::LeftButton);
        last_ = nullptr;
    }
    QTimer timer_;
    QMessageBox* last_ = nullptr;
};

// The answerer saw exactly this one box, with its single OK button.
inline void ExpectOneBox(const BoxAnswerer& boxes, const QString& caption, const QString& text,
                         QMessageBox::Icon icon) {
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].caption, caption);
    EXPECT_EQ(boxes.seen[0].text, text);
    EXPECT_EQ(boxes.seen[0].icon, icon);
    EXPECT_EQ(boxes.seen[0].buttons, std::vector<QString>{QStringLiteral("OK")});
}

// Answers the next file dialog with path ("" cancels), after recording it.
class FileDialogAnswerer : public QObject {
  public:
    explicit FileDialogAnswerer(QString path) : path_(std::move(path)) {
        timer_.setInterval(kDialogPollMs);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
        timer_.start();
    }
    QString title;
    QStringList filters;
    QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
    int shown = 0;

  private:
    void Poll() {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        ++shown;
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        mode = dialog->acceptMode();
        if (path_.isEmpty()) {
            dialog->reject();
        } else {
            // Typed as a user would: selectFile races the dialog's own
            // loading of the folder.
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (name) {
                name->setText(path_);
            } else {
                dialog->selectFile(path_);
            }
            static_cast<QDialog*>(dialog)->accept();
        }
    }
    QTimer timer_;
    QString path_;
};

class GuiFixture : public ::testing::Test {
  protected:
    GuiFixture()
        : dataHome_(dir.Path().string() + "/data"),
          xdg_("XDG_DATA_HOME", dataHome_.c_str()),
          store(QString::fromStdString(dir.File("settings.ini"))) {}
    ~GuiFixture() override { session.reset(); }

    void AddPort(const std::string& name, const std::string& description) {
        PortRecord p;
        p.name = name;
        p.description = description.c_str();
        ports.push_back(p);
    }

    app::AppEnvironment Environment() {
        app::AppEnvironment env;
        env.programFolder = dir.Path().string() + "/program";
        env.listPorts = [this](PortRecord* list, std::uint32_t* count, bool) -> ResultCode {
            std::uint32_t n = 0;
            for (; n < ports.size() && n < *count; ++n) list[n] = ports[n];
            *count = n;
            return static_cast<ResultCode>(n);
        };
        return env;
    }

    // Shows the window (which runs the start-up) and waits until it is up.
    MainWindow& Show(const app::ProductConfig& config = app::InstrumentEdition()) {
        session = webVersionCheck
                      ? std::make_unique<Session>(store, config, Environment())
                      : std::make_unique<Session>(store, versionCheck, config, Environment());
        session->Window().show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&session->Window()));
        return session->Window();
    }

    MainWindow& Window() { return session->Window(); }
    app::App& App() { return session->App(); }

    // Writes a picture of w into the build folder's screenshot folder.
    static void Screenshot(QWidget& w, const QString& name);

    std::string AppFolderPath() const { return dataHome_ + "/Karvell/QuorBSL"; }

    quor::testing::TempDir dir;

  private:
    std::string dataHome_;
    quor::testing::ScopedEnv xdg_;

  protected:
    frontend::QtSettingsStore store;
    app::testing::RecordingVersionCheck versionCheck;
    // The web services' own check in place of the recording one.
    bool webVersionCheck = false;
    std::vector<PortRecord> ports;
    std::unique_ptr<Session> session;
};

}  // namespace quor::gui::testing
