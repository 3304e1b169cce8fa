#pragma once
// A simulated digital sensor on the SDI-12 bus, seen from the sensor: it
// is handed one command at a time (up to its '!') by the relaying reader
// and answers with its address, the reply text and CR LF, or stays silent.
//
// It holds what a firmware update wipes (address, serial number,
// calibration texts) and what it reports about itself (identification,
// type), and answers the commands the updater uses: "a!", "aI!", "aAb!",
// "aX#!", "aX#<sn>!", "aX8!", "aX9 <type>!", "aX4!", "aX5<cal>!", "aXa!",
// "aXb<cal>!", "aXg!", "aXg<cal>!", "apost!" and "aB!", with "a" its own
// address or the wildcard "?" (the address change only answers to its own).
// Tests can script other answers ("ERROR", "No BSL", silence) per command,
// and raw ones sent exactly as given (no carriage return, NUL bytes). Values
// of any length are answered whole, however long: a sensor with long
// replies holds a serial number or calibration beyond the host's fields.
//
// With a resident loader set, "?B!" starts that loader, waiting for its
// connection on the sensor's serial line (which the relaying reader passes
// through). While the loader runs the sensor answers no SDI-12 at all; once
// the loader restarts the sensor after programming, the sensor runs the
// new firmware (FlashFirmware with the version given with the loader). A
// loader left running, connected or waiting, is still running whenever the
// next host comes, unless the reader releases a waiting one.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quor::sim {

class SimLoaderDevice;

struct SdiSensorState {
    char address = '0';
    std::string vendor = "KARVELL ";  // 8 characters
    std::string model = "7QA   ";     // 6 characters
    std::uint32_t version = 356;      // reported as three digits
    std::string extra;                // further identification text
    std::string serialNumber;         // empty: the sensor has none
    std::string type = "z";           // what "?X8!" reports: a letter or digits
    bool answersType = true;          // false: "?X8!" gets no answer
    std::string x4;                   // calibration as "?X4!" reports it
    std::string xa;                   // as "?Xa!" reports it
    std::string xg;                   // as "?Xg!" reports it
    bool hasXg = false;               // false: "?Xg!" is answered "ERROR"
    bool hasLoader = true;            // false: "?B!" is answered "No BSL"
    bool codeGood = true;             // what "?post!" reports
    // What the new firmware starts with after an update.
    std::string factoryX4 = "0";
    std::string factoryXa;
    std::string factoryXg;
};

// The state of one of the maker's sensor types (by its type letter), with a
// plausible model name and calibration; callers adjust what a test needs.
SdiSensorState MakeSensorState(char typeLetter, std::uint32_t version);

class SdiSensor {
public:
    explicit SdiSensor(SdiSensorState state);

    // One complete command, '!' included. The reply ends with CR LF.
    std::optional<std::string> OnCommand(const std::string& command);

    // A firmware update: the new firmware's version, address "0", no
    // serial number, the factory calibration.
    void FlashFirmware(std::uint32_t newVersion);

    // Answers commands whose body (the text between address and '!') starts
    // with bodyPrefix with reply (after the address; none: silence), for
    // the next times commands (negative: always). The newest script wins.
    void Script(const std::string& bodyPrefix, std::optional<std::string> reply, int times = -1);
    // As Script, but the reply goes out exactly as given: no address, no line end.
    void ScriptRaw(const std::string& bodyPrefix, const std::string& bytes, int times = -1);
    void ClearScripts() { scripts_.clear(); }
    void SetSilent(bool silent) { silent_ = silent; }

    const SdiSensorState& State() const { return state_; }
    SdiSensorState& MutableState() { return state_; }
    // Every command the sensor was handed, in order, and the bodies of those
    // it took as writes (X#, X9, X5, Xb, Xg with a value, A).
    const std::vector<std::string>& Commands() const { return commands_; }
    const std::vector<std::string>& Writes() const { return writes_; }
    bool LoaderStarted() const { return loaderStarted_; }

    // --- the resident loader (borrowed; null: "?B!" only notes the start) ---
    void SetLoader(SimLoaderDevice* loader, std::uint32_t newFirmwareVersion);
    SimLoaderDevice* Loader() const { return loader_; }
    // Starts the loader as "?B!" does (connected: as an update left it).
    void StartLoader(bool connected);
    // Whether the loader, not the firmware, has the sensor's serial line.
    bool InLoader();
    // A loader still waiting for its connection gives up; the firmware runs.
    void ReleaseWaitingLoader();
    // How often the loader restarted the sensor into new firmware.
    std::uint32_t Updates() const { return updates_; }

private:
    struct ScriptEntry {
        std::string prefix;
        std::optional<std::string> reply;
        int times;
        bool raw;
    };
    std::optional<std::string> Answer(const std::string& body, bool ownAddress);
    std::string Identification() const;
    std::string Reply(const std::string& text) const;
    std::string Accept(const std::string& body);

    SdiSensorState state_;
    // Notices a restart of the loader into the new firmware.
    void FollowLoader();

    std::vector<ScriptEntry> scripts_;
    SimLoaderDevice* loader_ = nullptr;
    std::uint32_t newFirmwareVersion_ = 0;
    bool loaderRunning_ = false;
    std::uint32_t loaderRestartsSeen_ = 0;
    std::uint32_t updates_ = 0;
    bool silent_ = false;
    bool loaderStarted_ = false;
    std::vector<std::string> commands_;
    std::vector<std::string> writes_;
};

}  // namespace quor::sim
