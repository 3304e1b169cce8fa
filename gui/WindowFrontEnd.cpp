#include "gui/WindowFrontEnd.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
#include <QThread>

namespace quor::gui {

using app::Control;

void RunOnThreadOf(QObject* target, std::function<void()> fn, bool wait) {
    if (QThread::currentThread() == target->thread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(target, std::move(fn),
                              wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

QString QtNameFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (description.contains(QLatin1Char('(')))
            filters << description;
        else
            filters << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    if (parts.size() % 2 == 1 && !parts.back().isEmpty()) filters << parts.back();
    return filters.join(QStringLiteral(";;"));
}

// --- WindowView ---

void WindowView::Post(std::function<void(MainWindow&)> fn) {
    MainWindow* w = &window_;
    RunOnThreadOf(
        w, [w, fn = std::move(fn)] { fn(*w); }, false);
}

void WindowView::SetWindowCaption(const std::string& text) {
    Post([t = QString::fromStdString(text)](MainWindow& w) { w.setWindowTitle(t); });
}

void WindowView::SetApplicationTitle(const std::string& text) {
    Post([t = QString::fromStdString(text)](MainWindow& w) { w.SetApplicationTitle(t); });
}

void WindowView::SetText(Control control, const std::string& text) {
    Post([control, t = QString::fromStdString(text)](MainWindow& w) { w.SetTextOf(control, t); });
}

std::string WindowView::Text(Control control) const {
    std::string text;
    MainWindow* w = &window_;
    RunOnThreadOf(
        w, [w, control, &text] { text = w->TextOf(control).toStdString(); }, true);
    return text;
}

void WindowView::SetEnabled(Control control, bool enabled) {
    Post([control, enabled](MainWindow& w) { w.SetEnabledOf(control, enabled); });
}

void WindowView::SetChecked(Control control, bool checked) {
    Post([control, checked](MainWindow& w) { w.SetCheckedOf(control, checked); });
}

void WindowView::SetVisible(Control control, bool visible) {
    Post([control, visible](MainWindow& w) { w.SetVisibleOf(control, visible); });
}

void WindowView::SetDefaultButton(Control control) {
    Post([control](MainWindow& w) { w.SetDefaultButtonTo(control); });
}

void WindowView::SetFocus(Control control) {
    Post([control](MainWindow& w) { w.SetFocusTo(control); });
}

void WindowView::SetProgress(int percent) {
    Post([percent](MainWindow& w) { w.SetProgressTo(percent); });
}

void WindowView::ClearPortList() {
    Post([](MainWindow& w) { w.ClearPorts(); });
}

void WindowView::AddPortEntry(const std::string& text) {
    Post([t = QString::fromStdString(text)](MainWindow& w) { w.AddPort(t); });
}

void WindowView::SelectPortEntry(int index) {
    Post([index](MainWindow& w) { w.SelectPort(index); });
}

void WindowView::SetCursor(app::Cursor cursor) {
    Post([cursor](MainWindow& w) { w.SetCursorTo(cursor); });
}

void WindowView::CloseWindow() {
    Post([](MainWindow& w) { w.CloseFromApp(); });
}

// --- WindowDialogs ---

namespace {

QMessageBox::Icon BoxIcon(app::Icon icon) {
    switch (icon) {
        case app::Icon::kWarning:
            return QMessageBox::Warning;
        case app::Icon::kError:
            return QMessageBox::Critical;
        case app::Icon::kInformation:
            return QMessageBox::Information;
        case app::Icon::kQuestion:
            return QMessageBox::Question;
        case app::Icon::kNone:
            return QMessageBox::NoIcon;
    }
    return QMessageBox::NoIcon;
}

// A modal box centred on the window and kept above other windows.
int RunBox(MainWindow* w, QMessageBox::Icon icon, const std::string& text,
           const std::string& caption, QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, QString::fromStdString(caption), QString::fromStdString(text), buttons,
                    w);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec();
}

}  // namespace

void WindowDialogs::SoundBeep(app::Beep) {
    // The desktop has one bell; every kind rings it.
    MainWindow* w = &window_;
    RunOnThreadOf(
        w, [] { QApplication::beep(); }, false);
}

void WindowDialogs::ShowMessage(const std::string& text, const std::string& caption,
                                app::Icon icon) {
    MainWindow* w = &window_;
    RunOnThreadOf(
        w, [&] { RunBox(w, BoxIcon(icon), text, caption, QMessageBox::Ok); }, true);
}

bool WindowDialogs::AskOkCancel(const std::string& text, const std::string& caption) {
    MainWindow* w = &window_;
    bool ok = false;
    RunOnThreadOf(
        w,
        [&] {
            ok = RunBox(w, QMessageBox::Warning, text, caption,
                        QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
        },
        true);
    return ok;
}

bool WindowDialogs::FileDialog(const app::FileDialogOptions& options, bool save,
                               std::string* path) {
    MainWindow* w = &window_;
    bool chosen = false;
    RunOnThreadOf(
        w,
        [&] {
            QFileDialog dialog(w, QString::fromStdString(options.title),
                               QString::fromStdString(options.initialFolder),
                               QtNameFilter(options.filter));
            QString suffix = QString::fromStdString(options.defaultExtension);
            if (suffix.startsWith(QLatin1Char('.'))) suffix.remove(0, 1);
            dialog.setDefaultSuffix(suffix);
            dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
            dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
            dialog.setWindowModality(Qt::ApplicationModal);
            if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
            *path = dialog.selectedFiles().front().toStdString();
            chosen = true;
        },
        true);
    return chosen;
}

bool WindowDialogs::OpenFile(const app::FileDialogOptions& options, std::string* path) {
    return FileDialog(options, false, path);
}

bool WindowDialogs::SaveFile(const app::FileDialogOptions& options, std::string* path) {
    return FileDialog(options, true, path);
}

}  // namespace quor::gui
