#pragma once
// AQVEN_Protocol: the line-oriented text command protocol of the dataloggers
// (and of the instruments that share it), over a serial cable or through a
// radio modem on the port. Every command goes through DeviceCommand.
//
// Ownership: this object owns its reply buffer and its read buffer; the
// read buffer is handed to the QuorSerial part, which borrows it. The log
// is borrowed and may be null (then nothing of this object is logged).
// Destruction disconnects a link that is still up.

#include <cstdint>
#include <functional>
#include <memory>

#include "common/FixedText.h"
#include "common/Printf.h"
#include "common/ResultCode.h"
#include "log/QuorLog.h"
#include "logger/LoggerTypes.h"
#include "serial/QuorSerial.h"

namespace quor {

class AQVEN_Protocol : public QuorSerial {
public:
    static constexpr std::uint32_t kReplyBufferSize = 2049;
    static constexpr std::uint32_t kEmptyAttemptPauseMs = 50;

    // Phases of the progress hook.
    static constexpr int kPhaseProgress = 1;
    static constexpr int kPhaseEnd = 2;
    static constexpr int kPhaseQueryTry = 4;

    // Returns false to cancel the running operation (-40).
    using ProgressHook = std::function<bool(std::uint32_t total, std::uint32_t done, int phase)>;
    using TraceHook = std::function<void(const char* text)>;

    explicit AQVEN_Protocol(QuorLog* log);
    ~AQVEN_Protocol() override;

    ResultCode ConstructionStatus() const { return constructionStatus_; }

    // direction 0 copies the configuration out; any other checks and stores it.
    ResultCode Configure(ProtocolConfig* config, int direction);

    // One command transaction: purge, write, wait for terminator, read,
    // judge. answer may be null; capacity is in-out (characters copied).
    ResultCode DeviceCommand(const char* command, char terminator, std::uint32_t timeoutMs, char* answer,
                             std::uint32_t* capacity, std::uint32_t* elapsedMs);

    // --- identification ---
    ResultCode VerCommand(bool skipShow);
    ResultCode ParseShowCommand(FixedText<8>* nameOut);
    void SetCapabilities();

    // --- radio ---
    ResultCode Zt4Config(std::int32_t* channel, std::int32_t* subchannel, FixedText<8>* radioVersion, int direction,
                         std::uint32_t* request);
    ResultCode MSRadioCommand(std::int32_t* channel, std::int32_t* subchannel, FixedText<8>* radioVersion,
                              int direction, std::uint32_t* request);

    // --- login and disconnect ---
    ResultCode ConnectDevice(ConnectionParams* params);
    ResultCode DeviceLogin(FixedText<8>* name, std::uint8_t* baudIndex);
    // mode 1: buffer receives the name (9 bytes); mode > 1: the raw answer,
    // mode being the buffer's capacity.
    ResultCode QueryCommand(char* buffer, std::uint32_t mode);
    ResultCode SendWake();
    ResultCode LoginCommand(const char* name);
    ResultCode SetBaudCommand(std::uint32_t rate);
    ResultCode DisconnectDevice(bool skipLogout);

    // --- settings ---
    ResultCode DeviceSettings(LoggerSettings* record, std::uint32_t* request, int direction);
    ResultCode NameCommand(FixedText<8>* name, int direction);
    ResultCode SNCommand(FixedText<15>* serial, int direction);
    ResultCode WakeCommand(std::int32_t* interval, int direction);
    ResultCode PortsCommand(std::uint8_t* ports, int direction);
    ResultCode PADCCommand(std::int32_t* padc, int direction);
    ResultCode DeviceIDCommand(FixedText<8>* id, int direction);
    ResultCode DataParameterCommand(std::int32_t* value, int direction);
    ResultCode RmodeCommand(std::int32_t* rmode, int direction);
    ResultCode DepthCommand(std::uint8_t* depths, int direction);
    ResultCode SiteCommand(FixedText<25>* site, int direction);
    ResultCode LatitudeCommand(double* latitude, int direction);
    ResultCode LongitudeCommand(double* longitude, int direction);
    ResultCode TimeZoneCommand(std::int32_t* zone, int direction);
    ResultCode APNCommand(FixedText<35>* apn, int direction);
    ResultCode APNUserCommand(FixedText<35>* user, int direction);
    ResultCode APNPasswdCommand(FixedText<35>* password, int direction);
    ResultCode HostCommand(FixedText<63>* host, int direction);
    ResultCode AuthKeyCommand(FixedText<32>* key, int direction);
    ResultCode IPPortCommand(std::int32_t* port, int direction);
    ResultCode ReportCommand(std::int32_t* mode, int direction);
    ResultCode QuorBuildCommand(FixedText<16>* build, int direction);
    ResultCode TraitCommand(std::uint32_t* trait, int direction);
    ResultCode ADCcalCommand(int range, std::uint8_t* slopes, std::uint8_t* offsets, int direction);

    // --- clock and data ---
    ResultCode DeviceTime(std::int32_t* quorSeconds, int direction);
    ResultCode EraseData();

    // --- hooks (do nothing unless set) ---
    void SetProgressHook(ProgressHook hook) { progressHook_ = std::move(hook); }
    void SetTraceHook(TraceHook hook) { traceHook_ = std::move(hook); }

    // --- state ---
    const LoggerSettings& Settings() const { return settings_; }
    LoggerSettings& MutableSettings() { return settings_; }
    const ConnectionParams& Connection() const { return connection_; }
    const ProtocolConfig& Config() const { return config_; }
    std::uint32_t RetryCount() const { return retryCount_; }
    std::int32_t ResetCount() const { return resetCount_; }
    const char* Reply() const { return replyBuffer_ ? replyBuffer_.get() : ""; }

private:
    struct IntSetting;
    struct TextSetting;

    QUOR_PRINTF(3, 4) void Log(std::uint32_t level, const char* format, ...) const;
    bool Progress(std::uint32_t total, std::uint32_t done, int phase);
    void TraceSent(const char* text);
    void TraceReceived(const char* text);
    bool OnRadioLink() const { return connection_.linkType == kLinkRadio; }
    std::uint32_t Since(std::uint32_t startMs) const;
    // Writes text as one command without waiting for an answer (traced).
    ResultCode WriteRaw(const char* text);

    // Shared shapes of the per-setting commands.
    ResultCode IntCommand(const IntSetting& s, std::int32_t* value, int direction);
    ResultCode TextCommand(const TextSetting& s, char* field, std::size_t maxLen, int direction);
    ResultCode FiveByteCommand(const char* op, const char* key, std::uint8_t* values, int direction, bool depth);
    ResultCode PositionCommand(bool latitude, double* value, int direction);
    ResultCode SetCommand(const char* op, const char* command, bool oldPromptOk, std::uint32_t answerSize,
                          std::uint32_t* elapsedMs);
    bool Cellular() const;
    bool SetAccepted(const char* answer, bool oldPromptOk) const;
    ResultCode Failed(const char* op, ResultCode r, std::uint32_t ms) const;
    ResultCode RunNextSetting(LoggerSettings& rec, std::uint32_t& request, std::uint32_t& done, int direction);

    ResultCode constructionStatus_ = rc::kOk;
    ProtocolConfig config_;
    LoggerSettings settings_;
    ConnectionParams connection_;
    std::uint32_t retryCount_ = kDefaultSerialRetries;
    std::int32_t resetCount_ = 0;
    std::unique_ptr<char[]> replyBuffer_;
    std::unique_ptr<char[]> readBuffer_;
    ProgressHook progressHook_;
    TraceHook traceHook_;
};

}  // namespace quor
