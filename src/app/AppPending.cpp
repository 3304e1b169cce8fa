// Handlers declared in App.h whose bodies are still being written. Each moves
// out of this file into its own as it is built; the file goes once empty.

#include "app/App.h"

namespace quor::app {

void App::OnStartClick() {}
void App::OnStartTimer() {}
bool App::UpdateProgress(unsigned, unsigned, int, char) { return keepGoing_.load(); }
void App::ConfirmQuit() {}
void App::OnCloseClick() {}
void App::OnCommPortDropDown() {}
void App::OnCommPortChange(int) {}
ResultCode App::UpdateInstrument() { return rc::kNotForThisDevice; }
ResultCode App::UpdateDigitalSensor() { return rc::kNotForThisDevice; }
void App::OnOpenFirmwareFile() {}
void App::OnDumpFirmwareImage() {}
void App::OnVerboseErrorFile() {}
void App::OnForceFindAllCommPorts() {}
void App::OnDontEraseData() {}
void App::OnReplaceSerialNumber() {}
void App::OnHelp() {}
void App::OnAbout() {}
void App::OnCheckNewerVersion() {}
void App::OnCommand(Control) {}
std::string App::HelpText() const { return {}; }
std::string App::AboutText() const { return {}; }
void App::ShowUpdateNotice(DeviceType) {}

}  // namespace quor::app
