#pragma once
// Every device, port, loader, file and web operation returns a ResultCode:
// above 0 is success (as a rule 1, or a count of characters), below 0 an
// error number. Numbers are owned by the layer that raises them and passed
// upward unchanged. The ones that cross layer boundaries, and that the
// window tells apart, are named here once.

#include <cstdint>

namespace quor {

using ResultCode = std::int32_t;

namespace rc {
inline constexpr ResultCode kOk = 1;

inline constexpr ResultCode kPortNotAvailable = -2;     // no such port
inline constexpr ResultCode kPortInUse = -5;            // another program (or this one) holds it
inline constexpr ResultCode kNoPortName = -6;           // rate change without a port name
// Our own: the system refused access to the port. On Linux this is nearly
// always a user who is not in the "dialout" group.
inline constexpr ResultCode kPortPermissionDenied = -9;
inline constexpr ResultCode kMissingArgument = -10;
inline constexpr ResultCode kOutOfRange = -11;          // argument or configuration out of range
inline constexpr ResultCode kNotForThisDevice = -13;    // not available for this device type
inline constexpr ResultCode kNothingListening = -20;
inline constexpr ResultCode kNoAnswer = -21;
inline constexpr ResultCode kNoAnswerLastAttempt = -22;
inline constexpr ResultCode kLoginFailed = -25;         // access-code login failed
inline constexpr ResultCode kUnreadableAnswer = -30;
inline constexpr ResultCode kEmptyPrompt = -31;
inline constexpr ResultCode kEchoedCommand = -32;
inline constexpr ResultCode kRelayActive = -33;
inline constexpr ResultCode kDeviceError = -34;         // device answered with an error
inline constexpr ResultCode kSomeSettingsFailed = -35;
inline constexpr ResultCode kLoggerUninitialized = -36;
inline constexpr ResultCode kCancelled = -40;
inline constexpr ResultCode kOutOfMemory = -60;
inline constexpr ResultCode kDataMemoryBroken = -65;
inline constexpr ResultCode kLoaderConnected = -80;     // a connected loader is listening
inline constexpr ResultCode kLoaderWaiting = -81;       // a loader is waiting for a connection
inline constexpr ResultCode kSensorHasNoLoader = -82;
inline constexpr ResultCode kNotTiText = -100;          // not a valid TI-Text file
inline constexpr ResultCode kBuiltInImageCorrupt = -101;
inline constexpr ResultCode kSettingsFileMissing = -102;
inline constexpr ResultCode kSettingsFileUnreadable = -105;
inline constexpr ResultCode kSettingsFileUnreadable2 = -106;
// Our own: larger than any settings file the program writes, so not one of
// its files; refused before it is read.
inline constexpr ResultCode kSettingsFileTooLarge = -107;
inline constexpr ResultCode kLoaderSilent = -110;       // the loader did not answer
// Our own: the loader acknowledged "g" but its reply is no version (not a
// positive 32-bit number between two "+").
inline constexpr ResultCode kLoaderVersionUnreadable = -111;
inline constexpr ResultCode kNoWorkingLoader = -112;
inline constexpr ResultCode kNotSupported = -120;       // device or firmware not supported
inline constexpr ResultCode kWrongDeviceType = -121;
// Our own: the firmware image does not fit the connected device's memory
// map (bytes outside its flash, in the loader area, overlapping, cut
// addresses, or no code at all). Refused before anything is erased.
inline constexpr ResultCode kImageDoesNotFit = -122;
inline constexpr ResultCode kBatteryLow = -130;
inline constexpr ResultCode kFeedbackNotSent = -1000;     // feedback post failed or not confirmed
inline constexpr ResultCode kWebConnectionError = -1001;  // the host could not be reached
inline constexpr ResultCode kVersionFileUnreadable = -1002;  // version file without link or number
}  // namespace rc

}  // namespace quor
