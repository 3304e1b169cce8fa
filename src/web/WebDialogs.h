#pragma once
// The web services' modal dialogs and file picker, implemented by the
// front end. Each call returns once the user has closed the dialog.

#include <string>

namespace quor::web {

// ShowDialog's kinds (any other number is shown and sounded as a warning).
inline constexpr int kDialogWarning = 0;
inline constexpr int kDialogError = 1;
inline constexpr int kDialogInformation = 2;
inline constexpr int kDialogConfirmation = 3;

struct FilePickOptions {
    std::string title;
    std::string filter;         // "Any File Type (*.*)|*.*"
    std::string initialFolder;  // "" for the picker's own choice
};

class WebDialogs {
  public:
    virtual ~WebDialogs() = default;
    // The message with the caption and the kind's icon, after the kind's
    // system beep (error: hand, information: asterisk, confirmation:
    // question, other: exclamation), centred on the main window, not on
    // top. ask: Yes and No, Yes the default; else one OK. True only for Yes.
    virtual bool ShowDialog(const std::string& message, const std::string& caption, bool ask,
                            int kind) = 0;
    // The full path of the chosen file; false when the user cancelled.
    virtual bool PickFile(const FilePickOptions& options, std::string* path) = 0;
};

}  // namespace quor::web
