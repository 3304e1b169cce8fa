#pragma once
// The main window's modal dialogs. Each call returns once the user has
// closed the dialog. Front ends centre them on the main window and keep
// them on top.

#include <cstdint>
#include <string>

namespace quor::app {

// ErrorOK's kinds (any other number is shown and sounded as a warning).
inline constexpr int kKindWarning = 0;
inline constexpr int kKindError = 1;
inline constexpr int kKindInformation = 2;
inline constexpr int kKindConfirmation = 3;
// A plain box without an icon, with the exclamation beep (the help text).
inline constexpr int kKindPlain = 4;

enum class Beep : std::uint8_t { kHand, kExclamation, kAsterisk, kQuestion };
enum class Icon : std::uint8_t { kWarning, kError, kInformation, kQuestion, kNone };

// The beep and icon that go with an ErrorOK kind.
Beep BeepForKind(int kind);
Icon IconForKind(int kind);

struct FileDialogOptions {
    std::string title;
    std::string filter;            // "Firmware File (*.txt)|*.txt|Any File (*.*)|*.*"
    std::string defaultExtension;  // ".txt"
    std::string initialFolder;     // "" for the dialog's own choice
};

class AppDialogs {
  public:
    virtual ~AppDialogs() = default;

    // The system's message sound.
    virtual void SoundBeep(Beep beep) = 0;
    // One OK button, the caption and the icon.
    virtual void ShowMessage(const std::string& text, const std::string& caption, Icon icon) = 0;
    // OK and Cancel; true for OK.
    virtual bool AskOkCancel(const std::string& text, const std::string& caption) = 0;
    // Full path of the chosen file; false when the user cancelled.
    virtual bool OpenFile(const FileDialogOptions& options, std::string* path) = 0;
    virtual bool SaveFile(const FileDialogOptions& options, std::string* path) = 0;
};

}  // namespace quor::app
