#pragma once
// A Zt4 radio module as it behaves on its serial side: transparent data
// until it hears "+++", then AT commands (ATHP channel, ATDT subchannel,
// ATVR version, ATWR save, ATCN back to data) until ATCN.
// Acknowledgements are "\rOK"; queried values end with a carriage return.

#include <cstdint>
#include <functional>
#include <string>

namespace quor::sim {

class Zt4Module {
public:
    // Where the module's answers go (its serial side).
    using Reply = std::function<void(const std::string&)>;

    explicit Zt4Module(Reply reply) : reply_(std::move(reply)) {}

    // Takes one byte from the serial side. Data bytes that are not part of
    // the escape come back in passOn (a held '+' is released with them).
    void Feed(std::uint8_t byte, std::string& passOn);
    bool CommandMode() const { return commandMode_; }

    int channel = 0;
    int subchannel = 0;
    std::string version = "2A1F";
    int saves = 0;

    // Faults.
    bool ignoreEscape = false;  // never enters command mode
    bool failSave = false;      // ATWR answers ERROR
    bool failLeave = false;     // ATCN answers BUSY and stays in command mode
    bool refuseChannel = false;     // "ATHP<n>" answers ERROR, the channel unchanged
    bool refuseSubchannel = false;  // "ATDT<n>" answers ERROR, the subchannel unchanged

private:
    void Command(const std::string& line);
    Reply reply_;
    bool commandMode_ = false;
    int plus_ = 0;
    std::string line_;
};

}  // namespace quor::sim
