#pragma once
// App: the main window's logic without a window. A front end implements
// the view, dialogs, settings store, timers and version check, calls
// OnWindowShown once when its window first shows and OnWindowClose when it
// closes, and runs the timers' handlers when they fire.
//
// Ownership: the app owns the long-lived objects it creates at start-up
// (the log, the instrument protocol object, the loader host and the port
// lister) and keeps them until it is destroyed; the front-end interfaces
// are borrowed and must outlive it.
//
// Threads: the app assumes none. A window runs the start timer's handler
// (the whole update) on a worker thread and the other handlers on its own;
// while Busy() those that would change the image, the port, the log or the
// device refuse with a short message instead of disturbing the update.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/AppDialogs.h"
#include "app/AppTimers.h"
#include "app/AppView.h"
#include "app/ProductConfig.h"
#include "app/SettingsStore.h"
#include "app/VersionCheck.h"
#include "bsl/QuorBSLHost.h"
#include "common/ResultCode.h"
#include "instrument/Quor_protocol.h"
#include "log/QuorLog.h"
#include "serial/QuorSerial.h"

namespace quor::app {

inline constexpr std::uint32_t kPortListCapacity = 16;
inline constexpr const char* kNoCommPortsEntry = "No Comm Ports Found";
// The tag keeps its colon, so its lines read "... - ErrorOK Told User:: text".
inline constexpr const char* kErrorOKTag = "ErrorOK Told User:";
inline constexpr const char* kMainWindowTag = "QuorBSL frmMain";
// The upload moves the progress bar by this many 512-character steps' worth
// of points, whatever the image's size: bar points = 35328 / text length.
inline constexpr float kUploadProgressSpan = 35328.0f;
inline constexpr int kEraseProgressStep = 1;

// The borrowed front end.
struct AppFrontEnd {
    AppView& view;
    AppDialogs& dialogs;
    SettingsStore& settings;
    AppTimers& timers;
    VersionCheck& versionCheck;
};

// Lists the ports into list (count: in, the capacity; out, the records
// filled), as QuorSerial::CommPortEnum does.
using PortLister =
    std::function<ResultCode(PortRecord* list, std::uint32_t* count, bool forceProbing)>;

// Where the app meets the machine; the defaults are the real ones.
struct AppEnvironment {
    std::string programFolder;  // "" for the running program's folder
    PortLister listPorts;       // empty for the port lister's CommPortEnum
};

// The error file and the settings file in the app folder.
std::string ErrorFilePath(const std::string& appFolder, const std::string& windowCaption);
std::string SettingsFilePath(const std::string& appFolder, const std::string& productName);

// What the user is told when the loader host could not be built (its
// construction status s).
std::string ConstructionErrorText(const std::string& windowCaption, ResultCode s);

// --- menu commands and texts ---
// What "&Open Firmware File..." tells the user when BSLLoadTIFile gave r
// for fileName (the chosen file without its folder).
std::string OpenFileErrorText(const std::string& windowCaption, const std::string& fileName,
                              ResultCode r);
// Progress-bar points per upload callback for an image text of this length
// (0 for an empty text).
float UploadStepFor(std::uint32_t textLength);
// The version the build carries (file "1.16.0.5", product "1.16"); "" when
// the build passed none.
const char* BuildFileVersion();
const char* BuildProductVersion();
// The about box's text for a file version; "Unknown" stands in for a
// missing (null) or empty one.
std::string AboutTextFor(const char* fileVersion, const char* copyright);

class App {
  public:
    App(const AppFrontEnd& frontEnd, const ProductConfig& config, AppEnvironment environment = {});
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // The start-up steps; runs once (later calls do nothing).
    void OnWindowShown();
    // Saves the user settings.
    void OnWindowClose();

    // One-button message with the kind's beep and icon, then the text in
    // the log (level 1, "ErrorOK Told User:").
    void ErrorOK(const std::string& text, const std::string& caption, int kind);

    // A sensor-type menu item: checks it alone and makes its sensor the
    // product. Items that are not sensor types are ignored.
    void OnSensorTypeItem(Control item);

    // --- update control ---
    // "Start" and "&Update Firmware": disable them and "Close", then start
    // the start timer, whose handler (OnStartTimer) runs one whole update.
    void OnStartClick();
    void OnStartTimer();
    // The loader host's progress callback (kind 'X' erase, 'W' upload);
    // returns the keep-going flag.
    bool UpdateProgress(unsigned total, unsigned done, int phase, char kind);
    // "&Exit", the title bar's close, Alt+F4: refuses while busy.
    void ConfirmQuit();
    // "Close" closes the window directly.
    void OnCloseClick();
    // The comm-port list is about to drop down / the user picked entry index.
    void OnCommPortDropDown();
    void OnCommPortChange(int index);

    // The update sequences; each reports its own failures to the user.
    ResultCode UpdateInstrument();
    ResultCode UpdateDigitalSensor();

    // --- menu commands ---
    void OnOpenFirmwareFile();
    void OnDumpFirmwareImage();
    void OnVerboseErrorFile();
    void OnForceFindAllCommPorts();
    void OnDontEraseData();
    void OnReplaceSerialNumber();
    void OnHelp();
    void OnAbout();
    void OnCheckNewerVersion();
    // Runs the handler of any menu item or button named by item.
    void OnCommand(Control item);

    // --- service toggles (menu commands; the update sequences read them) ---
    bool DontEraseData() const { return dontErase_; }
    bool ReplaceSerialNumber() const { return replaceSerialNumber_; }
    // The "New Serial Number" edit's text cut to the 15 characters the edit
    // takes; "" while "&Replace Serial Number" is not checked.
    std::string NewSerialNumber() const;
    // What every update ends with: the item unchecked, the label and the
    // edit hidden, the edit emptied.
    void ResetReplaceSerialNumber();

    // --- texts ---
    std::string HelpText() const;
    std::string AboutText() const;
    // The calibration notice after a successful update of type; nothing
    // for a type without one.
    void ShowUpdateNotice(DeviceType type);

    // --- state ---
    const ProductConfig& Config() const { return config_; }
    const std::string& ProductName() const { return productName_; }
    const std::string& WindowCaption() const { return windowCaption_; }
    const std::string& VersionCheckPath() const { return versionCheckPath_; }
    bool DigitalSensor() const { return digitalSensor_; }
    SensorType SelectedSensorType() const { return selectedSensorType_; }
    bool FindAllPorts() const { return findAllPorts_; }
    bool Verbose() const { return verbose_; }
    const std::string& CommPort() const { return commPort_; }
    int SelectedPortIndex() const { return selectedPortIndex_; }
    std::uint32_t PortCount() const { return portCount_; }
    const PortRecord& Port(std::uint32_t i) const { return ports_[i]; }
    const std::string& AppFolder() const { return appFolder_; }
    const std::string& ErrorFile() const { return errorFile_; }
    std::int32_t ImageVersion() const { return imageVersion_; }
    int EraseProgressStep() const { return eraseProgressStep_; }
    float UploadStep() const { return uploadStep_; }
    // Read by the quit guard and the progress callback, possibly from
    // another thread while an update runs.
    bool Busy() const { return busy_.load(); }
    // The device of the running (or last) update and its settings file.
    const DeviceTypeInfo& DeviceInfo() const { return deviceInfo_; }
    const std::string& SettingsFile() const { return settingsFile_; }
    // What the last update's sequence returned (0 before any); a command
    // line reports it as its outcome.
    ResultCode LastUpdateResult() const { return lastUpdateResult_; }
    bool KeepGoing() const { return keepGoing_.load(); }

    // The long-lived objects; null before start-up.
    QuorLog* Log() { return log_.get(); }
    Quor_protocol* Protocol() { return protocol_.get(); }
    QuorBSLHost* Host() { return host_.get(); }

  private:
    void SetUpProduct();
    void ShowModes();
    void ReadUserSettings(std::string* savedPort);
    void CreateObjects();
    // Clears the port list and fills it from a fresh enumeration; returns
    // the number of ports found.
    std::uint32_t RefreshPortList();
    void SelectStartPort(const std::string& savedPort);
    void SetWindowTexts();
    void SetImageProgress();
    void StartStartupTimer();

    void OnDataEraseWarningTimer();
    void OnConstructionErrorTimer();
    void OnVersionCheckTimer();
    void StartVersionCheckTimer();

    std::string PortLabelName() const;
    std::string ConnectHintName() const;

    // Menu commands: true (after telling the user) when an update runs and
    // the command must not disturb it.
    bool RefuseWhileBusy();

    AppFrontEnd fe_;
    ProductConfig config_;
    AppEnvironment env_;
    bool shown_ = false;

    std::string productName_;
    std::string windowCaption_;
    std::string versionCheckPath_;
    bool digitalSensor_ = false;
    SensorType selectedSensorType_ = 0;
    bool findAllPorts_ = false;
    bool verbose_ = true;
    std::string commPort_;
    int selectedPortIndex_ = 0;
    std::array<PortRecord, kPortListCapacity> ports_{};
    std::uint32_t portCount_ = 0;
    std::string appFolder_;
    std::string errorFile_;
    std::int32_t imageVersion_ = 0;
    int eraseProgressStep_ = kEraseProgressStep;
    float uploadStep_ = 0.0f;
    std::atomic<bool> busy_{false};
    std::atomic<bool> keepGoing_{false};
    // Menu toggles; changed only while no update runs.
    bool dontErase_ = false;
    bool replaceSerialNumber_ = false;
    // Tests of the refusals while busy set the flag an update would set.
    friend struct AppTestAccess;

    // --- the update: start timer, sequences, progress callback ---
    // The window's status text, repainted before the next device step.
    void SetStatus(const std::string& text);
    // The progress bar (kept within 0..100), and "step the bar": +2.
    void SetBar(int percent);
    void StepBar() { SetBar(bar_ + kBarStep); }
    void CleanUpFailedUpdate();
    void FinishUpdate(std::uint32_t startMs);
    void ResetControlsAfterUpdate();
    // The port record's description the messages name; "" without one.
    std::string PortDescription() const;
    // UpdateInstrument's parts; each reports its own failure.
    ResultCode ConnectInstrument(bool* loaderRunning);
    ResultCode CheckInstrument();
    ResultCode CheckImageFitsDevice();
    ResultCode CheckVersionRange();
    ResultCode CaptureInstrumentSettings();
    ResultCode ProgramInstrument();
    ResultCode ReconnectInstrument();
    ResultCode FinishInstrument();
    // Moves an earlier run's settings file out of the way, kept under the
    // next free ".unused" name, before a capture writes a new one.
    void SetAsideStaleSettingsFile();
    static constexpr int kBarStep = 2;

    DeviceTypeInfo deviceInfo_;  // the device of the running update
    std::string settingsFile_;
    float uploadAccumulator_ = 0.0f;
    ResultCode lastUpdateResult_ = 0;
    int bar_ = 0;
    // Set by the digital sensor sequence when the sensor's settings could not be read.
    bool sensorSettingsMissing_ = false;

    // --- the digital sensor update: UpdateDigitalSensor's parts ---
    // Each reports its own failure. The relaying device's first connection,
    // its kind and the reader's battery.
    ResultCode ConnectRelay();
    ResultCode CheckRelayDevice();
    // Borrows the relay's port and asks for a loader; capture is cleared
    // when a connected loader already runs.
    ResultCode FindSensorLoader(bool* capture);
    // The sensor still runs its firmware: its settings, the checks and the
    // loader start.
    ResultCode CaptureSensorSettings();
    ResultCode ProgramSensor();
    ResultCode FinishSensor();
    void ReportSensorLoaderUnreachable();
    // One control character to the relaying device.
    void WriteRelayControl(char c);
    // Both sequences, once the loader link is up: the erases, the upload
    // (after uploadPauseMs) and the vectors, each failure reported.
    ResultCode EraseAndProgramImage(std::uint32_t uploadPauseMs);

    std::unique_ptr<QuorLog> log_;
    std::unique_ptr<Quor_protocol> protocol_;
    std::unique_ptr<QuorBSLHost> host_;
    std::unique_ptr<QuorSerial> portLister_;
};

}  // namespace quor::app
