#pragma once
// A bench for the logger protocol: a simulated world with one port, the
// protocol object on it, and its log in a private folder.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "log/QuorLog.h"
#include "logger/AQVEN_Protocol.h"
#include "sim/core/SimWorld.h"
#include "sim/logger/LoggerModel.h"
#include "sim/logger/Zt4RadioModel.h"
#include "support/ScopedZone.h"
#include "support/TempDir.h"

namespace quor::testing {

class LoggerBench : public ::testing::Test {
protected:
    TempDir dir;
    QuorLog log{dir.File("log.txt").c_str(), QuorLog::kLevelDetail};
    sim::SimWorld world;

    std::string LogText() const { return ReadFile(dir.File("log.txt")); }
    bool Logged(const std::string& text) const { return LogText().find(text) != std::string::npos; }

    // A serial logger of kind on "SIM1", and the protocol connected to it.
    sim::LoggerModel& SerialLogger(sim::SimLoggerKind kind) {
        logger_ = std::make_unique<sim::LoggerModel>(kind);
        link_ = &world.AddDevice("SIM1", *logger_);
        return *logger_;
    }
    // A far logger behind a Zt4 radio module on "SIM1".
    sim::LoggerModel& RadioLogger(sim::SimLoggerKind kind) {
        logger_ = std::make_unique<sim::LoggerModel>(kind);
        radio_ = std::make_unique<sim::Zt4RadioModel>(*logger_);
        link_ = &world.AddDevice("SIM1", *radio_);
        return *logger_;
    }
    sim::SimLink& Link() { return *link_; }
    sim::Zt4RadioModel& Radio() { return *radio_; }

    ConnectionParams Params(std::uint8_t linkType, std::uint8_t baudIndex = 0) {
        ConnectionParams p;
        p.portName = "SIM1";
        p.linkType = linkType;
        p.baudIndex = baudIndex;
        return p;
    }

    // Lines the host wrote that begin with prefix.
    int HostWritesStartingWith(const std::string& prefix) {
        int n = 0;
        for (const std::string& w : link_->HostWrites()) n += w.rfind(prefix, 0) == 0;
        return n;
    }

    std::unique_ptr<sim::LoggerModel> logger_;
    std::unique_ptr<sim::Zt4RadioModel> radio_;
    sim::SimLink* link_ = nullptr;
    // Declared last: destroyed first, while the world and its port still exist.
    AQVEN_Protocol proto{&log};
};

}  // namespace quor::testing
