// The command line's pure parts and its front end, without a device.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/CliFrontEnd.h"
#include "cli/CommandLine.h"
#include "cli/ImageInfo.h"
#include "cli/Reporter.h"
#include "cli/SideBySide.h"

namespace quor::cli {
namespace {

// A FILE* whose contents a test reads back.
class TempStream {
  public:
    TempStream() : f_(std::tmpfile()) {}
    ~TempStream() { std::fclose(f_); }
    TempStream(const TempStream&) = delete;
    TempStream& operator=(const TempStream&) = delete;
    std::FILE* get() const { return f_; }
    void Fill(const std::string& text) {
        std::fputs(text.c_str(), f_);
        std::rewind(f_);
    }
    std::string Text() const {
        std::fflush(f_);
        std::string s;
        std::rewind(f_);
        int c = 0;
        while ((c = std::fgetc(f_)) != EOF) s.push_back(static_cast<char>(c));
        return s;
    }

  private:
    std::FILE* f_;
};

std::vector<std::string> OutputLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0, end = 0;
    while ((end = text.find('\n', start)) != std::string::npos) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

TEST(ReporterTest, YesNoAnswers) {
    const std::pair<const char*, bool> cases[] = {
        {"y", true},  {"Y", true},   {"yes", true}, {" YES \r", true}, {"", false},
        {"n", false}, {"no", false}, {"ok", false}, {"yess", false},   {"maybe", false},
    };
    for (const auto& [line, yes] : cases) EXPECT_EQ(ParseYesNo(line), yes) << '"' << line << '"';
}

TEST(ReporterTest, ProgressBarClampsAndFills) {
    EXPECT_EQ(ProgressBar(0, 10), "[..........]");
    EXPECT_EQ(ProgressBar(50, 10), "[#####.....]");
    EXPECT_EQ(ProgressBar(100, 10), "[##########]");
    EXPECT_EQ(ProgressBar(-5, 4), "[....]");
    EXPECT_EQ(ProgressBar(250, 4), "[####]");
}

TEST(ReporterTest, JsonIsOneObjectPerLineWithEveryEvent) {
    TempStream in, out, err;
    in.Fill("y\n");
    auto r = MakeReporter(OutputMode::kJson, in.get(), out.get(), err.get());
    r->Status("Connecting to Dewmark Tru...", 0, 0.04);
    r->Progress(21, 12.5);
    r->Message("Settings Error", "line one\nline \"two\"", "error");
    EXPECT_TRUE(r->Question("Wrong Device", "Load anyway?", AnsweredBy::kUser, false));
    EXPECT_FALSE(r->Question("Newer Firmware", "Sure?", AnsweredBy::kNoTerminal, false));
    r->Log(std::string("bad byte \xff here"));
    r->Result("finished", 0, "Successfully updated firmware in 3 seconds.");
    EXPECT_EQ(err.Text(), "");

    std::vector<nlohmann::json> events;
    for (const std::string& line : OutputLines(out.Text()))
        events.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(events.size(), 9u);
    EXPECT_EQ(events[0]["event"], "status");
    EXPECT_EQ(events[0]["text"], "Connecting to Dewmark Tru...");
    EXPECT_EQ(events[1]["progress"], 21);
    EXPECT_DOUBLE_EQ(events[1]["elapsed"].get<double>(), 12.5);
    EXPECT_EQ(events[2]["text"], "line one\nline \"two\"");
    EXPECT_EQ(events[3]["event"], "question");
    EXPECT_EQ(events[4]["answer"], "ok");
    EXPECT_EQ(events[4]["by"], "user");
    EXPECT_EQ(events[6]["answer"], "cancel");
    EXPECT_EQ(events[6]["by"], "no terminal");
    EXPECT_EQ(events[7]["event"], "log");  // a byte that is no UTF-8 does not break the line
    EXPECT_EQ(events[8]["event"], "result");
    EXPECT_EQ(events[8]["exit"], 0);
}

TEST(ReporterTest, PlainTextPutsMessagesOnStandardErrorWithTheirCaption) {
    TempStream in, out, err;
    auto r = MakeReporter(OutputMode::kPlain, in.get(), out.get(), err.get());
    r->Status("Uploading new firmware code...", 21, 80.0);
    r->Progress(50, 90.0);  // no line: only status changes print
    r->Message("Connection Error", "Comm Port \"x\" isn't available.\nPlease choose.", "error");
    EXPECT_FALSE(r->Question("Wrong Device", "Load anyway?", AnsweredBy::kNoTerminal, false));
    EXPECT_TRUE(r->Question("Wrong Device", "Load anyway?", AnsweredBy::kYesOption, true));
    EXPECT_EQ(out.Text(), "[  80.0s  21%] Uploading new firmware code...\n");
    EXPECT_EQ(err.Text(),
              "Connection Error\n  Comm Port \"x\" isn't available.\n  Please choose.\n"
              "Wrong Device\n  Load anyway?\nOK? [y/N] N (no terminal)\n"
              "Wrong Device\n  Load anyway?\nOK? [y/N] y (--yes)\n");
}

TEST(ReporterTest, TerminalRedrawsOneLineInPlace) {
    TempStream in, out, err;
    auto r = MakeReporter(OutputMode::kTerminal, in.get(), out.get(), err.get());
    r->Status("Erasing firmware memory...", 8, 1.0);
    r->Progress(9, 2.0);
    r->Result("finished", 0, "");
    const std::string text = out.Text();
    // Each drawing goes back to the line's start and clears it; only the
    // result ends the line.
    EXPECT_NE(text.find("\r\033[K[##......................]   9%  Erasing firmware memory...  2s"),
              std::string::npos);
    EXPECT_EQ(text.find('\n'), text.find("\nResult: finished (exit status 0): "));
    EXPECT_EQ(text.rfind('\n'), text.size() - 1);
}

// Dialog answers: --yes says OK, a terminal asks, anything else is Cancel.
TEST(ReporterTest, TerminalKeepsTheLastStatusLineUnderANote) {
    TempStream in, out, err;
    auto r = MakeReporter(OutputMode::kTerminal, in.get(), out.get(), err.get());
    r->Status("Restoring settings...", 96, 86.3);
    r->Message("Settings Error", "failed", "error");  // cleared, printed, redrawn
    r->Status("Successfully updated firmware in 86 seconds.", 100, 86.4);
    r->Note("The log is in /tmp/x");
    r->Result("settings-not-restored", 7, "");
    const std::string text = out.Text();
    EXPECT_NE(
        text.find("Successfully updated firmware in 86 seconds.  86s\nThe log is in /tmp/x\n"),
        std::string::npos)
        << text;
    // Nothing is drawn again after the note.
    EXPECT_EQ(text.find('\r', text.find("The log is in")), std::string::npos) << text;
}

TEST(CliDialogsTest, QuestionsFollowTheAnswerPolicy) {
    struct Case {
        AnswerPolicy policy;
        const char* typed;
        bool answer;
    };
    const Case cases[] = {
        {{true, false}, "", true},    {{true, true}, "n\n", true},  {{false, false}, "y\n", false},
        {{false, true}, "y\n", true}, {{false, true}, "\n", false}, {{false, true}, "", false},
    };
    for (const Case& c : cases) {
        TempStream in, out, err;
        in.Fill(c.typed);
        auto r = MakeReporter(c.policy.terminal ? OutputMode::kTerminal : OutputMode::kPlain,
                              in.get(), out.get(), err.get());
        LogFollower log(*r, false);
        CliView view(*r, log);
        CliDialogs dialogs(*r, view, c.policy);
        EXPECT_EQ(dialogs.AskOkCancel("Go on?", "Wrong Device"), c.answer) << c.typed;
        EXPECT_EQ(dialogs.Outcome().cancelled, !c.answer);
    }
}

TEST(CliViewTest, SeesTheLoaderStartAndTheSuccessLine) {
    TempStream in, out, err;
    auto r = MakeReporter(OutputMode::kPlain, in.get(), out.get(), err.get());
    LogFollower log(*r, false);
    CliView view(*r, log);
    CliDialogs dialogs(*r, view, {});
    view.SetText(app::Control::statusText, "Connecting to Dewmark Tru...");
    dialogs.ShowMessage("m", "Login Error", app::Icon::kError);
    view.SetText(app::Control::statusText, kLoaderStartStatus);
    EXPECT_FALSE(view.Finished());
    dialogs.ShowMessage("m", "Settings Error", app::Icon::kError);
    view.SetText(app::Control::statusText, "Successfully updated firmware in 7 seconds.");
    EXPECT_TRUE(view.Finished());
    ASSERT_EQ(dialogs.Outcome().messages.size(), 2u);
    EXPECT_FALSE(dialogs.Outcome().messages[0].afterLoaderStart);
    EXPECT_TRUE(dialogs.Outcome().messages[1].afterLoaderStart);
}

TEST(ImageInfoTest, SectionsOfAnImageText) {
    std::vector<ImageSection> s;
    ASSERT_TRUE(ImageSections("@01100AABBCCDD@0FFC01234", &s));
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].address, 0x1100u);
    EXPECT_EQ(s[0].bytes, 4u);
    EXPECT_EQ(s[1].address, 0xFFC0u);
    EXPECT_EQ(s[1].bytes, 2u);
    ASSERT_TRUE(ImageSections("", &s));
    EXPECT_TRUE(s.empty());
    s = {{1, 1}};
    for (const char* bad :
         {"AABB", "@0110", "@01100AAB", "@0110GAABB", "@01100aabb", "@01100AABB@"}) {
        EXPECT_FALSE(ImageSections(bad, &s)) << bad;
        EXPECT_EQ(s.size(), 1u) << bad;  // left as it was
    }
}

TEST(SideBySideTest, OneChildPerDeviceWithTheSharedOptions) {
    UpdateOptions o;
    o.ports = {"ttyUSB0", "/dev/pts/4"};
    o.simulate = {"TRU"};
    o.yes = true;
    o.keepData = true;
    o.firmware = "/tmp/TRU 3.66.txt";
    const std::vector<ChildTarget> t = SideBySideTargets(o);
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].label, "ttyUSB0");
    EXPECT_EQ(t[0].args, (std::vector<std::string>{"update", "--json", "--yes", "--keep-data",
                                                   "--firmware", "/tmp/TRU 3.66.txt", "--port",
                                                   "ttyUSB0", "--port-folder"}));
    EXPECT_EQ(t[1].args.back(), "--port-folder");
    EXPECT_EQ(t[2].label, "sim1:TRU");
    EXPECT_EQ(t[2].args.back(), "TRU");
}

TEST(SideBySideTest, TheFirstDeviceThatDidNotFinishDecides) {
    using S = ExitStatus;
    EXPECT_EQ(CombinedExitStatus({S::kFinished, S::kFinished}), S::kFinished);
    EXPECT_EQ(CombinedExitStatus({S::kFinished, S::kNoConnection, S::kLoaderFailed}),
              S::kNoConnection);
    EXPECT_EQ(CombinedExitStatus({S::kSettingsNotRestored, S::kFinished}), S::kSettingsNotRestored);
    EXPECT_EQ(CombinedExitStatus({}), S::kUsage);
}

TEST(PortNamesTest, ListedNamesAndFolderNames) {
    const std::vector<std::string> listed = {"ttyS0", "ttyUSB0"};
    EXPECT_EQ(ListedPortName("/dev/ttyUSB0", listed), "ttyUSB0");
    EXPECT_EQ(ListedPortName("ttyUSB0", listed), "ttyUSB0");
    EXPECT_EQ(ListedPortName("/dev/pts/3", listed), "/dev/pts/3");
    EXPECT_EQ(ListedPortName("/dev/ttyUSB1", listed), "/dev/ttyUSB1");
    EXPECT_EQ(PortFolderName("/dev/pts/3"), "dev_pts_3");
    EXPECT_EQ(PortFolderName("ttyUSB0"), "ttyUSB0");
    EXPECT_EQ(PortFolderName("../x"), ".._x");
    EXPECT_EQ(PortFolderName("/"), "port");
}

ParsedCommandLine Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "quorbsl");
    return ParseCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CommandLineTest, ArgumentErrorsAreUsageErrors) {
    const std::vector<std::vector<const char*>> bad = {
        {"frobnicate"},
        {"update", "--port"},
        {"update", "--firmware", "/nonexistent/TRU 3.66.txt"},
        {"update", "--colour"},
        {"update", "extra"},
        {"ports", "--sys-root"},
        {"image", "/nonexistent.txt"},
        {"image", "a", "b"},
        {"sim", "TRU", "DM9"},
        {},
    };
    for (const auto& args : bad) {
        const ParsedCommandLine p = Parse(args);
        EXPECT_TRUE(p.done) << (args.empty() ? "(none)" : args[0]);
        EXPECT_EQ(p.status, ExitStatus::kUsage) << (args.empty() ? "(none)" : args.back());
        EXPECT_FALSE(p.output.empty());
    }
}

TEST(CommandLineTest, OptionsReachTheirCommand) {
    ParsedCommandLine p = Parse({"update", "--simulate", "--yes", "--json", "-v", "--keep-data",
                                 "--new-serial", "TRU-1", "--sim-fault", "silent"});
    ASSERT_FALSE(p.done) << p.output;
    const auto& u = std::get<UpdateOptions>(p.command);
    EXPECT_EQ(u.simulate, std::vector<std::string>{"TRU"});
    EXPECT_TRUE(u.yes && u.json && u.verbose && u.keepData);
    EXPECT_EQ(u.newSerial, "TRU-1");
    EXPECT_EQ(u.simFault, "silent");

    p = Parse({"update", "--port", "ttyUSB0", "--port", "/dev/pts/3", "--simulate", "dm9"});
    ASSERT_FALSE(p.done);
    EXPECT_EQ(std::get<UpdateOptions>(p.command).ports.size(), 2u);
    EXPECT_EQ(std::get<UpdateOptions>(p.command).simulate, std::vector<std::string>{"dm9"});

    p = Parse({"ports", "--all"});
    EXPECT_TRUE(std::get<PortsOptions>(p.command).all);
    p = Parse({"image", "--dump", "out.txt"});
    EXPECT_EQ(std::get<ImageOptions>(p.command).dump, "out.txt");
    p = Parse({"sim"});
    EXPECT_EQ(std::get<SimOptions>(p.command).type, "TRU");
    p = Parse({"--version"});
    EXPECT_TRUE(std::holds_alternative<VersionRequest>(p.command));
    p = Parse({"update", "--help"});
    EXPECT_TRUE(p.done);
    EXPECT_EQ(p.status, ExitStatus::kFinished);
    EXPECT_NE(p.output.find("--simulate"), std::string::npos);
    EXPECT_NE(p.output.find("settings-not-restored"), std::string::npos);
}

}  // namespace
}  // namespace quor::cli
