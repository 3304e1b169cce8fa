#include "cli/Reporter.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/ExitStatus.h"

namespace quor::cli {

namespace {

constexpr int kBarCells = 24;

const char* AnsweredByName(AnsweredBy by) {
    switch (by) {
        case AnsweredBy::kYesOption:
            return "--yes";
        case AnsweredBy::kNoTerminal:
            return "no terminal";
        case AnsweredBy::kUser:
            break;
    }
    return "user";
}

// The terminal's width in columns; 0 when out is no terminal.
std::size_t TerminalColumns(std::FILE* out) {
    winsize size{};
    if (::ioctl(::fileno(out), TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

// The text below its caption, every line indented (blank lines stay blank).
void WriteIndented(std::FILE* f, const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty()) {
            std::fputc('\n', f);
        } else {
            std::fprintf(f, "  %s\n", line.c_str());
        }
    }
}

std::string ReadLine(std::FILE* in) {
    std::string line;
    int c = 0;
    while ((c = std::fgetc(in)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
    return line;
}

// The lines shared by the terminal and the plain reporters.
class TextReporter : public Reporter {
  public:
    TextReporter(std::FILE* in, std::FILE* out, std::FILE* err) : in_(in), out_(out), err_(err) {}

    void Message(const std::string& caption, const std::string& text, const char*) override {
        ClearLine();
        std::fprintf(err_, "%s\n", caption.c_str());
        WriteIndented(err_, text);
        std::fflush(err_);
        Redraw();
    }
    bool Question(const std::string& caption, const std::string& text, AnsweredBy by,
                  bool answer) override {
        ClearLine();
        std::fprintf(err_, "%s\n", caption.c_str());
        WriteIndented(err_, text);
        std::fprintf(err_, "OK? [y/N] ");
        std::fflush(err_);
        if (by == AnsweredBy::kUser) {
            answer = ParseYesNo(ReadLine(in_));
        } else {
            std::fprintf(err_, "%s (%s)\n", answer ? "y" : "N", AnsweredByName(by));
        }
        std::fflush(err_);
        Redraw();
        return answer;
    }
    void Log(const std::string& line) override {
        ClearLine();
        std::fprintf(err_, "log: %s\n", line.c_str());
        std::fflush(err_);
        Redraw();
    }
    void Result(const char* name, int exitStatus, const std::string&) override {
        ClearLine();
        const char* meaning = "";
        for (const ExitStatusRow& row : ExitStatusTable()) {
            if (static_cast<int>(row.status) == exitStatus) meaning = row.meaning;
        }
        std::fprintf(out_, "Result: %s (exit status %d): %s\n", name, exitStatus, meaning);
        std::fflush(out_);
    }
    void Note(const std::string& text) override {
        ClearLine();
        std::fprintf(out_, "%s\n", text.c_str());
        std::fflush(out_);
    }

  protected:
    virtual void ClearLine() {}
    virtual void Redraw() {}

    std::FILE* in_;
    std::FILE* out_;
    std::FILE* err_;
};

// One line, redrawn in place: bar, percent, status, elapsed time.
class TerminalReporter final : public TextReporter {
  public:
    using TextReporter::TextReporter;

    void Status(const std::string& text, int percent, double elapsedS) override {
        // The finished line stays; the next status starts a fresh one.
        status_ = text;
        percent_ = percent;
        elapsedS_ = elapsedS;
        Redraw();
    }
    void Progress(int percent, double elapsedS) override {
        percent_ = percent;
        elapsedS_ = elapsedS;
        Redraw();
    }

    void EndStatus() override {
        ClearLine();
        status_.clear();
        percent_ = -1;
    }

  private:
    void ClearLine() override {
        if (!drawn_) return;
        std::fprintf(out_, "\r\033[K");
        std::fflush(out_);
        drawn_ = false;
    }
    void Redraw() override {
        if (status_.empty()) return;
        char tail[32];
        std::snprintf(tail, sizeof tail, "  %.0fs", elapsedS_);
        char head[48];
        std::snprintf(head, sizeof head, "%s %3d%%  ", ProgressBar(percent_, kBarCells).c_str(),
                      std::max(percent_, 0));
        std::string line = std::string(head) + status_ + tail;
        // A line longer than the terminal wraps, and \r would then redraw
        // only its last part: it is cut to fit.
        const std::size_t width = TerminalColumns(out_);
        if (width > 1 && line.size() > width - 1) line.resize(width - 1);
        std::fprintf(out_, "\r\033[K%s", line.c_str());
        std::fflush(out_);
        drawn_ = true;
    }
    void Result(const char* name, int exitStatus, const std::string& lastStatus) override {
        KeepLine();
        TextReporter::Result(name, exitStatus, lastStatus);
    }
    void Note(const std::string& text) override {
        KeepLine();
        TextReporter::Note(text);
    }

    // The line as drawn stays on the screen; nothing redraws it.
    void KeepLine() {
        if (drawn_) std::fprintf(out_, "\n");
        drawn_ = false;
        status_.clear();
    }

    std::string status_;
    int percent_ = -1;
    double elapsedS_ = 0;
    bool drawn_ = false;
};

// One line per status change.
class PlainReporter final : public TextReporter {
  public:
    using TextReporter::TextReporter;

    void Status(const std::string& text, int percent, double elapsedS) override {
        std::fprintf(out_, "[%6.1fs %3d%%] %s\n", elapsedS, std::max(percent, 0), text.c_str());
        std::fflush(out_);
    }
    void Progress(int, double) override {}
};

class JsonReporter final : public Reporter {
  public:
    JsonReporter(std::FILE* in, std::FILE* out) : in_(in), out_(out) {}

    void Status(const std::string& text, int percent, double elapsedS) override {
        Write({{"event", "status"},
               {"text", text},
               {"progress", percent},
               {"elapsed", Round(elapsedS)}});
    }
    void Progress(int percent, double elapsedS) override {
        Write({{"event", "progress"}, {"progress", percent}, {"elapsed", Round(elapsedS)}});
    }
    void Message(const std::string& caption, const std::string& text, const char* kind) override {
        Write({{"event", "message"}, {"caption", caption}, {"text", text}, {"kind", kind}});
    }
    bool Question(const std::string& caption, const std::string& text, AnsweredBy by,
                  bool answer) override {
        Write({{"event", "question"}, {"caption", caption}, {"text", text}});
        if (by == AnsweredBy::kUser) answer = ParseYesNo(ReadLine(in_));
        Write({{"event", "answer"},
               {"answer", answer ? "ok" : "cancel"},
               {"by", AnsweredByName(by)}});
        return answer;
    }
    void Log(const std::string& line) override { Write({{"event", "log"}, {"line", line}}); }
    void Result(const char* name, int exitStatus, const std::string& lastStatus) override {
        Write(
            {{"event", "result"}, {"result", name}, {"exit", exitStatus}, {"status", lastStatus}});
    }
    void Note(const std::string& text) override { Write({{"event", "note"}, {"text", text}}); }

  private:
    static double Round(double s) {
        return static_cast<double>(static_cast<long long>(s * 10 + 0.5)) / 10;
    }
    void Write(const nlohmann::json& j) {
        // Device texts are 8-bit; replace what is not UTF-8 rather than fail.
        const std::string line = j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        std::fprintf(out_, "%s\n", line.c_str());
        std::fflush(out_);
    }
    std::FILE* in_;
    std::FILE* out_;
};

}  // namespace

bool ParseYesNo(const std::string& line) {
    std::string word;
    for (char c : line) {
        if (!std::isspace(static_cast<unsigned char>(c)))
            word.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    return word == "y" || word == "yes";
}

std::string ProgressBar(int percent, int width) {
    const int p = std::clamp(percent, 0, 100);
    const int full = p * width / 100;
    return "[" + std::string(static_cast<std::size_t>(full), '#') +
           std::string(static_cast<std::size_t>(width - full), '.') + "]";
}

std::unique_ptr<Reporter> MakeReporter(OutputMode mode, std::FILE* in, std::FILE* out,
                                       std::FILE* err) {
    switch (mode) {
        case OutputMode::kTerminal:
            return std::make_unique<TerminalReporter>(in, out, err);
        case OutputMode::kJson:
            return std::make_unique<JsonReporter>(in, out);
        case OutputMode::kPlain:
            break;
    }
    return std::make_unique<PlainReporter>(in, out, err);
}

}  // namespace quor::cli
