// Handlers declared in App.h whose bodies are still being written. Each moves
// out of this file into its own as it is built; the file goes once empty.

#include "app/App.h"

namespace quor::app {

void App::OnCommPortDropDown() {}
void App::OnCommPortChange(int) {}
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
