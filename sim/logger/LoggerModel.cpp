#include "sim/logger/LoggerModel.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace quor::sim {

namespace {
constexpr std::int64_t kSecondsFrom1970To2000 = 946684800;
constexpr std::uint32_t kBaudByCode[] = {9600, 19200, 38400, 57600, 115200, 230400, 460800};

// Values of a calibration with its checksum (the sum of the others mod 256).
std::string AdcText(std::initializer_list<unsigned> values) {
    std::string text;
    unsigned sum = 0;
    for (unsigned v : values) {
        text += std::to_string(v) + " ";
        sum += v;
    }
    return text + std::to_string(sum % 256);
}

bool AdcValid(const std::string& value, std::size_t expected) {
    std::vector<long> v;
    const char* p = value.c_str();
    for (;;) {
        char* end = nullptr;
        long x = std::strtol(p, &end, 10);
        if (end == p) break;
        v.push_back(x);
        p = end;
    }
    if (v.size() != expected) return false;
    long sum = 0;
    for (std::size_t i = 0; i + 1 < v.size(); ++i) sum += v[i];
    return sum % 256 == v.back();
}

bool IsInteger(const std::string& s) {
    if (s.empty()) return false;
    char* end = nullptr;
    std::strtol(s.c_str(), &end, 10);
    return *end == '\0';
}

bool IsHex(const std::string& s, std::size_t n) {
    if (s.size() != n) return false;
    for (char c : s) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

void AddCommon(LoggerProfile& p, std::initializer_list<std::pair<std::string, std::string>> initial,
               std::initializer_list<std::pair<std::string, std::string>> factory) {
    for (auto& [k, v] : initial) {
        p.keys.insert(k);
        p.initial[k] = v;
    }
    p.factory = p.initial;
    for (auto& [k, v] : factory) p.factory[k] = v;
}
}  // namespace

LoggerProfile ProfileFor(SimLoggerKind kind) {
    LoggerProfile p;
    const std::string adc30 = AdcText({101, 11, 102, 12, 103, 13, 104, 14, 105, 15});
    const std::string adc15 = AdcText({121, 21, 122, 22, 123, 23, 124, 24, 125, 25});
    const std::string adcFactory = AdcText({128, 1, 128, 1, 128, 1, 128, 1, 128, 1});
    switch (kind) {
        case SimLoggerKind::kRv70:
            p.versionLine = "Rv70 2.05";
            AddCommon(p,
                      {{"i", "RV70A"}, {"sn", "R70-000123"}, {"w", "900"}, {"ports", "1 2 3 4 5"}, {"padc", "1000"},
                       {"devid", "D0001"}, {"data", "2"}, {"r", "3"}, {"depth", "10 20 30 40 50"},
                       {"site", "North Field"}, {"lat", "+45.12345"}, {"long", "-122.54321"}, {"tz", "-32"},
                       {"apn", "internet.example"}, {"user", "apnuser"}, {"passwd", "secret"},
                       {"host", "data.example.com"}, {"authkey", "0123456789ABCDEF0123456789ABCDEF"},
                       {"ipport", "5050"}, {"report", "1"}, {"build", "B2020-05"}, {"adc30", adc30},
                       {"adc15", adc15}, {"trait", "246"}, {"rch", "3"}, {"rsch", "1A2B"}, {"rver", "2A1F"}},
                      {{"i", "NONAME"}, {"sn", "0"}, {"w", "60"}, {"ports", "0 0 0 0 0"}, {"padc", "500"},
                       {"devid", "0"}, {"data", "0"}, {"r", "0"}, {"depth", "0 0 0 0 0"}, {"site", "none"},
                       {"lat", ""}, {"long", ""}, {"tz", "0"}, {"apn", "none"}, {"user", "none"},
                       {"passwd", "none"}, {"host", "none"}, {"authkey", "00000000000000000000000000000000"},
                       {"ipport", "0"}, {"report", "0"}, {"build", "B0"}, {"adc30", adcFactory},
                       {"adc15", adcFactory}, {"trait", "255"}, {"rch", "0"}, {"rsch", "0"}});
            break;
        case SimLoggerKind::kKL3:
            p.versionLine = "kL3 1.02";
            AddCommon(p,
                      {{"i", "KL3-7"}, {"sn", "K3-4711"}, {"w", "300"}, {"ports", "6 7 8 9 10"}, {"padc", "2000"},
                       {"devid", "K3ID"}, {"data", "5"}, {"depth", "15 25 35 45 55"}, {"site", "Orchard"},
                       {"lat", "-33.86882"}, {"long", "+151.20930"}, {"tz", "40"}, {"report", "2"},
                       {"adc30", adc30}, {"adc15", adc15}, {"trait", "254"}, {"rch", "5"}, {"rsch", "FF"},
                       {"rver", "3B00"}},
                      {{"i", "NONAME"}, {"sn", "0"}, {"w", "60"}, {"ports", "0 0 0 0 0"}, {"padc", "500"},
                       {"devid", "0"}, {"data", "0"}, {"depth", "0 0 0 0 0"}, {"site", "none"}, {"lat", ""},
                       {"long", ""}, {"tz", "0"}, {"report", "0"}, {"adc30", adcFactory}, {"adc15", adcFactory},
                       {"trait", "255"}, {"rch", "0"}, {"rsch", "0"}});
            break;
        case SimLoggerKind::kRv7b:
            p.versionLine = "RV7B 2.04";
            AddCommon(p, {{"i", "BEE"}, {"sn", "7B-0042"}, {"w", "600"}, {"ports", "1 1 0 0 1"}, {"padc", "800"},
                          {"build", "B7B-204"}},
                      {{"i", "NONAME"}, {"sn", "0"}, {"w", "60"}, {"ports", "0 0 0 0 0"}, {"padc", "500"},
                       {"build", "B0"}});
            p.hasRadio = false;
            break;
        case SimLoggerKind::kCorvalink:
            p.versionLine = "CK 1.10";
            AddCommon(p, {{"i", "CORVA"}, {"sn", "CK-9"}, {"data", "7"}, {"rch", "2"}, {"rsch", "42"}, {"rver", "1C20"}},
                      {{"i", "NONAME"}, {"sn", "0"}, {"data", "0"}, {"rch", "0"}, {"rsch", "0"}});
            p.hasClock = false;
            break;
        case SimLoggerKind::kZRL2:
            p.versionLine = "ZRL 1.00";
            AddCommon(p, {{"i", "ZRL"}, {"sn", "Z-1"}, {"w", "120"}, {"ports", "1 2 3 0 0"}, {"padc", "1000"},
                          {"site", "Lab"}, {"tz", "0"}},
                      {{"i", "NONAME"}});
            p.hasRadio = false;
            break;
        case SimLoggerKind::kCommDevice:
            p.versionLine = "HJD 1.30";
            AddCommon(p, {{"i", "COMM"}, {"sn", "H-77"}}, {{"i", "NONAME"}});
            p.hasRadio = false;
            break;
        case SimLoggerKind::kPalomet:
            p.versionLine = "JQ 3.10";
            AddCommon(p, {{"i", "PALO"}, {"sn", "JQ-310"}, {"build", "JQB-3"}, {"data", "1"},
                          {"adc30", AdcText({90, 9})}, {"adc15", AdcText({80, 8})}},
                      {{"i", "NONAME"}, {"adc30", AdcText({128, 1})}, {"adc15", AdcText({128, 1})}});
            p.quorSecondsClock = true;
            p.onePairAdc = true;
            p.hasRadio = false;
            break;
        case SimLoggerKind::kOldRv7:
            p.oldVersion = "1.65";
            AddCommon(p, {{"i", "OLDRV7"}, {"w", "60"}, {"p", "1200"}, {"r", "1"}, {"resets", "3"}},
                      {{"i", "NONAME"}, {"w", "30"}, {"p", "600"}, {"r", "0"}});
            break;
    }
    return p;
}

LoggerModel::LoggerModel(LoggerProfile profile)
    : profile_(std::move(profile)), store_(profile_.initial), ownRadio_([this](const std::string& text) {
          if (side_) side_->Send(text);
      }) {
    if (store_.count("rch")) ownRadio_.channel = static_cast<int>(std::strtol(store_["rch"].c_str(), nullptr, 16));
    ownRadio_.version = "1A2B";
}

std::int64_t LoggerModel::ClockSeconds() {
    std::uint64_t now = side_ ? side_->NowMicros() : 0;
    return clockBase_ + static_cast<std::int64_t>((now - clockSetAtUs_) / 1'000'000);
}

void LoggerModel::SetClockSeconds(std::int64_t seconds) {
    clockBase_ = seconds;
    clockSetAtUs_ = side_ ? side_->NowMicros() : 0;
}

std::string LoggerModel::DateTime() {
    std::time_t t = static_cast<std::time_t>(ClockSeconds() + kSecondsFrom1970To2000);
    std::tm f{};
    gmtime_r(&t, &f);
    char buf[64];
    std::snprintf(buf, sizeof buf, "\rDate\\Time: %d-%02d-%02d %d:%02d:%02d\r>", f.tm_year + 1900, f.tm_mon + 1,
                  f.tm_mday, f.tm_hour, f.tm_min, f.tm_sec);
    return buf;
}

std::string LoggerModel::Wire(const std::string& text) const {
    if (!crLf_) return text;
    std::string out;
    for (char c : text) {
        out.push_back(c);
        if (c == '\r') out.push_back('\n');
    }
    return out;
}

void LoggerModel::Answer(const std::string& text) {
    side_->Schedule(kProcessingDelayUs, [this, text] { Send(text); });
}

void LoggerModel::ScheduleIdleCheck() {
    if (idleCheckPending_) return;
    idleCheckPending_ = true;
    side_->Schedule(kAwakeIdleUs, [this] {
        idleCheckPending_ = false;
        if (asleep_) return;
        if (side_->NowMicros() - lastHeardUs_ >= kAwakeIdleUs) {
            asleep_ = true;
            loggedIn_ = false;
        } else {
            ScheduleIdleCheck();
        }
    });
}

bool LoggerModel::Sleeping(std::uint8_t byte) {
    if (!radioSleeper_) return false;
    lastHeardUs_ = side_->NowMicros();
    if (!asleep_) return false;
    if (byte == '\r') {
        if (++carriageReturns_ >= kWakeCarriageReturns) {
            asleep_ = false;
            loggedIn_ = false;
            carriageReturns_ = 0;
            ++wakes_;
            line_.clear();
            ScheduleIdleCheck();
        }
    } else {
        carriageReturns_ = 0;
    }
    return true;
}

void LoggerModel::OnReceive(std::uint8_t byte) {
    if (side_->NowMicros() < silentUntilUs_) return;
    if (Sleeping(byte)) return;
    if (echo_) side_->Send(std::string(1, static_cast<char>(byte)));
    if (term_) {
        std::string pass;
        ownRadio_.Feed(byte, pass);
        for (char c : pass) {
            if (c != '\r') {
                termLine_.push_back(c);
                continue;
            }
            if (termLine_ == "term") {
                term_ = false;
                Answer("\r>");
            }
            termLine_.clear();
        }
        return;
    }
    if (byte != '\r') {
        if (byte != '\n') line_.push_back(static_cast<char>(byte));
        return;
    }
    std::string line;
    line.swap(line_);
    if (line.empty()) return;  // a bare carriage return (the wake sequence)
    commands_.push_back(line);
    if (silenceAfter_ == 0) {
        silenceAfter_ = -1;
        silentUntilUs_ = side_->NowMicros() + silenceMs_ * 1000;
        return;
    }
    if (silenceAfter_ > 0) --silenceAfter_;
    if (missCount_ > 0 && line.rfind(missPrefix_, 0) == 0) {
        --missCount_;
        return;
    }
    Line(line);
}

void LoggerModel::Line(const std::string& line) {
    if (radioSleeper_ && !loggedIn_) {
        // Awake but not addressed: only the name query and a login to us.
        if (line == "query") {
            Answer(store_["i"] + "\r");
        } else if (line == "login " + store_["i"]) {
            loggedIn_ = true;
            Answer("\rOK\r>");
        }
        return;
    }
    if (errorAnswers_) {
        Answer("\rERROR\r>");
        return;
    }
    if (line == "logout") {
        if (radioSleeper_) {
            loggedIn_ = false;
            asleep_ = true;
        }
        return;
    }
    if (line == "query") {
        Answer(store_["i"] + "\r");
        return;
    }
    if (line == "login" || line.rfind("login ", 0) == 0) {
        Answer("\rOK\r>");
        return;
    }
    if (line == "yes") {
        ++erases_;
        const char* end = newFirmware() ? "\r>" : "!";
        std::string text = dataFlashBroken_ ? std::string("\rDataFlash FAIL") + end : std::string("\rErased OK") + end;
        side_->Schedule(kEraseTimeUs, [this, text] { Send(text); });
        return;
    }
    if (!newFirmware()) {
        OldFirmware(line);
        return;
    }
    if (line.rfind("get -", 0) == 0) {
        Get(line.substr(5));
    } else if (line.rfind("get ", 0) == 0) {
        Get(line.substr(4));  // "get -adc30" style keys keep their dash
    } else if (line.rfind("set -", 0) == 0) {
        std::string rest = line.substr(5);
        std::size_t blank = rest.find(' ');
        std::string key = blank == std::string::npos ? rest : rest.substr(0, blank);
        std::string value = blank == std::string::npos ? "" : rest.substr(blank + 1);
        Set(key, value);
    } else {
        Answer("\rUnsupported\r>");
    }
}

void LoggerModel::Get(const std::string& key) {
    if (key == "ver") return Answer("\r" + profile_.versionLine + "\r>");
    if (key == "t" && profile_.hasClock && !profile_.quorSecondsClock) return Answer(DateTime());
    if (key == "sec" && profile_.hasClock && profile_.quorSecondsClock)
        return Answer("\r" + std::to_string(ClockSeconds()) + "\r>");
    if (key == "rver" && !profile_.hasRadio) return Answer("\rNo Radio\r>");
    if (key == "authkey" && profile_.authKeyAsTeakey) return Answer("\rUnsupported\r>");
    const std::string stored = key == "teakey" && profile_.authKeyAsTeakey ? "authkey" : key;
    if (!profile_.keys.count(stored)) return Answer("\rUnsupported\r>");
    Answer("\r" + store_[stored] + "\r>");
}

void LoggerModel::Set(const std::string& key, const std::string& value) {
    if (key == "baud") {
        long code = IsInteger(value) ? std::strtol(value.c_str(), nullptr, 10) : -1;
        if (rejectBaud_ || code < 0 || code > 6) return Answer("\rERROR\r>");
        // "OK" at the old rate, then the switch, then the prompt at the new one.
        side_->Schedule(kProcessingDelayUs, [this, code] {
            Send("\rOK");
            side_->Schedule(Wire("\rOK").size() * ByteTimeMicros(side_->Baud()) + 1000, [this, code] {
                side_->SetBaud(kBaudByCode[code]);
                Send("\r>");
            });
        });
        return;
    }
    if (key == "t" || key == "d" || key == "sec") {
        if (!profile_.hasClock || (key == "sec") != profile_.quorSecondsClock) return Answer("\rUnsupported\r>");
        std::time_t t = static_cast<std::time_t>(ClockSeconds() + kSecondsFrom1970To2000);
        std::tm f{};
        gmtime_r(&t, &f);
        int a = 0, b = 0, c = 0;
        if (key == "sec") {
            if (!IsInteger(value)) return Answer("\rERROR\r>");
            SetClockSeconds(std::strtoll(value.c_str(), nullptr, 10));
            return Answer(Ok());
        }
        if (key == "t" && std::sscanf(value.c_str(), "%d:%d:%d", &a, &b, &c) == 3) {
            f.tm_hour = a, f.tm_min = b, f.tm_sec = c;
        } else if (key == "d" && std::sscanf(value.c_str(), "%d-%d-%d", &a, &b, &c) == 3) {
            f.tm_year = a - 1900, f.tm_mon = b - 1, f.tm_mday = c;
        } else {
            return Answer("\rERROR\r>");
        }
        SetClockSeconds(static_cast<std::int64_t>(timegm(&f)) - kSecondsFrom1970To2000);
        return Answer(Ok());
    }
    if (!profile_.keys.count(key) || key == "rver") return Answer("\rUnsupported\r>");
    const bool numeric = key == "w" || key == "padc" || key == "data" || key == "r" || key == "tz" ||
                         key == "report" || key == "ipport" || key == "trait" || key == "p";
    if (numeric && !IsInteger(value)) return Answer("\rERROR\r>");
    if ((key == "adc30" || key == "adc15") && !AdcValid(value, profile_.onePairAdc ? 3 : 11))
        return Answer("\rERROR\r>");
    if (key == "authkey" && !IsHex(value, 32)) return Answer("\rERROR\r>");
    store_[key] = value;
    Answer(Ok());
}

void LoggerModel::OldFirmware(const std::string& line) {
    if (line == "show" && hasShowText_) {
        Answer(showText_);
    } else if (line == "show") {
        Answer("\rID: " + store_["i"] + "\rVersion: " + profile_.oldVersion + "\rRadio: " + store_["r"] +
               "\rWake: " + store_["w"] + "\rResets: " + store_["resets"] + "\r>");
    } else if (line == "hertz") {
        Answer("\r" + store_["p"] + "\r>");
    } else if (line == "time") {
        Answer(DateTime());
    } else if (line == "term") {
        term_ = true;
        termLine_.clear();
        Answer("\rterm mode\r");
    } else if (line.rfind("set -", 0) == 0) {
        std::string rest = line.substr(5);
        std::size_t blank = rest.find(' ');
        std::string key = blank == std::string::npos ? rest : rest.substr(0, blank);
        std::string value = blank == std::string::npos ? "" : rest.substr(blank + 1);
        if (key == "t" || key == "d") return Set(key, value);
        if (!profile_.keys.count(key) || key == "resets") return Answer("\rERROR\r>");
        store_[key] = value;
        Answer("\r>");
    } else {
        Answer("\rERROR\r>");
    }
}

}  // namespace quor::sim
