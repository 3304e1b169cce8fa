#pragma once
// The main window's controls and menu items, by the names the window gives
// them. Front ends map each onto their own widget; the app core only ever
// names them.

#include <cstddef>
#include <cstdint>

namespace quor::app {

enum class Control : std::uint8_t {
    // window controls
    userText1,
    userText2,
    lblConnect,
    commLabel,
    cbCommPort,
    statusText,
    statusBar,
    newSN,
    newSNstr,
    btnStart,
    btnClose,
    // "&File"
    mnuOpenFirmwareFile,
    mnuUpdateFirmware,
    mnuDumpFirmwareImage,  // never shown; works through its shortcut
    mnuExit,
    // "&Settings"
    mnuVerboseErrorFile,
    mnuForceFindAllCommPorts,
    mnuDontEraseData,
    mnuReplaceSerialNumber,
    mnuSensorSeparator,
    mnuSensorHeading,  // "Set Digital Sensor to:"
    // the sensor-type items, in menu order
    mnuSensor7QA,
    mnuSensor7QM,
    mnuSensorHR4,
    mnuSensorKR4,
    mnuSensorWPX4,
    mnuSensorP7DG,
    mnuSensorWLD,
    mnuSensorQC5,
    mnuSensorQC5F,
    mnuSensorHT6,
    mnuSensorHT7,
    mnuSensorNDV,
    mnuSensorWN3,
    mnuSensorRNQ5,
    mnuSensorZEPRA51,
    mnuSensorSOLRA1X,
    // "&Help"
    mnuHelp,
    mnuSendFeedback,
    mnuCheckNewerVersion,
    mnuAbout,
};

inline constexpr int kControlCount = static_cast<int>(Control::mnuAbout) + 1;
inline constexpr int kSensorItemCount = 16;

// The control's name as written above ("btnStart"), for logs and test output.
const char* ControlName(Control control);

// How the window looks before start-up changes it: the design-time text
// or caption ("&&" shows one "&"), and which controls begin disabled,
// checked or hidden. Front ends build their window from it.
struct ControlState {
    const char* text;
    bool enabled;
    bool checked;
    bool visible;
};
ControlState InitialControlState(Control control);

// The longest new serial number newSNstr takes.
inline constexpr std::size_t kNewSerialNumberChars = 15;

}  // namespace quor::app
