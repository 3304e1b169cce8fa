#pragma once
// Where an update's events go: a terminal (one progress line redrawn in
// place, questions asked as "[y/N]"), a pipe (one plain line per status
// change) or a script reading JSON (one object per line). Status and
// progress go to standard output, messages with their caption to standard
// error; the JSON form writes every event to standard output.
//
// Ownership: the streams are borrowed and must outlive the reporter.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace quor::cli {

enum class OutputMode : std::uint8_t { kTerminal, kPlain, kJson };

// Who answered a question.
enum class AnsweredBy : std::uint8_t { kUser, kYesOption, kNoTerminal };

class Reporter {
  public:
    virtual ~Reporter() = default;
    // A new status text; elapsed seconds since the update began.
    virtual void Status(const std::string& text, int percent, double elapsedS) = 0;
    virtual void Progress(int percent, double elapsedS) = 0;
    // The status text is hidden (a failed update); nothing is redrawn.
    virtual void EndStatus() {}
    // kind: "error", "warning", "information" or "question".
    virtual void Message(const std::string& caption, const std::string& text, const char* kind) = 0;
    // Shows the question; with AnsweredBy::kUser reads the answer from in.
    // Returns true for OK.
    virtual bool Question(const std::string& caption, const std::string& text, AnsweredBy by,
                          bool answer) = 0;
    // A diagnostic log line (with -v).
    virtual void Log(const std::string& line) = 0;
    // The end: the exit status's name and number, and the last status text.
    virtual void Result(const char* name, int exitStatus, const std::string& lastStatus) = 0;
    // A line of text for the user (what ports and image print).
    virtual void Note(const std::string& text) = 0;
};

// in is read for the terminal's answers; out and err are the two outputs.
std::unique_ptr<Reporter> MakeReporter(OutputMode mode, std::FILE* in, std::FILE* out,
                                       std::FILE* err);

// The answer read from a line typed at "[y/N]": yes only for y or yes.
bool ParseYesNo(const std::string& line);

// "[##########..........]" for percent (clamped to 0..100) in width cells.
std::string ProgressBar(int percent, int width);

}  // namespace quor::cli
