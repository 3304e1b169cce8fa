#pragma once
// QuorLog: levelled, time-stamped lines appended to one text file.
// The file is opened in append mode for every line and closed again, so it
// is complete at any moment and can be trimmed between two messages.
//
// Levels: 1 failures, 10 milestones, 30 detail, 40 serial trace. A message
// is written when its level is at most the log's level.

#include <cstdarg>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "common/Printf.h"

namespace quor {

class QuorLog {
public:
    static constexpr std::uint32_t kLevelFailure = 1;
    static constexpr std::uint32_t kLevelMilestone = 10;
    static constexpr std::uint32_t kLevelDetail = 30;
    static constexpr std::uint32_t kLevelTrace = 40;

    // Where the wall-clock time of each line comes from (tests inject one).
    using TimeSource = std::function<std::time_t()>;

    // fileName null: "error.txt" in the current directory. A level other
    // than 0, 1, 10, 30 or 40 runs the log at 1. Nothing is opened here.
    explicit QuorLog(const char* fileName = nullptr, std::uint32_t level = kLevelFailure);

    bool SetLevel(std::uint32_t level);
    std::uint32_t Level() const { return level_; }
    const std::string& FileName() const { return fileName_; }

    // Appends "<date> - <tag>: <message>\r\n". Returns the characters
    // written, or 0 when filtered out by level or the file can't be opened.
    QUOR_PRINTF(4, 5) int WriteLine(std::uint32_t level, const char* tag, const char* format, ...);
    QUOR_PRINTF(4, 0)
    int WriteLineV(std::uint32_t level, const char* tag, const char* format, va_list args);

    // Size of the file in bytes, or -errno when it can't be read.
    long FileSize() const;

    // Cuts the file to at most its last count bytes, starting at a line.
    bool KeepTail(std::uint32_t count);

    void SetTimeSource(TimeSource source) { timeSource_ = std::move(source); }

    // The date part of a line, "%d %s %d %d:%02d:%02d" in local time with
    // English month names whatever the locale.
    static std::string FormatDate(std::time_t t);

private:
    static bool IsAcceptedLevel(std::uint32_t level);

    std::string fileName_;
    std::uint32_t level_;
    TimeSource timeSource_;
};

}  // namespace quor
