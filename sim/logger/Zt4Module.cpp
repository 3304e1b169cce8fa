#include "sim/logger/Zt4Module.h"

#include <cstdio>
#include <cstdlib>

namespace quor::sim {

namespace {
constexpr int kEscapeLength = 3;

std::string Hex(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%X\r", static_cast<unsigned>(v));
    return buf;
}

// The hexadecimal argument after a two-letter AT command, or -1 when none.
long Argument(const std::string& line) {
    if (line.size() <= 4) return -1;
    char* end = nullptr;
    long v = std::strtol(line.c_str() + 4, &end, 16);
    return (end && *end == '\0') ? v : -2;
}
}  // namespace

void Zt4Module::Feed(std::uint8_t byte, std::string& passOn) {
    if (commandMode_) {
        if (byte == '\r') {
            std::string line;
            line.swap(line_);
            if (!line.empty()) Command(line);
        } else {
            line_.push_back(static_cast<char>(byte));
        }
        return;
    }
    if (byte == '+' && !ignoreEscape) {
        if (++plus_ == kEscapeLength) {
            plus_ = 0;
            commandMode_ = true;
            line_.clear();
            reply_("\rOK");
        }
        return;
    }
    passOn.append(static_cast<std::size_t>(plus_), '+');
    plus_ = 0;
    passOn.push_back(static_cast<char>(byte));
}

void Zt4Module::Command(const std::string& line) {
    const std::string op = line.substr(0, 4);
    const long arg = Argument(line);
    if (arg == -2) {
        reply_("\rERROR");
    } else if (op == "ATHP") {
        if (arg < 0) {
            reply_(Hex(channel));
        } else if (refuseChannel) {
            reply_("\rERROR");
        } else {
            channel = static_cast<int>(arg);
            reply_("\rOK");
        }
    } else if (op == "ATDT") {
        if (arg < 0) {
            reply_(Hex(subchannel));
        } else if (refuseSubchannel) {
            reply_("\rERROR");
        } else {
            subchannel = static_cast<int>(arg);
            reply_("\rOK");
        }
    } else if (op == "ATVR") {
        reply_(version + "\r");
    } else if (op == "ATWR") {
        if (failSave) {
            reply_("\rERROR");
        } else {
            ++saves;
            reply_("\rOK");
        }
    } else if (op == "ATCN") {
        if (failLeave) {
            reply_("\rBUSY");
        } else {
            commandMode_ = false;
            reply_("\rOK");
        }
    } else {
        reply_("\rERROR");
    }
}

}  // namespace quor::sim
