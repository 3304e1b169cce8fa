// The loader steps both update sequences share once the loader link is up:
// erase the information memory and the code flash, upload the image and
// program the vectors, which restarts the device.

#include "app/App.h"
#include "app/UpdateInstrumentTexts.h"

namespace quor::app {

namespace {
constexpr float kUploadStartAccumulator = 21.0f;
}  // namespace

ResultCode App::EraseAndProgramImage(std::uint32_t uploadPauseMs) {
    const DeviceTypeInfo& d = deviceInfo_;
    const MessageNames names{windowCaption_, productName_, PortDescription()};
    StepBar();
    SetStatus("Erasing firmware memory...");
    ResultCode r =
        host_->BSLEraseINFO(d.infoStart, d.infoSegments, d.infoSegmentSize, d.loaderOption);
    if (r < 0) {
        ErrorOK(LoaderStepErrorText(names, r), "INFO Memory Erase Error", kKindError);
        return r;
    }
    r = host_->BSLEraseFlash(d.flashStart, d.flashEnd, d.loaderOption);
    if (r < 0) {
        ErrorOK(LoaderStepErrorText(names, r), "Firmware Erase Error", kKindError);
        return r;
    }

    uploadAccumulator_ = kUploadStartAccumulator;
    SetBar(static_cast<int>(kUploadStartAccumulator));
    SetStatus("Uploading new firmware code...");
    if (uploadPauseMs > 0) DSSleep(uploadPauseMs);
    r = host_->BSLSendFirmware(d.loaderOption);
    if (r < 0) {
        ErrorOK(LoaderStepErrorText(names, r), "Firmware Upload Error", kKindError);
        return r;
    }

    SetStatus("Restarting the " + productName_ + ", please wait...");
    r = host_->BSLSendVectors();
    if (r < 0) {
        ErrorOK(LoaderStepErrorText(names, r), "Firmware Upload Error", kKindError);
        return r;
    }
    return rc::kOk;
}

}  // namespace quor::app
