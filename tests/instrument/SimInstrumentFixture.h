#pragma once
// A bench for the instrument models: one model on "SIM1" of a simulated
// world, reached through a plain QuorSerial with raw writes and reads, and
// a loader dialogue made of hand-built frames.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "serial/QuorSerial.h"
#include "sim/core/SimWorld.h"
#include "sim/instrument/InstrumentModel.h"

namespace quor::testing {

class SimInstrumentBench : public ::testing::Test {
  protected:
    static constexpr std::uint32_t kReplyTimeoutMs = 2000;
    static constexpr std::uint32_t kEraseTimeoutMs = 17000;
    static constexpr std::uint32_t kLoginCharPauseMs = 250;

    sim::SimWorld world;
    std::unique_ptr<sim::InstrumentModel> model;
    sim::SimLink* link = nullptr;
    QuorSerial port{nullptr};

    // Puts the model of versionText ("TRU 3.64") on SIM1 and opens the port.
    sim::InstrumentModel& Device(const std::string& versionText) {
        model = sim::InstrumentModel::Create(versionText);
        EXPECT_NE(model, nullptr) << versionText;
        link = &world.AddDevice("SIM1", *model);
        EXPECT_EQ(port.DSOpen("SIM1", 9600), 1);
        return *model;
    }
    sim::InstrumentModel& DeviceOf(const std::string& code) {
        auto profile = sim::InstrumentProfileFor(code);
        EXPECT_NE(profile, nullptr) << code;
        return Device(profile->versionText);
    }

    void Write(const std::string& text) {
        std::uint32_t n = 0;
        ASSERT_GE(port.DSWrite(text.data(), static_cast<std::uint32_t>(text.size()), &n), 0);
    }
    // What arrives within timeoutMs (up to terminator, or all of it).
    std::string ReadReply(std::uint32_t timeoutMs = kReplyTimeoutMs, char terminator = '>') {
        port.DSWait(timeoutMs, terminator);
        char buf[QuorSerial::kReadBufferSize + 1] = {};
        std::uint32_t n = 0;
        port.DSRead(buf, QuorSerial::kReadBufferSize, &n);
        return std::string(buf, n);
    }
    // One command line and its answer.
    std::string Ask(const std::string& command, std::uint32_t timeoutMs = kReplyTimeoutMs) {
        port.DSPurge(1);
        Write(command + "\r");
        return ReadReply(timeoutMs);
    }
    // The answer of a get, as the host reads a value: "\r<value>\r>".
    static std::string Value(const std::string& v) { return "\r" + v + "\r>"; }

    // The login as a person types it: one character every 250 ms, then
    // carriage return, line feed, carriage return.
    std::string TypeLogin(const std::string& text, std::uint32_t pauseMs = kLoginCharPauseMs) {
        port.DSPurge(1);
        for (char c : text) {
            Write(std::string(1, c));
            DSSleep(pauseMs);
        }
        port.DSPurge(1);
        Write("\r\n\r");
        return ReadReply(6000);
    }
    void LogIn() {
        if (model->Profile().needsLogin) {
            ASSERT_EQ(TypeLogin("login *3378"), Value("3378"));
        }
    }

    // --- the loader, frame by frame ---
    static std::string Frame(char letter, const std::string& payload) {
        unsigned sum = '.' + static_cast<unsigned char>(letter);
        for (char c : payload) sum += static_cast<unsigned char>(c);
        char tail[8];
        std::snprintf(tail, sizeof tail, ".%04X\r", sum % 0xFFFF);
        return std::string(1, letter) + payload + tail;
    }
    std::string Address(std::uint32_t a) const {
        char buf[8];
        std::snprintf(buf, sizeof buf, model->Profile().loader.fiveDigitAddresses ? "%05X" : "%04X",
                      a);
        return buf;
    }
    // Bytes as the loader's data words (even byte + 256 * odd byte), padded with 0xFF.
    static std::string Words(std::vector<std::uint8_t> bytes) {
        if (bytes.size() % 2) bytes.push_back(0xFF);
        std::string out;
        for (std::size_t i = 0; i < bytes.size(); i += 2) {
            char w[8];
            std::snprintf(w, sizeof w, "%04X", bytes[i] | (bytes[i + 1] << 8));
            out += w;
        }
        return out;
    }
    std::string Exchange(char letter, const std::string& payload, char terminator = '\r') {
        port.DSPurge(1);
        Write(Frame(letter, payload));
        return ReadReply(1000, terminator);
    }
    // Invokes the loader and connects to it at the type's loader rate.
    void EnterLoader() {
        port.DSPurge(1);
        Write("boot ZEPT\r");
        DSSleep(750);
        ASSERT_EQ(ReadReply(0, '\n'), "OK\r\n");
        const std::uint32_t rate = model->Profile().loader.loaderBaud;
        ASSERT_GE(port.DSHostBaud(rate), 0);
        Write("\r");
        DSSleep(100);
        ASSERT_EQ(ReadReply(0, '$'), "$");
        Write("P");
        DSSleep(100);
        ASSERT_EQ(ReadReply(0, '#'), "#");
    }
    // Programs code (bytes at codeAddress) with the reset vector pointing at
    // resetTarget, waits out the restart and returns to 9600 baud.
    void Program(const std::vector<std::uint8_t>& code, std::uint32_t codeAddress,
                 std::uint32_t resetTarget) {
        EnterLoader();
        const sim::SimLoaderConfig& c = model->Profile().loader;
        for (std::uint32_t s = 0; s < c.infoSegments; ++s)
            ASSERT_EQ(Exchange('X', Address(c.infoStart + s * c.infoSegmentSize)), "+\r");
        ASSERT_EQ(Exchange('X', Address(codeAddress)), "+\r");
        ASSERT_EQ(Exchange('@', Address(codeAddress)), "+\r");
        ASSERT_EQ(Exchange('W', Words(code)), "+\r");
        std::string vectors;
        for (int v = 0; v < 15; ++v) vectors += "FFFF";
        char reset[8];  // a vector word as a number, most significant digit first
        std::snprintf(reset, sizeof reset, "%04X", resetTarget & 0xFFFF);
        vectors += reset;
        ASSERT_EQ(Exchange('V', vectors, '+'), "+");
        ASSERT_GE(port.DSHostBaud(9600), 0);
        DSSleep(static_cast<std::uint32_t>(c.restartDelayUs / 1000) + 100);
    }
    // A few instructions, then the version text the firmware reports.
    static std::vector<std::uint8_t> CodeWithVersion(const std::string& version) {
        std::string bytes("\x31\x40\x00\x3C", 4);
        bytes += version;
        bytes.push_back('\0');
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    }
};

}  // namespace quor::testing
