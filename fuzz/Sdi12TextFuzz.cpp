// The SDI-12 bridge's readings of sensor replies. A value is read whole or
// not at all (a serial number that does not fit its field is no serial
// number), a sensor type is a byte, the "-1" repair changes nothing but
// whole "-1" entries, and a converted old calibration holds six finite
// numbers.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "sdi12/Sdi12Text.h"

using namespace quor;
using namespace quor::sdi12;

namespace {

bool Blank(char c) { return fuzz::Space(c); }

void CheckRepair(std::string_view reply) {
    std::string text(reply);
    const bool changed = RepairMinusOneEntries(text);
    FUZZ_CHECK(text.size() == reply.size(), "the repair changed the length");
    bool differs = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == reply[i]) continue;
        differs = true;
        // Only a whole "-1" entry becomes "+0".
        const bool first = i + 1 < text.size() && reply.substr(i, 2) == "-1" && text.substr(i, 2) == "+0";
        const bool whole = first && (i == 0 || Blank(reply[i - 1])) && (i + 2 == reply.size() || Blank(reply[i + 2]));
        FUZZ_CHECK(whole, "the repair changed offset %zu", i);
        ++i;
    }
    FUZZ_CHECK(changed == differs, "the repair reports %d", changed);
}

void CheckOldCalibration(std::string_view reply) {
    CalibrationText out = "unchanged";
    if (!ConvertOldCalibration(reply, out)) {
        FUZZ_CHECK(out == "unchanged", "a refused conversion touched the output");
        return;
    }
    const char* p = out.c_str();
    for (int k = 0; k < 6; ++k) {
        char* end = nullptr;
        const double v = std::strtod(p, &end);
        FUZZ_CHECK(end != p, "value %d of \"%s\" is missing", k, out.c_str());
        FUZZ_CHECK(std::isfinite(v), "value %d of \"%s\" is not finite", k, out.c_str());
        p = end;
    }
}

}  // namespace

void FuzzOne(const std::uint8_t* data, std::size_t size) {
    const std::string_view reply(reinterpret_cast<const char*>(data), size);

    const std::string_view text = ReplyText(reply);
    FUZZ_CHECK(text.data() >= reply.data() && text.data() + text.size() <= reply.data() + reply.size(),
               "the reply text lies outside the reply");
    FUZZ_CHECK(text.find('\r') == std::string_view::npos, "a carriage return in the reply text");

    const IdentityReading id = ParseIdentification(reply);
    FUZZ_CHECK(id.identification.size() <= kIdentificationChars, "identification too long");
    FUZZ_CHECK(id.version <= 999, "identification version %u of three digits", id.version);
    (void)TypeFromIdentification(id.identification.view());

    SerialNumber serial = "untouched";
    const FieldRead sn = ParseSerialNumber(reply, serial);
    if (sn == FieldRead::kRead) {
        FUZZ_CHECK(!serial.empty(), "an empty serial number read");
        FUZZ_CHECK(serial.view() == text, "serial number \"%s\" is not the reply's \"%.*s\"", serial.c_str(),
                   static_cast<int>(text.size()), text.data());
        FUZZ_CHECK(IsSendableText(serial.view()), "serial number \"%s\" cannot be sent back", serial.c_str());
    } else {
        FUZZ_CHECK(serial == "untouched", "a serial number not read changed the field");
    }

    // An answer taken for a command begins with a sensor address and ends.
    for (const char* command : {"0I!", "?!", "0X#!", "?X8!"}) {
        if (ReplyBelongs(command, reply, '\0'))
            FUZZ_CHECK(!reply.empty() && IsAddress(reply[0]) && reply.find('\r') != std::string_view::npos,
                       "a reply taken for %s without an address or its end", command);
    }

    const TypeReading type = ParseSensorType(reply);
    FUZZ_CHECK(type.type >= 0 && type.type <= 255, "type %d", type.type);
    if (type.known && type.numeric) FUZZ_CHECK(type.type >= 1 && type.type <= 254, "type number %d", type.type);
    if (type.known && type.numeric) {
        const std::string_view digits = text.substr(0, 3);
        std::uint32_t n = 0;
        for (std::size_t i = 0; i < digits.size() && fuzz::Digit(digits[i]); ++i) n = n * 10 + (digits[i] - '0');
        FUZZ_CHECK(static_cast<std::uint32_t>(type.type) == n, "type %d read from %u", type.type, n);
    }
    if (const Family* family = FindFamily(type.type)) (void)IsFamilyMember(*family, type.type);

    const WriteVerdict verdict = JudgeWriteReply(reply);
    if (reply.find("OK") == std::string_view::npos)
        FUZZ_CHECK(verdict != WriteVerdict::kAccepted, "a write without OK confirmed");

    CheckRepair(reply);
    CheckOldCalibration(reply);

    for (int t : {'z', 'y', 'w', 'u', 't'}) {
        const XaChoice choice = ChooseXaReply(t, 350, reply, true);
        if (!choice.defaulted) FUZZ_CHECK(choice.reply == reply, "a reported calibration was changed");
    }
}

QUOR_FUZZ_TARGET(FuzzOne)
