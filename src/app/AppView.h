#pragma once
// What the main window shows, as the app core drives it. A window or a
// terminal implements it; tests record every call. Calls come from the
// thread that runs the app core.

#include <cstdint>
#include <string>

#include "app/AppControls.h"

namespace quor::app {

enum class Cursor : std::uint8_t { kNormal, kHourglass };

class AppView {
  public:
    virtual ~AppView() = default;

    virtual void SetWindowCaption(const std::string& text) = 0;
    virtual void SetApplicationTitle(const std::string& text) = 0;

    // A label's text, a button's or menu item's caption, an edit's content.
    virtual void SetText(Control control, const std::string& text) = 0;
    // What the user typed into an edit (newSNstr).
    virtual std::string Text(Control control) const = 0;
    virtual void SetEnabled(Control control, bool enabled) = 0;
    virtual void SetChecked(Control control, bool checked) = 0;
    virtual void SetVisible(Control control, bool visible) = 0;
    // Which button Enter presses; one at a time.
    virtual void SetDefaultButton(Control control) = 0;
    virtual void SetFocus(Control control) = 0;

    // statusBar, 0 to 100.
    virtual void SetProgress(int percent) = 0;

    // cbCommPort's entries and selection (-1: none).
    virtual void ClearPortList() = 0;
    virtual void AddPortEntry(const std::string& text) = 0;
    virtual void SelectPortEntry(int index) = 0;

    virtual void SetCursor(Cursor cursor) = 0;

    // Asks the window to close; it then runs the app's close handler.
    virtual void CloseWindow() = 0;

    // Repaint and run the window's pending events; the sequences call it
    // after every status change and in every progress callback. A window
    // that runs the update on a worker thread needs nothing here.
    virtual void ProcessPendingMessages() {}
};

}  // namespace quor::app
