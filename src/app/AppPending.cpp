// Handlers declared in App.h whose bodies are still being written. Each moves
// out of this file into its own as it is built; the file goes once empty.

#include "app/App.h"

namespace quor::app {

void App::OnStartClick() {}
void App::OnStartTimer() {}
bool App::UpdateProgress(unsigned, unsigned, int, char) { return keepGoing_.load(); }
void App::ConfirmQuit() {}
void App::OnCloseClick() {}
ResultCode App::UpdateInstrument() { return rc::kNotForThisDevice; }
ResultCode App::UpdateDigitalSensor() { return rc::kNotForThisDevice; }

}  // namespace quor::app
