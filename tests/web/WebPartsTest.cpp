// The small pieces: the MIME table, the computer information line, the
// host configuration and the xdg-open launcher.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "WebTestSupport.h"
#include "web/ComputerInformation.h"
#include "web/MimeTypes.h"
#include "web/WebConfig.h"
#include "web/WebSystem.h"

namespace quor::web {
namespace {

TEST(MimeTypes, LooksUpTheExtensionIgnoringCase) {
    const MimeTypes table = MimeTypes::Parse(
        "# comment line\n"
        "text/plain\t\t\ttxt asc text # trailing comment\n"
        "application/zip zip\n"
        "\n"
        "image/jpeg jpeg jpg jpe\n"
        "application/x-other txt\n"
        "noslash abc\n");
    struct Case {
        const char* file;
        const char* type;
    };
    const Case cases[] = {
        {"LOG.TXT", "text/plain"},
        {"/home/u/a.b/notes.zip", "application/zip"},
        {"photo.Jpg", "image/jpeg"},
        {"readme.asc", "text/plain"},
        {"archive.tar.qqq", kDefaultContentType},
        {"noext", kDefaultContentType},
        {"dir.d/file", kDefaultContentType},
        {"trailing.", kDefaultContentType},
        {"x.abc", kDefaultContentType},
        {"x.comment", kDefaultContentType},
    };
    for (const Case& c : cases) EXPECT_EQ(table.ForFileName(c.file), c.type) << c.file;
}

TEST(MimeTypes, AMissingTableGivesTheDefaultAndTheSystemTableKnowsText) {
    EXPECT_EQ(MimeTypes::Load("/nonexistent/mime.types").ForFileName("a.txt"), kDefaultContentType);
    struct stat st {};
    if (::stat(kSystemMimeTypesPath, &st) != 0) GTEST_SKIP() << "no /etc/mime.types";
    EXPECT_EQ(MimeTypes::Load().ForFileName("Dewmark Tru Firmware Updater.errors.txt"),
              "text/plain");
}

TEST(ComputerInformation, TheWindowsTable) {
    using P = WindowsPlatform;
    struct Case {
        WindowsVersion v;
        const char* text;
    };
    const Case cases[] = {
        {{P::kWin9x, 4, 0, 950, ""}, "Windows 95  (Version 4.0 build 950)"},
        {{P::kWin9x, 4, 10, 0x040A08AE, " A "}, "Windows 98  A  (Version 4.10 build 2222)"},
        {{P::kWin9x, 4, 90, 3000, ""}, "Windows ME  (Version 4.90 build 3000)"},
        {{P::kWin9x, 4, 3, 1, ""}, " (Version 4.3 build 1)"},
        {{P::kWin9x, 5, 0, 1, ""}, "Unknown Win32  (Version 5.0 build 1)"},
        {{P::kWinNt, 4, 0, 1381, "Service Pack 6"},
         "Windows NT 4.0 Service Pack 6 (Version 4.0 build 1381)"},
        {{P::kWinNt, 5, 0, 2195, ""}, "Windows 2000  (Version 5.0 build 2195)"},
        {{P::kWinNt, 5, 1, 2600, "Service Pack 3"},
         "Windows XP Service Pack 3 (Version 5.1 build 2600)"},
        {{P::kWinNt, 5, 2, 3790, ""}, "Windows Server 2003  (Version 5.2 build 3790)"},
        {{P::kWinNt, 5, 3, 1, ""}, " (Version 5.3 build 1)"},
        {{P::kWinNt, 6, 2, 9200, ""}, "Windows Vista  (Version 6.2 build 9200)"},
        {{P::kWinNt, 10, 0, 19045, ""}, "Unknown WinNT  (Version 10.0 build 19045)"},
        {{P::kOther, 3, 1, 7, ""}, "Unknown Windows Platform  (Version 3.1 build 7)"},
    };
    for (const Case& c : cases) EXPECT_EQ(WindowsComputerInformation(c.v), c.text);
}

TEST(ComputerInformation, LinuxNameAndKernelInTheSameShape) {
    const std::string debian =
        "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n"
        "VERSION_ID=\"12\"\nID=debian\n";
    EXPECT_EQ(LinuxComputerInformation(debian, "6.1.0-18-amd64"),
              "Debian GNU/Linux 12 (bookworm) 6.1.0-18-amd64 (Version 6.1 build 0)");
    EXPECT_EQ(LinuxComputerInformation("NAME='Arch Linux'\n", "6.7.4-arch1-1"),
              "Arch Linux 6.7.4-arch1-1 (Version 6.7 build 4)");
    EXPECT_EQ(OsReleaseName("PRETTY_NAME=\"Say \\\"hi\\\"\"\r\n"), "Say \"hi\"");
    EXPECT_EQ(LinuxComputerInformation("", "5.15"), "Linux 5.15 (Version 5.15 build 0)");
    EXPECT_EQ(LinuxComputerInformation("", "99999999999.1"),
              "Linux 99999999999.1 (Version 0.0 build 0)");
    // This machine's line has the shape, whatever the system.
    const std::string here = CurrentComputerInformation();
    EXPECT_NE(here.find(" (Version "), std::string::npos) << here;
    EXPECT_EQ(here.back(), ')');
}

TEST(WebConfig, HostsAddressesAndOverrides) {
    EXPECT_EQ(HostUrl("software.example.test", "/versionfinder/Tru-Firmware.txt"),
              "http://software.example.test/versionfinder/Tru-Firmware.txt");
    EXPECT_EQ(HostUrl("127.0.0.1:8080/", "php-bin/app_feedback.php"),
              "http://127.0.0.1:8080/php-bin/app_feedback.php");
    EXPECT_EQ(HostUrl("https://h.example.test", "/"), "https://h.example.test/");

    const WebConfig built = BuiltWebConfig();
    EXPECT_FALSE(built.softwareHost.empty());
    EXPECT_NE(built.supportEmail.find('@'), std::string::npos);
    const WebConfig same = WithHostOverrides(built, nullptr, "");
    EXPECT_EQ(same.softwareHost, built.softwareHost);
    EXPECT_EQ(same.webHost, built.webHost);

    ASSERT_EQ(::setenv(kSoftwareHostVariable, "127.0.0.1:9", 1), 0);
    const WebConfig overridden = CurrentWebConfig();
    ::unsetenv(kSoftwareHostVariable);
    EXPECT_EQ(overridden.softwareHost, "127.0.0.1:9");
    EXPECT_EQ(overridden.webHost, built.webHost);
    EXPECT_EQ(overridden.supportEmail, built.supportEmail);
}

TEST(XdgOpenLauncher, PassesTheLinkAsOneArgumentAndReadsTheExitStatus) {
    test::TempFolder folder;
    const std::string seen = folder.Path() + "/seen.txt";
    const std::string opener = folder.Write(
        "opener", "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > '" + seen + "'\nexit 0\n");
    const std::string failing = folder.Write("failing", "#!/bin/sh\nexit 3\n");
    ::chmod(opener.c_str(), 0755);
    ::chmod(failing.c_str(), 0755);

    // No shell in between: blanks and ';' stay inside the one argument.
    const std::string link = "http://h.example.test/a b;touch " + folder.Path() + "/owned";
    XdgOpenLauncher ok(opener);
    EXPECT_TRUE(ok.OpenLink(link));
    std::ifstream file(seen);
    const std::string args((std::istreambuf_iterator<char>(file)), {});
    EXPECT_EQ(args, "1|" + link);
    EXPECT_FALSE(std::filesystem::exists(folder.Path() + "/owned"));

    XdgOpenLauncher bad(failing);
    EXPECT_FALSE(bad.OpenLink("http://h.example.test/"));
    XdgOpenLauncher missing(folder.Path() + "/no-such-opener");
    EXPECT_FALSE(missing.OpenLink("http://h.example.test/"));
}

}  // namespace
}  // namespace quor::web
