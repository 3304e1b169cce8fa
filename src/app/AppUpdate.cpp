// The frame around an update: the two ways to start one, the start timer
// that runs the edition's sequence and shows its outcome, the loader
// host's progress callback and the quit guard.

#include <cstdio>

#include "app/App.h"

namespace quor::app {

namespace {

// The digital-sensor edition's clean-up sends it to the relaying device
// before the borrowed port goes back.
constexpr char kRelayResetChar = '`';
constexpr int kBarEmpty = 0;
constexpr int kBarFull = 100;
constexpr const char* kHostTag = "QuorBSL Host";

}  // namespace

void App::OnStartClick() {
    // The disabled controls keep a second update out; a front end that
    // calls anyway is ignored while one runs.
    if (busy_.load()) return;
    fe_.view.SetEnabled(Control::btnStart, false);
    fe_.view.SetEnabled(Control::btnClose, false);
    fe_.view.SetEnabled(Control::mnuUpdateFirmware, false);
    fe_.timers.StartOneShot(AppTimer::kStart, kStartDelayMs, [this] { OnStartTimer(); });
}

void App::SetStatus(const std::string& text) {
    fe_.view.SetText(Control::statusText, text);
    fe_.view.ProcessPendingMessages();
}

void App::SetBar(int percent) {
    bar_ = percent < kBarEmpty ? kBarEmpty : (percent > kBarFull ? kBarFull : percent);
    fe_.view.SetProgress(bar_);
}

void App::OnStartTimer() {
    fe_.timers.Stop(AppTimer::kStart);
    // Before start-up there is nothing to update with.
    if (!protocol_ || !host_) {
        ResetControlsAfterUpdate();
        return;
    }
    fe_.view.SetEnabled(Control::cbCommPort, false);
    busy_.store(true);
    keepGoing_.store(true);
    SetBar(kBarEmpty);
    fe_.view.SetCursor(Cursor::kHourglass);

    fe_.view.SetText(Control::lblConnect, "Do NOT disconnect " + productName_ + " until finished.");
    settingsFile_ = SettingsFilePath(appFolder_, productName_);

    // Nothing of an earlier device may be restored into this one.
    protocol_->MutableLoggerSettings() = LoggerSettings{};
    protocol_->MutableInstrument() = InstrumentSettings{};
    protocol_->SetSettingsLoaded(false);
    deviceInfo_ = DeviceTypeInfo{};
    sensorSettingsMissing_ = false;

    fe_.view.SetText(Control::statusText, "Connecting to " + productName_ + "...");
    fe_.view.SetVisible(Control::statusText, true);
    fe_.view.ProcessPendingMessages();

    host_->SetProgressCallback(
        [this](std::uint32_t total, std::uint32_t done, int phase, char kind) {
            return UpdateProgress(total, done, phase, kind);
        });
    const std::uint32_t startMs = DSMilliseconds();
    const ResultCode r = digitalSensor_ ? UpdateDigitalSensor() : UpdateInstrument();
    lastUpdateResult_ = r;
    if (r < 0) {
        CleanUpFailedUpdate();
    } else {
        FinishUpdate(startMs);
    }
    ResetControlsAfterUpdate();
}

void App::CleanUpFailedUpdate() {
    fe_.view.SetVisible(Control::statusText, false);
    SetBar(kBarEmpty);
    if (digitalSensor_) {
        std::uint32_t written = 0;
        protocol_->Logger().DSWrite(&kRelayResetChar, 1, &written);
        host_->BSLHandBack();
    } else {
        host_->BSLDisconnect();
    }
    protocol_->Disconnect(false);
    fe_.view.SetText(Control::lblConnect, "Connect " + productName_ + " to computer comm port.");
}

void App::FinishUpdate(std::uint32_t startMs) {
    const std::uint32_t seconds = (DSMilliseconds() - startMs) / 1000u;
    if (deviceInfo_.showNotice) ShowUpdateNotice(deviceInfo_.type);
    SetBar(kBarFull);
    fe_.view.SetText(Control::statusText,
                     "Successfully updated firmware in " + std::to_string(seconds) + " seconds.");
    fe_.dialogs.SoundBeep(Beep::kAsterisk);
    fe_.view.ProcessPendingMessages();
    log_->WriteLine(QuorLog::kLevelFailure, kHostTag, "Finished updating device in %d seconds",
                    static_cast<int>(seconds));
    // A file that cannot be deleted does no harm: the next capture replaces it.
    std::remove(settingsFile_.c_str());
    fe_.view.SetText(Control::lblConnect, "You may disconnect your " + productName_ + " now.");
}

void App::ResetControlsAfterUpdate() {
    fe_.view.SetEnabled(Control::btnStart, true);
    fe_.view.SetEnabled(Control::btnClose, true);
    fe_.view.SetDefaultButton(Control::btnClose);
    fe_.view.SetEnabled(Control::mnuUpdateFirmware, true);
    ResetReplaceSerialNumber();
    fe_.view.SetEnabled(Control::cbCommPort, true);
    fe_.view.SetCursor(Cursor::kNormal);
    busy_.store(false);
}

bool App::UpdateProgress(unsigned, unsigned, int, char kind) {
    if (kind == 'X') {
        SetBar(bar_ + eraseProgressStep_);
    } else if (kind == 'W') {
        uploadAccumulator_ += uploadStep_;
        SetBar(static_cast<int>(uploadAccumulator_ + 0.5f));
    }
    fe_.view.ProcessPendingMessages();
    return keepGoing_.load();
}

void App::ConfirmQuit() {
    if (busy_.load()) {
        fe_.dialogs.ShowMessage("The " + windowCaption_ + " is updating your " + productName_ +
                                    "!\nThis process should NOT be interrupted.\n\n" + "Your " +
                                    productName_ + " may be unusable or have missing settings\n" +
                                    "until you complete the firmware update process.\n\n" +
                                    "Click OK to continue updating your" + productName_ + ".\n",
                                "Don't Quit Now!", Icon::kWarning);
        return;
    }
    keepGoing_.store(false);
    fe_.view.CloseWindow();
}

void App::OnCloseClick() {
    // "Close" is disabled while an update runs; a front end that calls it
    // anyway meets the quit guard rather than closing mid-update.
    if (busy_.load()) {
        ConfirmQuit();
        return;
    }
    fe_.view.CloseWindow();
}

}  // namespace quor::app
