// The logger's reply rules on any answer: values are found inside the
// answer, copied whole up to their line end and never past their field,
// and a version line's numbers are the line's own and in range.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "logger/ReplyRules.h"

using namespace quor;

namespace {

constexpr std::size_t kFieldChars = 20;

void CheckTextValue(const std::string& answer, bool afterCr) {
    char out[kFieldChars + 2];
    out[kFieldChars + 1] = '#';  // a byte past the field, which must stay
    const ResultCode r = ReadTextValue(answer.c_str(), afterCr, out, kFieldChars);
    FUZZ_CHECK(out[kFieldChars + 1] == '#', "the value ran past its field");
    FUZZ_CHECK(r == 1 || r == rc::kEmptyPrompt || r == rc::kUnreadableAnswer, "result %d", r);
    const std::size_t n = std::strlen(out);
    FUZZ_CHECK(n <= kFieldChars, "a value of %zu characters", n);
    FUZZ_CHECK((r == 1) == (n > 0), "result %d with a value of %zu characters", r, n);
    if (r != 1) return;
    FUZZ_CHECK(!std::strchr(out, '\r') && !std::strchr(out, '\n'), "a line end in the value");
    // The value is a piece of the answer, which ends at a line end or the end.
    const char* at = std::strstr(answer.c_str(), out);
    FUZZ_CHECK(at != nullptr, "value \"%s\" is not in the answer", out);
}

}  // namespace

void FuzzOne(const std::uint8_t* data, std::size_t size) {
    const std::string answer = fuzz::AsText(data, size);
    const char* text = answer.c_str();
    const char* last = text + answer.size();

    const ReplyVerdict v = JudgeReply(text, "get -name\r");
    FUZZ_CHECK(v != ReplyVerdict::kAccepted || !std::strstr(text, "ERROR"), "an ERROR answer accepted");
    (void)IsEmptyPromptReply(text);

    for (bool afterCr : {false, true}) {
        const char* start = ValueStart(text, afterCr);
        FUZZ_CHECK(start >= text && start <= last, "value start outside the answer");
        CheckTextValue(answer, afterCr);
    }
    const char* radio = RadioValueStart(text);
    FUZZ_CHECK(radio >= text && radio <= last, "radio value start outside the answer");

    const ResultCode name = CheckDeviceName(text);
    FUZZ_CHECK(name == 1 || (name <= -50 && name >= -56), "name check %d", name);
    if (name == 1) FUZZ_CHECK(answer.size() >= 1 && answer.size() <= 8, "a name of %zu accepted", answer.size());

    // Numbers are read only within their range.
    constexpr range::IntRange kSmall{-90, 1000};
    std::int32_t values[8] = {};
    const int found = ReadIntegers(text, values, 8, kSmall);
    FUZZ_CHECK(found >= 0 && found <= 8, "%d integers", found);
    for (int i = 0; i < found; ++i) FUZZ_CHECK(kSmall.Holds(values[i]), "integer %d read as %d", i, values[i]);
    std::int32_t one = 7777;
    if (ReadInt(text, kSmall, &one)) FUZZ_CHECK(kSmall.Holds(one), "integer read as %d", one);
    else FUZZ_CHECK(one == 7777, "a refused integer changed the value");
    double real = 0;
    if (ReadReal(text, 90.0, &real)) FUZZ_CHECK(WithinLimit(real, 90.0) && real >= -90 && real <= 90, "real %g", real);
    std::int32_t number = -7;
    if (ParseVersionNumber(text, &number)) FUZZ_CHECK(number >= 0, "version number %d", number);

    char word[kFamilyWordSize];
    std::int32_t version = -7;
    if (ParseVersionLine(text, word, &version)) {
        FUZZ_CHECK(std::strlen(word) < kFamilyWordSize, "family word too long");
        const fuzz::VersionForm form = fuzz::ReadVersionForm(answer);
        FUZZ_CHECK(form.valid, "\"%s\" has no readable version but gave %d", text, version);
        FUZZ_CHECK(version == form.version && version >= 0, "version %d, the line says %lld", version,
                   form.version);
        for (const char* p = word; *p; ++p)
            FUZZ_CHECK(!std::islower(static_cast<unsigned char>(*p)), "family word not upper case");
        const LoggerKind kind = KindFromCode(word);
        FUZZ_CHECK(kind >= kKindUnknown && kind <= kKindZRL2, "kind %d", kind);
        (void)CapabilitiesFor(kind, true, version);
    }
    (void)IsHexDigits(text, answer.size() < 8 ? answer.size() : 8);
}

QUOR_FUZZ_TARGET(FuzzOne)
