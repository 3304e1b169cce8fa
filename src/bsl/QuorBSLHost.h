#pragma once
// QuorBSLHost: the host side of the devices' resident bootstrap loader.
// It gets a device into its loader (or attaches to one that runs), speaks
// the loader's framed, checksummed commands, erases and programs the flash,
// and holds the one firmware image the next update programs.
//
// Ownership: the host owns its two command buffers and the image text. Its
// port is its own after BSLConnect or BSLCheck (closed by BSLDisconnect or
// the destructor); after BSLHandOff it is borrowed: never closed here, and
// its read buffer is never freed here. The log is borrowed.

#include <cstdint>
#include <functional>
#include <memory>

#include "bsl/BSLFraming.h"
#include "bsl/FirmwareImage.h"
#include "bsl/ImageFit.h"
#include "bsl/LoaderMemoryMap.h"
#include "common/ResultCode.h"
#include "log/QuorLog.h"
#include "serial/QuorSerial.h"

namespace quor {

// Progress of a long loader operation: total and done count segments
// ("X", the erase) or image-text characters ("W", the upload); phase is 1
// while working and 2 once at the end. Returns whether to keep going.
using UpdateProgress = std::function<bool(std::uint32_t total, std::uint32_t done, int phase, char kind)>;

class QuorBSLHost : public QuorSerial {
public:
    static constexpr const char* kTag = "QuorBSL";
    static constexpr const char* kInvocationWord = "ZEPT";
    static constexpr std::size_t kCommandBufferSize = 544;
    static constexpr std::uint32_t kApplicationBaud = 9600;
    static constexpr std::uint32_t kDefaultTries = 3;

    static constexpr std::uint32_t kRetryPauseMs = 175;
    static constexpr std::uint32_t kCommandReplyTimeoutMs = 1000;
    static constexpr std::uint32_t kConnectSettleMs = 1000;
    static constexpr std::uint32_t kInvocationReplyPauseMs = 750;
    static constexpr std::uint32_t kHandshakeReplyPauseMs = 100;
    static constexpr std::uint32_t kCheckSettleMs = 1000;
    static constexpr std::uint32_t kCheckReplyPauseMs = 200;
    static constexpr std::uint32_t kAttachReplyPauseMs = 200;
    static constexpr std::uint32_t kAttachConnectPauseMs = 175;
    static constexpr std::uint32_t kDisconnectPauseMs = 100;
    static constexpr std::uint32_t kVectorsPauseMs = 50;
    static constexpr std::uint32_t kLinkReplyChars = 31;  // invocation, handshake and check replies

    static constexpr std::uint32_t kFlashSegmentBytes = kFlashSegmentSize;
    static constexpr std::uint32_t kLoaderAreaFirst = kLoaderAreaStart;
    static constexpr std::uint32_t kLoaderAreaLast = kProtectedAreaEnd - 1;
    static constexpr std::uint32_t kEraseProgressEverySegments = 10;
    static constexpr std::uint32_t kUploadBlockChars = 512;
    static constexpr std::uint32_t kUploadProgressEveryChars = 512;

    // Builds the product's embedded image.
    explicit QuorBSLHost(QuorLog* log);
    // Builds the given embedded image instead (a product build's own, or a
    // test's); image is read during construction only.
    QuorBSLHost(QuorLog* log, const EmbeddedImage& image);
    ~QuorBSLHost() override;

    // --- loader link ---
    ResultCode BSLCommand(char letter, const char* payload, std::uint32_t length, char terminator,
                          char* reply, std::uint32_t* milliseconds);
    ResultCode BSLCommand(char letter, const std::uint32_t* values, std::uint32_t count, char terminator,
                          char* reply, std::uint32_t* milliseconds, bool fiveDigits);
    ResultCode BSLConnect(const char* portName, std::uint32_t baud, bool showProgress, std::uint32_t tries);
    ResultCode BSLDisconnect();
    ResultCode BSLHandOff(PortDriver* port, char* readBuffer, const char* portName, bool showProgress,
                          std::uint32_t tries);
    ResultCode BSLHandBack();
    ResultCode BSLCheck(const char* portName, std::uint32_t baud);
    ResultCode BSLInvocation(std::uint32_t baud);
    ResultCode BSLAttach();

    // --- flash programming ---
    ResultCode BSLEraseINFO(std::uint32_t start, std::uint32_t count, std::uint32_t size, bool fiveDigits);
    ResultCode BSLEraseFlash(std::uint32_t from, std::uint32_t to, bool fiveDigits);
    ResultCode BSLSendAddress(std::uint32_t address, bool fiveDigits);
    ResultCode BSLSendFirmware(bool fiveDigits);
    ResultCode BSLSendVectors();
    // Whether the image can be programmed exactly into a device with this
    // map: 1, or -122 (-11 for a malformed image text) with a log line
    // saying which section and why. Sends nothing. An update asks before
    // its first erase: a refused image must leave the device as it was.
    ResultCode BSLCheckImage(const LoaderMemoryMap& map);
    // The check, then the four steps in the order an update runs them,
    // stopping at the first failure: information memory, code flash, the
    // image, the vectors. A refused image sends no frame at all.
    ResultCode BSLProgramImage(const LoaderMemoryMap& map);

    // --- firmware image ---
    ResultCode BSLLoadTIFile(const char* path);
    ResultCode BSLWriteTIFile(const char* path);

    // The progress callback (none: keep going). The lookup turns a file
    // name's device code into a type number (none: every file is type 0).
    void SetProgressCallback(UpdateProgress callback) { progress_ = std::move(callback); }
    void SetDeviceCodeLookup(DeviceCodeLookup lookup) { lookup_ = lookup; }

    // The window takes a file that names no device as its own product's.
    void SetImageDeviceType(std::int8_t type) { image_.deviceType = type; }

    const FirmwareImage& Image() const { return image_; }
    const char* ImageLabel() const { return image_.label.c_str(); }
    std::int32_t VersionNumber() const { return image_.versionNumber; }
    std::int8_t ImageDeviceType() const { return image_.deviceType; }
    ResultCode ConstructionStatus() const { return image_.constructionStatus; }
    std::uint32_t TextLength() const { return image_.textLength; }
    const char* ImageText() const { return image_.text.get(); }
    const std::uint32_t* Vectors() const { return image_.vectors; }

    std::int32_t LoaderVersion() const { return loaderVersion_; }
    bool Connected() const { return connected_; }
    bool ShowProgress() const { return showProgress_; }
    std::uint32_t Tries() const { return tries_; }

private:
    void LogBSL(std::uint32_t level, const char* format, ...) const QUOR_PRINTF(3, 4);
    void BuildEmbeddedImage(const EmbeddedImage& image);
    ResultCode Exchange(char letter, const char* payload, std::uint32_t length, char terminator);
    ResultCode ExchangeValues(char letter, const std::uint32_t* values, std::uint32_t count, char terminator,
                              bool fiveDigits);
    ResultCode SendFrame(char letter, const char* payload, std::uint32_t length, char terminator, char* reply,
                         std::uint32_t* milliseconds);
    ResultCode SendBlock(std::uint32_t address, std::uint32_t length, bool fiveDigits);
    bool Progress(std::uint32_t total, std::uint32_t done, int phase, char kind);
    // Sends text and, after pauseMs, reads what came into reply (capacity
    // kLinkReplyChars + 1, cleared first). Returns the read's result.
    ResultCode SendAndCollect(const char* text, std::uint32_t pauseMs, char* reply);

    std::int32_t loaderVersion_ = 0;
    FirmwareImage image_;
    bool connected_ = false;
    bool showProgress_ = false;
    std::uint32_t tries_ = kDefaultTries;
    std::unique_ptr<char[]> commandBuffer_;
    std::unique_ptr<char[]> replyBuffer_;
    UpdateProgress progress_;
    DeviceCodeLookup lookup_ = nullptr;
};

}  // namespace quor
