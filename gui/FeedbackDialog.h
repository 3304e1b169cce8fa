#pragma once
// The "Send Feedback to VOREN" window: the controls of the feedback form,
// kept in step with web::FeedbackForm, which decides what they do. The
// window shows it non-modal and hides it between uses; it is never
// recreated, so the form keeps its state.
//
// Ownership: Qt's parent chain owns the controls; the form is borrowed
// (SetForm) and must outlive the dialog's use of it. Everything runs on
// the window's thread.

#include <QDialog>

#include "web/FeedbackForm.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace quor::gui {

class FeedbackDialog final : public QDialog, public web::FeedbackView {
    Q_OBJECT
  public:
    explicit FeedbackDialog(QWidget* parent);

    void SetForm(web::FeedbackForm* form) { form_ = form; }

    // --- web::FeedbackView ---
    void ShowForm() override;
    void HideForm() override;
    void CloseForm() override;
    bool IsFormVisible() const override { return isVisible(); }
    void FieldsChanged() override;
    void Focus(web::FeedbackControl control) override;
    void SetSendEnabled(bool enabled) override;
    void SetBusyCursor(bool busy) override;
    void SetProgressVisible(bool visible) override;
    void SetProgressMaximum(std::int64_t maximum) override;
    void SetProgressPosition(std::int64_t position) override;
    void ProcessPendingMessages() override;

    // --- what tests look at ---
    QWidget* ControlOf(web::FeedbackControl control) const;
    QPushButton* BrowseButton() const { return browse_; }
    QProgressBar* ProgressBar() const { return progress_; }
    QLabel* DescriptionCaption() const { return descriptionLabel_; }

  private:
    void BuildControls();
    // The controls' contents into the form's fields, before any event that
    // reads them or shows them again.
    void Collect();
    void LimitDescription();

    web::FeedbackForm* form_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLineEdit* company_ = nullptr;
    QLineEdit* email_ = nullptr;
    QLineEdit* telephone_ = nullptr;
    QComboBox* feedbackType_ = nullptr;
    QComboBox* respondVia_ = nullptr;
    QLabel* descriptionLabel_ = nullptr;
    QPlainTextEdit* description_ = nullptr;
    QLineEdit* file_ = nullptr;
    QPushButton* browse_ = nullptr;
    QLineEdit* representative_ = nullptr;
    QPushButton* send_ = nullptr;
    QProgressBar* progress_ = nullptr;
};

}  // namespace quor::gui
