#include "gui/MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

#include "app/App.h"
#include "app/SensorMenu.h"

// The icons live in the static library's resources, which a program
// linking it must register itself.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace quor::gui {

using app::Control;

namespace {

std::size_t Index(Control c) {
    return static_cast<std::size_t>(c);
}

QLabel* PlainLabel(QWidget* parent, bool bold = false) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    if (bold) {
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
    }
    return label;
}

// Hidden controls keep their room, so showing them does not move the rest.
void KeepRoomWhenHidden(QWidget* w) {
    QSizePolicy p = w->sizePolicy();
    p.setRetainSizeWhenHidden(true);
    w->setSizePolicy(p);
}

}  // namespace

void PortComboBox::showPopup() {
    emit aboutToDropDown();
    QComboBox::showPopup();
}

MainWindow::MainWindow() {
    // A single border with the close button only; the size is fixed.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    InitIconResources();
    setWindowIcon(QIcon(QStringLiteral(":/quorbsl/quorbsl-48.png")));
    BuildControls();
    BuildMenus();
    ApplyInitialState();
    FitSize();
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildControls() {
    auto* central = new QWidget(this);
    auto* grid = new QGridLayout(central);
    grid->setContentsMargins(10, 8, 10, 10);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(6);

    icon_ = new QLabel(central);
    icon_->setFixedSize(kIconPx, kIconPx);
    icon_->setPixmap(QPixmap(QStringLiteral(":/quorbsl/quorbsl-48.png")));
    icon_->setScaledContents(true);
    userText1_ = PlainLabel(central);
    userText2_ = PlainLabel(central, true);
    userText2_->setWordWrap(true);
    auto* heading = new QVBoxLayout;
    heading->addWidget(userText1_);
    heading->addWidget(userText2_);
    heading->addStretch();
    grid->addWidget(icon_, 0, 0, Qt::AlignTop);
    grid->addLayout(heading, 0, 1);

    lblConnect_ = PlainLabel(central, true);
    lblConnect_->setWordWrap(true);
    grid->addWidget(lblConnect_, 1, 0, 1, 2);
    commLabel_ = PlainLabel(central);
    grid->addWidget(commLabel_, 2, 0, 1, 2);
    cbCommPort_ = new PortComboBox(central);
    {
        QFont f = cbCommPort_->font();
        f.setBold(true);
        cbCommPort_->setFont(f);
    }
    cbCommPort_->setToolTip(QStringLiteral("Pick your comm port from this list."));
    grid->addWidget(cbCommPort_, 3, 0, 1, 2);

    statusCaption_ = PlainLabel(central, true);
    statusCaption_->setText(QStringLiteral("Status:"));
    statusText_ = PlainLabel(central);
    KeepRoomWhenHidden(statusText_);
    auto* status = new QHBoxLayout;
    status->setSpacing(6);
    status->addWidget(statusCaption_);
    status->addWidget(statusText_, 1);
    grid->addLayout(status, 4, 0, 1, 2);
    statusBar_ = new QProgressBar(central);
    statusBar_->setRange(0, 100);
    statusBar_->setTextVisible(false);
    statusBar_->setValue(0);
    grid->addWidget(statusBar_, 5, 0, 1, 2);

    newSN_ = PlainLabel(central);
    newSNstr_ = new QLineEdit(central);
    newSNstr_->setMaxLength(static_cast<int>(app::kNewSerialNumberChars));
    KeepRoomWhenHidden(newSN_);
    KeepRoomWhenHidden(newSNstr_);
    btnStart_ = new QPushButton(central);
    btnClose_ = new QPushButton(central);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(newSN_);
    bottom->addWidget(newSNstr_);
    bottom->addStretch(1);
    bottom->addWidget(btnStart_);
    bottom->addWidget(btnClose_);
    grid->setRowStretch(6, 1);
    grid->addLayout(bottom, 7, 0, 1, 2);
    setCentralWidget(central);

    connect(btnStart_, &QPushButton::clicked, this, [this] {
        if (app_) app_->OnStartClick();
    });
    connect(btnClose_, &QPushButton::clicked, this, [this] {
        if (app_) app_->OnCloseClick();
    });
    // "Close" is the cancel button: Escape presses it.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (btnClose_->isEnabled()) btnClose_->click();
    });
    connect(cbCommPort_, &PortComboBox::aboutToDropDown, this, [this] {
        if (app_) app_->OnCommPortDropDown();
    });
    connect(cbCommPort_, &QComboBox::activated, this, [this](int index) {
        if (app_) app_->OnCommPortChange(index);
    });
}

QAction* MainWindow::AddAction(QMenu* menu, Control control, const QKeySequence& shortcut) {
    auto* action = menu->addAction(QString());
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    actions_[Index(control)] = action;
    connect(action, &QAction::triggered, this, [this, action, control] {
        // The core owns the check marks: undo Qt's own toggle and let the
        // handler set the state it decides on.
        if (action->isCheckable()) {
            const QSignalBlocker block(action);
            action->setChecked(!action->isChecked());
        }
        Command(control);
    });
    return action;
}

void MainWindow::BuildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    AddAction(file, Control::mnuOpenFirmwareFile, QKeySequence(Qt::CTRL | Qt::Key_O));
    AddAction(file, Control::mnuUpdateFirmware, QKeySequence(Qt::CTRL | Qt::Key_F));
    AddAction(file, Control::mnuDumpFirmwareImage);
    file->addSeparator();
    AddAction(file, Control::mnuExit, QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* settings = menuBar()->addMenu(QStringLiteral("&Settings"));
    for (Control c : {Control::mnuVerboseErrorFile, Control::mnuForceFindAllCommPorts,
                      Control::mnuDontEraseData, Control::mnuReplaceSerialNumber})
        AddAction(settings, c)->setCheckable(true);
    actions_[Index(Control::mnuSensorSeparator)] = settings->addSeparator();
    AddAction(settings, Control::mnuSensorHeading);
    for (const app::SensorMenuItem& m : app::kSensorMenu)
        AddAction(settings, m.item)->setCheckable(true);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    AddAction(help, Control::mnuHelp, QKeySequence(Qt::Key_F1));
    AddAction(help, Control::mnuSendFeedback);
    AddAction(help, Control::mnuCheckNewerVersion);
    help->addSeparator();
    AddAction(help, Control::mnuAbout);

    // The dump item is never shown, and Qt ignores a hidden action's
    // shortcut, so its key lives on the window.
    dumpShortcut_ = new QShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_D), this);
    connect(dumpShortcut_, &QShortcut::activated, this,
            [this] { Command(Control::mnuDumpFirmwareImage); });
}

void MainWindow::Command(Control control) {
    if (!app_) return;
    switch (control) {
        case Control::mnuUpdateFirmware:
            app_->OnStartClick();
            break;
        case Control::mnuExit:
            app_->ConfirmQuit();
            break;
        case Control::mnuSendFeedback:
            // The core refuses it while an update runs (the log is being
            // written); otherwise the window opens its form.
            if (app_->Busy() || !sendFeedback_) {
                app_->OnCommand(control);
            } else {
                sendFeedback_();
            }
            break;
        default:
            if (app::SensorMenuItemFor(control)) {
                app_->OnSensorTypeItem(control);
            } else {
                app_->OnCommand(control);
            }
            break;
    }
}

void MainWindow::ApplyInitialState() {
    for (int i = 0; i < app::kControlCount; ++i) {
        const auto c = static_cast<Control>(i);
        const app::ControlState s = app::InitialControlState(c);
        if (c != Control::mnuSensorSeparator) SetTextOf(c, QString::fromUtf8(s.text));
        SetEnabledOf(c, s.enabled);
        SetCheckedOf(c, s.checked);
        SetVisibleOf(c, s.visible);
    }
    SetDefaultButtonTo(Control::btnStart);
}

void MainWindow::FitSize() {
    // The desktop's own font decides the size; the window never gets
    // smaller than its classic client area, and never changes afterwards.
    centralWidget()->setMinimumWidth(
        std::max(kClientWidthPx, fontMetrics().horizontalAdvance(QStringLiteral(
                                     "Connect to Palomet and Digital Sensor with Comm Port")) +
                                     kIconPx));
    centralWidget()->setMinimumHeight(kClientHeightPx);
    adjustSize();
    setFixedSize(sizeHint());
}

QWidget* MainWindow::WidgetOf(Control control) const {
    switch (control) {
        case Control::userText1:
            return userText1_;
        case Control::userText2:
            return userText2_;
        case Control::lblConnect:
            return lblConnect_;
        case Control::commLabel:
            return commLabel_;
        case Control::cbCommPort:
            return cbCommPort_;
        case Control::statusText:
            return statusText_;
        case Control::statusBar:
            return statusBar_;
        case Control::newSN:
            return newSN_;
        case Control::newSNstr:
            return newSNstr_;
        case Control::btnStart:
            return btnStart_;
        case Control::btnClose:
            return btnClose_;
        default:
            return nullptr;
    }
}

QAction* MainWindow::ActionOf(Control control) const {
    const std::size_t i = Index(control);
    return i < actions_.size() ? actions_[i] : nullptr;
}

void MainWindow::SetTextOf(Control control, const QString& text) {
    if (QAction* a = ActionOf(control)) {
        a->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(WidgetOf(control))) {
        label->setText(text);
    } else if (auto* button = qobject_cast<QPushButton*>(WidgetOf(control))) {
        button->setText(text);
    } else if (auto* edit = qobject_cast<QLineEdit*>(WidgetOf(control))) {
        edit->setText(text);
    }
    emit textSet(static_cast<int>(control), text);
}

QString MainWindow::TextOf(Control control) const {
    if (QAction* a = ActionOf(control)) return a->text();
    if (auto* label = qobject_cast<QLabel*>(WidgetOf(control))) return label->text();
    if (auto* button = qobject_cast<QPushButton*>(WidgetOf(control))) return button->text();
    if (auto* edit = qobject_cast<QLineEdit*>(WidgetOf(control))) return edit->text();
    if (control == Control::cbCommPort) return cbCommPort_->currentText();
    return {};
}

void MainWindow::SetEnabledOf(Control control, bool enabled) {
    if (QAction* a = ActionOf(control)) a->setEnabled(enabled);
    if (QWidget* w = WidgetOf(control)) w->setEnabled(enabled);
    if (control == Control::mnuDumpFirmwareImage) dumpShortcut_->setEnabled(enabled);
}

void MainWindow::SetCheckedOf(Control control, bool checked) {
    if (QAction* a = ActionOf(control)) {
        const QSignalBlocker block(a);
        a->setChecked(checked);
    }
}

void MainWindow::SetVisibleOf(Control control, bool visible) {
    if (QAction* a = ActionOf(control)) a->setVisible(visible);
    if (QWidget* w = WidgetOf(control)) w->setVisible(visible);
}

void MainWindow::SetDefaultButtonTo(Control control) {
    btnStart_->setDefault(control == Control::btnStart);
    btnClose_->setDefault(control == Control::btnClose);
}

void MainWindow::SetFocusTo(Control control) {
    if (QWidget* w = WidgetOf(control)) w->setFocus(Qt::OtherFocusReason);
}

void MainWindow::SetProgressTo(int percent) {
    statusBar_->setValue(percent < 0 ? 0 : (percent > 100 ? 100 : percent));
    emit progressSet(percent);
}

void MainWindow::ClearPorts() {
    cbCommPort_->clear();
}

void MainWindow::AddPort(const QString& text) {
    cbCommPort_->addItem(text);
}

void MainWindow::SelectPort(int index) {
    cbCommPort_->setCurrentIndex(index);
}

void MainWindow::SetCursorTo(app::Cursor cursor) {
    if (cursor == app::Cursor::kHourglass) {
        setCursor(Qt::WaitCursor);
    } else {
        unsetCursor();
    }
}

void MainWindow::SetApplicationTitle(const QString& title) {
    // The text a minimised window shows: the desktop's counterpart of the
    // taskbar's application title.
    applicationTitle_ = title;
    setWindowIconText(title);
}

void MainWindow::CloseFromApp() {
    // Later, from the event loop: the request may come from inside a close
    // event (the quit guard), where a nested close would be ignored.
    closeAllowed_ = true;
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) return;
    shown_ = true;
    if (QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    if (app_) app_->OnWindowShown();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The title bar, the system menu and Alt+F4 go through the quit guard,
    // which closes the window through CloseFromApp when it may.
    if (!closeAllowed_) {
        event->ignore();
        if (app_) app_->ConfirmQuit();
        return;
    }
    event->accept();
    if (app_) app_->OnWindowClose();
    emit closed();
}

}  // namespace quor::gui
