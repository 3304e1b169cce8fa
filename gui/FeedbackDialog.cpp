#include "gui/FeedbackDialog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QVBoxLayout>
#include <climits>

namespace quor::gui {

using web::FeedbackControl;

namespace {

constexpr int kDescriptionHeightPx = 120;
constexpr int kFormWidthPx = 440;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string S(const QString& s) {
    return s.toStdString();
}

QLabel* Caption(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setBuddy(buddy);
    return label;
}

int ClampToInt(std::int64_t v) {
    return v < 0 ? 0 : (v > INT_MAX ? INT_MAX : static_cast<int>(v));
}

}  // namespace

FeedbackDialog::FeedbackDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(web::kFeedbackFormCaption));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setModal(false);
    BuildControls();
    adjustSize();
    setFixedSize(sizeHint());
}

void FeedbackDialog::BuildControls() {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(10, 10, 10, 10);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(6);

    name_ = new QLineEdit(this);
    name_->setToolTip(QStringLiteral("Please enter your first and last name"));
    company_ = new QLineEdit(this);
    company_->setToolTip(QStringLiteral("The company or organisation you work for"));
    email_ = new QLineEdit(this);
    email_->setToolTip(QStringLiteral("Your email address, if Karvell may answer by email"));
    telephone_ = new QLineEdit(this);
    telephone_->setToolTip(QStringLiteral("Your telephone number, with its area code"));
    feedbackType_ = new QComboBox(this);
    for (const char* item : web::kFeedbackTypeItems)
        feedbackType_->addItem(QString::fromUtf8(item));
    feedbackType_->setToolTip(QStringLiteral("What kind of feedback is this?"));
    respondVia_ = new QComboBox(this);
    for (const char* item : web::kRespondViaItems) respondVia_->addItem(QString::fromUtf8(item));
    respondVia_->setToolTip(QStringLiteral("How can Karvell contact you?"));

    int row = 0;
    const std::pair<const char*, QWidget*> boxes[] = {
        {"Name (required)", name_},          {"Company Name", company_},
        {"Email Address", email_},           {"Telephone (include area code)", telephone_},
        {"Type of Feedback", feedbackType_}, {"Respond Via", respondVia_},
    };
    for (const auto& [text, box] : boxes) {
        grid->addWidget(Caption(QString::fromUtf8(text), box, this), row, 0);
        grid->addWidget(box, row, 1, 1, 2);
        ++row;
    }

    description_ = new QPlainTextEdit(this);
    description_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    description_->setTabChangesFocus(true);
    description_->setMinimumHeight(kDescriptionHeightPx);
    description_->setToolTip(QStringLiteral("Up to 2048 characters"));
    descriptionLabel_ = Caption(QString(), description_, this);
    grid->addWidget(descriptionLabel_, row++, 0, 1, 3);
    grid->addWidget(description_, row++, 0, 1, 3);

    file_ = new QLineEdit(this);
    file_->setReadOnly(true);
    file_->setToolTip(QStringLiteral("A file to send along with your feedback"));
    browse_ = new QPushButton(QStringLiteral("Browse..."), this);
    browse_->setToolTip(QStringLiteral("Choose a file to send with your feedback"));
    grid->addWidget(
        Caption(QStringLiteral("Send the following file (file size can be up to 6 MB):"), file_,
                this),
        row++, 0, 1, 3);
    grid->addWidget(file_, row, 0, 1, 2);
    grid->addWidget(browse_, row++, 2);

    representative_ = new QLineEdit(this);
    representative_->setToolTip(QStringLiteral("For example: jane.smith@vorengroup.com"));
    grid->addWidget(
        Caption(
            QStringLiteral("Send the feedback to my VOREN Group Representative's email address:"),
            representative_, this),
        row++, 0, 1, 3);
    grid->addWidget(representative_, row++, 0, 1, 3);

    progress_ = new QProgressBar(this);
    progress_->setTextVisible(false);
    progress_->setRange(0, 1);
    {
        QSizePolicy p = progress_->sizePolicy();
        p.setRetainSizeWhenHidden(true);
        progress_->setSizePolicy(p);
    }
    progress_->hide();
    send_ = new QPushButton(QStringLiteral("Send"), this);
    send_->setToolTip(QStringLiteral("Click to send this information to Karvell"));
    send_->setDefault(true);
    send_->setAutoDefault(true);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(progress_, 1);
    bottom->addWidget(send_);
    grid->addLayout(bottom, row++, 0, 1, 3);
    grid->setColumnMinimumWidth(1, kFormWidthPx / 2);

    // The tab order the form's users know; the browse button follows the
    // file box it fills.
    QWidget* order[] = {name_,         company_,        email_,       telephone_,
                        feedbackType_, respondVia_,     description_, file_,
                        browse_,       representative_, send_};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

    connect(feedbackType_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!form_) return;
        Collect();
        form_->OnTypeChange(index);
        descriptionLabel_->setText(Q(form_->Label()));
    });
    connect(description_, &QPlainTextEdit::textChanged, this, [this] { LimitDescription(); });
    connect(browse_, &QPushButton::clicked, this, [this] {
        if (!form_) return;
        Collect();
        form_->OnBrowse();
    });
    connect(send_, &QPushButton::clicked, this, [this] {
        if (!form_) return;
        Collect();
        form_->OnSend();
    });
    // Escape, the title bar's close button and CloseForm all end here;
    // the form then ends a transfer that still runs.
    connect(this, &QDialog::finished, this, [this] {
        if (form_) form_->OnClose();
    });
}

void FeedbackDialog::LimitDescription() {
    const QString text = description_->toPlainText();
    if (text.size() <= static_cast<qsizetype>(web::kDescriptionMaxChars)) return;
    const QSignalBlocker block(description_);
    description_->setPlainText(text.left(static_cast<qsizetype>(web::kDescriptionMaxChars)));
    description_->moveCursor(QTextCursor::End);
}

void FeedbackDialog::Collect() {
    web::FeedbackFields& f = form_->Fields();
    f.name = S(name_->text());
    f.company = S(company_->text());
    f.email = S(email_->text());
    f.telephone = S(telephone_->text());
    f.feedbackType = feedbackType_->currentIndex();
    f.respondVia = respondVia_->currentIndex();
    f.description = S(description_->toPlainText());
    f.representativeEmail = S(representative_->text());
    // The file box is read-only: only the form changes it.
}

void FeedbackDialog::FieldsChanged() {
    if (!form_) return;
    const web::FeedbackFields& f = form_->Fields();
    name_->setText(Q(f.name));
    company_->setText(Q(f.company));
    email_->setText(Q(f.email));
    telephone_->setText(Q(f.telephone));
    {
        const QSignalBlocker block(feedbackType_);
        feedbackType_->setCurrentIndex(f.feedbackType);
    }
    respondVia_->setCurrentIndex(f.respondVia);
    if (S(description_->toPlainText()) != f.description)
        description_->setPlainText(Q(f.description));
    file_->setText(Q(f.fileShown));
    representative_->setText(Q(f.representativeEmail));
    descriptionLabel_->setText(Q(form_->Label()));
}

void FeedbackDialog::ShowForm() {
    if (!isVisible() && parentWidget()) {
        // Centred on the main window.
        QRect frame = frameGeometry();
        frame.moveCenter(parentWidget()->frameGeometry().center());
        move(frame.topLeft());
    }
    show();
    raise();
    activateWindow();
    name_->setFocus(Qt::OtherFocusReason);
}

void FeedbackDialog::HideForm() {
    hide();
}

void FeedbackDialog::CloseForm() {
    // reject() emits finished, as the title bar's close does.
    reject();
}

QWidget* FeedbackDialog::ControlOf(FeedbackControl control) const {
    switch (control) {
        case FeedbackControl::kName:
            return name_;
        case FeedbackControl::kCompany:
            return company_;
        case FeedbackControl::kEmail:
            return email_;
        case FeedbackControl::kTelephone:
            return telephone_;
        case FeedbackControl::kFeedbackType:
            return feedbackType_;
        case FeedbackControl::kRespondVia:
            return respondVia_;
        case FeedbackControl::kDescription:
            return description_;
        case FeedbackControl::kFile:
            return file_;
        case FeedbackControl::kRepresentativeEmail:
            return representative_;
        case FeedbackControl::kSend:
            return send_;
    }
    return nullptr;
}

void FeedbackDialog::Focus(FeedbackControl control) {
    if (QWidget* w = ControlOf(control)) {
        activateWindow();
        w->setFocus(Qt::OtherFocusReason);
    }
}

void FeedbackDialog::SetSendEnabled(bool enabled) {
    send_->setEnabled(enabled);
}

void FeedbackDialog::SetBusyCursor(bool busy) {
    if (busy) {
        setCursor(Qt::WaitCursor);
    } else {
        unsetCursor();
    }
}

void FeedbackDialog::SetProgressVisible(bool visible) {
    progress_->setVisible(visible);
}

void FeedbackDialog::SetProgressMaximum(std::int64_t maximum) {
    progress_->setRange(0, ClampToInt(maximum));
}

void FeedbackDialog::SetProgressPosition(std::int64_t position) {
    progress_->setValue(std::min(ClampToInt(position), progress_->maximum()));
}

void FeedbackDialog::ProcessPendingMessages() {
    QCoreApplication::processEvents();
}

}  // namespace quor::gui
