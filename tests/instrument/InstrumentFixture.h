#pragma once
// A bench for the instrument protocol: a small instrument on "SIM1" that
// keeps its settings as key and value texts and answers the get and set
// commands, record lists, login, self-test, erase and clock of the
// instruments, with the faults a test asks for; and the protocol object with
// its log in a private folder.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "instrument/Quor_protocol.h"
#include "log/QuorLog.h"
#include "sim/core/DeviceModel.h"
#include "sim/core/SimWorld.h"
#include "sim/logger/LoggerModel.h"
#include "support/ScopedZone.h"
#include "support/TempDir.h"

namespace quor::insttest {

using quor::testing::ScopedZone;

// How the bench instrument answers a set command.
enum class SetAnswer { kError, kOther };

class BenchInstrument final : public sim::DeviceModel {
public:
    explicit BenchInstrument(std::string version) : version_(std::move(version)) {}

    std::map<std::string, std::string> settings;  // "sn", "cal 3", "eqn 0", ...
    std::set<std::string> refused;                // set keys answered as setAnswer says
    std::set<std::string> unanswered;             // whole lines heard but never answered
    SetAnswer refusal = SetAnswer::kError;
    std::string loginReply = "\r\nOK\r\n>";
    std::string postReply = "\r\nCode Good!\r\n>";
    std::string eraseReply = "\r\nErased OK\r\n>";
    std::string versionReply;                     // replaces the version answer when set
    bool silent = false;
    int silentAfterCommands = -1;                 // goes silent after this many lines
    std::uint32_t replyDelayMs = 5;

    const std::vector<std::string>& Lines() const { return lines_; }
    // Every byte received with its arrival time (microseconds).
    const std::vector<std::pair<std::uint64_t, char>>& Arrivals() const { return arrivals_; }
    int Count(const std::string& line) const {
        int n = 0;
        for (const std::string& l : lines_) n += l == line;
        return n;
    }
    bool Received(const std::string& prefix) const {
        for (const std::string& l : lines_)
            if (l.rfind(prefix, 0) == 0) return true;
        return false;
    }

    void OnReceive(std::uint8_t byte) override {
        const char c = static_cast<char>(byte);
        arrivals_.emplace_back(side_->NowMicros(), c);
        if (c != '\r') {
            if (c != '\n') partial_.push_back(c);
            return;
        }
        std::string line = std::move(partial_);
        partial_.clear();
        if (line.empty()) return;
        lines_.push_back(line);
        if (silent || unanswered.count(line)) return;
        if (silentAfterCommands >= 0 && static_cast<int>(lines_.size()) > silentAfterCommands) return;
        std::string reply = Answer(line);
        if (reply.empty()) return;
        side_->Schedule(replyDelayMs * 1000ull, [this, reply] { side_->Send(reply); });
    }

private:
    // A value of ">" stands for the bare prompt that old firmware answers with.
    static std::string Value(const std::string& v) { return v == ">" ? "\r>" : "\r\n" + v + "\r\n>"; }

    std::string Answer(const std::string& line) {
        if (line == "get -ver") return versionReply.empty() ? "\r" + version_ + "\r>" : versionReply;
        if (line.rfind("login ", 0) == 0) return loginReply;
        if (line == "logout") return Value("bye");
        if (line == "post" || line == "post -init") return postReply;
        if (line == "yes") return eraseReply;
        if (line == "get -batt") return Value(settings.count("batt") ? settings["batt"] : "87");
        if (line.rfind("reset -", 0) == 0) {
            const std::string prefix = line == "reset -users" ? "user " : line.substr(7) + " ";
            for (auto it = settings.begin(); it != settings.end();)
                it = it->first.rfind(prefix, 0) == 0 ? settings.erase(it) : std::next(it);
            return Value("OK");
        }
        if (line.rfind("get -", 0) == 0) {
            const std::string key = line.substr(5);
            if (key == "eqn" || key == "user") {
                if (settings.count(key + "#")) return Value(settings[key + "#"]);
                int n = 0;
                while (settings.count(key + " " + std::to_string(n))) ++n;
                return Value(std::to_string(n));
            }
            auto it = settings.find(key);
            return it != settings.end() ? Value(it->second) : Value("ERROR");
        }
        if (line.rfind("set -", 0) == 0) {
            std::string rest = line.substr(5);
            std::size_t sp = rest.find(' ');
            std::string key = rest.substr(0, sp);
            if ((key == "cal" || key == "eqn" || key == "user") && sp != std::string::npos) {
                std::size_t sp2 = rest.find(' ', sp + 1);
                key = rest.substr(0, sp2);
                sp = sp2;
            }
            const std::string value = sp == std::string::npos ? "" : rest.substr(sp + 1);
            if (refused.count(key)) {
                return refusal == SetAnswer::kError ? Value("ERROR") : Value("NO");
            }
            settings[key] = value;
            return Value("OK");
        }
        return Value("ERROR");
    }

    std::string version_;
    std::string partial_;
    std::vector<std::string> lines_;
    std::vector<std::pair<std::uint64_t, char>> arrivals_;
};

class ProtocolBench : public ::testing::Test {
protected:
    quor::testing::TempDir dir;
    QuorLog log{dir.File("log.txt").c_str(), QuorLog::kLevelDetail};
    sim::SimWorld world;

    std::string LogText() const { return quor::testing::ReadFile(dir.File("log.txt")); }
    bool Logged(const std::string& text) const { return LogText().find(text) != std::string::npos; }
    int LoggedCount(const std::string& text) const {
        const std::string all = LogText();
        int n = 0;
        for (std::size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
        return n;
    }

    // A bench instrument reporting version on a port of its own ("SIM1" for
    // the first, "SIM2" for the next, ...); earlier ones stay alive.
    BenchInstrument& Put(const std::string& version) {
        devices_.push_back(std::make_unique<BenchInstrument>(version));
        port_ = "SIM" + std::to_string(devices_.size());
        link_ = &world.AddDevice(port_, *devices_.back());
        return *devices_.back();
    }
    // Puts the instrument on its port and connects to it.
    BenchInstrument& Connected(const std::string& version, std::uint32_t serialRetries = 3) {
        if (proto.Logger().IsOpen()) proto.Disconnect(false);
        BenchInstrument& d = Put(version);
        DeviceTypeInfo record;
        EXPECT_EQ(proto.DPConnect(port_.c_str(), kBaudIndex9600, serialRetries, &record), 1);
        return d;
    }
    // A logger on "SIM1", kept by the world so it outlives the protocol's port.
    sim::LoggerModel& Bench(sim::SimLoggerKind kind) {
        auto owned = std::make_unique<sim::LoggerModel>(kind);
        sim::LoggerModel& logger = *owned;
        world.AddDevice("SIM1", std::move(owned));
        return logger;
    }
    const char* Port() const { return port_.c_str(); }
    sim::SimLink& Link() { return *link_; }
    std::uint64_t NowMs() { return world.NowMs(); }

    std::vector<std::unique_ptr<BenchInstrument>> devices_;
    std::string port_;
    sim::SimLink* link_ = nullptr;
    // Declared last: destroyed first, while the world and its port still exist.
    Quor_protocol proto{&log};
};

}  // namespace quor::insttest
