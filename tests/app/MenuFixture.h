#pragma once
// The menu and text tests' fixture: the app fixture plus TI-Text files
// written into the test's folder, the busy flag an update would set, and
// a count of how often a text went into the log.

#include <cstdint>
#include <string>

#include "app/AppFixture.h"
#include "support/TempDir.h"

namespace quor::app {

// Sets what only a running update sets.
struct AppTestAccess {
    static void SetBusy(App& app, bool busy) { app.busy_.store(busy); }
};

namespace testing {

class MenuFixture : public AppFixture {
  protected:
    struct Section {
        std::uint32_t address;
        std::uint32_t bytes;  // filled with a counting pattern
    };

    // A TI-Text file of the given code sections, a reset vector and "q".
    static std::string TiText(std::initializer_list<Section> sections) {
        static const char* kHex = "0123456789ABCDEF";
        std::string file;
        for (const Section& s : sections) {
            char header[16];
            std::snprintf(header, sizeof header, "@%X\n", static_cast<unsigned>(s.address));
            file += header;
            for (std::uint32_t i = 0; i < s.bytes; ++i) {
                const unsigned b = (i * 7u + 1u) & 0xFFu;
                file += kHex[b >> 4];
                file += kHex[b & 0xF];
                file += (i % 16 == 15 || i + 1 == s.bytes) ? '\n' : ' ';
            }
        }
        return file + "@FFFE\n00 11\nq\n";
    }

    // Writes text as the file name in the test's folder; returns its path.
    std::string WriteFirmware(const std::string& name, const std::string& text) {
        const std::string path = dir.File(name);
        quor::testing::WriteFile(path, text);
        return path;
    }

    // How often "ErrorOK Told User:: " + text stands in the log.
    int LoggedTimes(const std::string& text) const {
        const std::string log = quor::testing::ReadFile(app->ErrorFile());
        const std::string line = "ErrorOK Told User:: " + text + "\r\n";
        int n = 0;
        for (std::size_t at = log.find(line); at != std::string::npos;
             at = log.find(line, at + line.size()))
            ++n;
        return n;
    }

    void SetBusy(bool busy) { AppTestAccess::SetBusy(*app, busy); }

    void ClearDialogs() {
        dialogs.messages.clear();
        dialogs.beeps.clear();
        dialogs.fileDialogs.clear();
    }
};

}  // namespace testing
}  // namespace quor::app
