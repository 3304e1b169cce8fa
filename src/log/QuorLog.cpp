#include "log/QuorLog.h"

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

namespace quor {

namespace {
constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kDefaultFileName = "error.txt";
constexpr const char* kTempSuffix = ".temp";
}  // namespace

QuorLog::QuorLog(const char* fileName, std::uint32_t level)
    : fileName_(fileName ? fileName : kDefaultFileName),
      level_(IsAcceptedLevel(level) ? level : kLevelFailure),
      timeSource_([] { return std::time(nullptr); }) {}

bool QuorLog::IsAcceptedLevel(std::uint32_t level) {
    return level == 0 || level == kLevelFailure || level == kLevelMilestone ||
           level == kLevelDetail || level == kLevelTrace;
}

bool QuorLog::SetLevel(std::uint32_t level) {
    if (!IsAcceptedLevel(level)) return false;
    level_ = level;
    return true;
}

std::string QuorLog::FormatDate(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    int month = (tm.tm_mon >= 0 && tm.tm_mon < 12) ? tm.tm_mon : 0;
    std::snprintf(buf, sizeof buf, "%d %s %d %d:%02d:%02d", tm.tm_mday, kMonths[month],
                  tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

int QuorLog::WriteLine(std::uint32_t level, const char* tag, const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    int n = WriteLineV(level, tag, format, ap);
    va_end(ap);
    return n;
}

int QuorLog::WriteLineV(std::uint32_t level, const char* tag, const char* format, va_list args) {
    if (level > level_) return 0;
    std::FILE* f = std::fopen(fileName_.c_str(), "ab");
    if (!f) return 0;
    std::string date = FormatDate(timeSource_());
    int total = 0;
    int n = std::fprintf(f, "%s - %s: ", date.c_str(), tag ? tag : "");
    if (n > 0) total += n;
    n = std::vfprintf(f, format ? format : "", args);
    if (n > 0) total += n;
    n = std::fprintf(f, "\r\n");
    if (n > 0) total += n;
    std::fclose(f);
    return total;
}

long QuorLog::FileSize() const {
    struct stat st{};
    if (::stat(fileName_.c_str(), &st) != 0) return errno ? -static_cast<long>(errno) : -1L;
    return static_cast<long>(st.st_size);
}

bool QuorLog::KeepTail(std::uint32_t count) {
    std::FILE* in = std::fopen(fileName_.c_str(), "rb");
    if (!in) return false;
    if (std::fseek(in, 0, SEEK_END) != 0) {
        std::fclose(in);
        return false;
    }
    long size = std::ftell(in);
    if (size < 0) {
        std::fclose(in);
        return false;
    }
    if (static_cast<unsigned long>(size) < count) {
        std::fclose(in);
        return true;
    }
    std::fseek(in, size - static_cast<long>(count), SEEK_SET);
    // Skip to the next line so that the kept text starts with a whole line.
    for (int c = std::fgetc(in); c != EOF && c != '\n'; c = std::fgetc(in)) {
    }
    std::string tempName = fileName_ + kTempSuffix;
    // "wb": a temporary file left by an earlier crash must not be glued in front.
    std::FILE* out = std::fopen(tempName.c_str(), "wb");
    if (!out) {
        std::fclose(in);
        return false;
    }
    std::string tail(count, '\0');
    std::size_t got = std::fread(tail.data(), 1, count, in);
    bool ok = std::fwrite(tail.data(), 1, got, out) == got;
    std::fclose(in);
    ok = (std::fclose(out) == 0) && ok;
    // A failed copy must not cost the log its file: keep the original then.
    if (!ok) {
        std::remove(tempName.c_str());
        return false;
    }
    // rename() replaces the log in one step, so no moment is without it.
    return std::rename(tempName.c_str(), fileName_.c_str()) == 0;
}

}  // namespace quor
