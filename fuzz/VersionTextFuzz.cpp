// The device's version text ("RV70 2.07") as the device type table reads
// it. An accepted text names a known code and a version whose numbers are
// in range and are the text's own; a refused one leaves the record alone.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "device/DeviceType.h"

using namespace quor;

void FuzzOne(const std::uint8_t* data, std::size_t size) {
    const std::string text = fuzz::AsText(data, size);

    DeviceTypeInfo sentinel;
    sentinel.name = "untouched";
    sentinel.firmwareVersion = 12345;
    DeviceTypeInfo record = sentinel;
    const ResultCode r = ParseVersionText(text.c_str(), &record);
    FUZZ_CHECK(r == 1 || r == -10 || r == -30, "result %d", r);

    const bool untouched = record.name == sentinel.name.c_str() && record.firmwareVersion == 12345;
    if (r == -10) {
        FUZZ_CHECK(text.empty() && untouched, "a text was refused as missing");
        return;
    }
    if (r == -30 && untouched) return;

    // The record was rebuilt: it keeps the text (cut to its field) and
    // describes a row of the table.
    FUZZ_CHECK(std::strncmp(record.versionText.c_str(), text.c_str(), 21) == 0 &&
                   record.versionText.size() == (text.size() < 21 ? text.size() : 21),
               "version text \"%s\" is not the device's", record.versionText.c_str());
    const int type = static_cast<int>(record.type);
    FUZZ_CHECK(type >= 0 && type < kDeviceTypeRowCount, "type %d", type);
    FUZZ_CHECK(record.firmwareVersion >= 0, "negative version %d", record.firmwareVersion);

    if (!std::strchr(text.c_str(), '.')) {
        FUZZ_CHECK(r == 1 && record.type == DeviceType::kUnknown && record.firmwareVersion == 0,
                   "a text without a point");
        return;
    }
    const fuzz::VersionForm form = fuzz::ReadVersionForm(text);
    FUZZ_CHECK(form.valid, "\"%s\" has no readable version but gave %d (result %d)", text.c_str(),
               record.firmwareVersion, r);
    FUZZ_CHECK(record.firmwareVersion == form.version, "version %d, the text says %lld",
               record.firmwareVersion, form.version);
    if (r == 1) {
        std::string upper = form.code;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        FUZZ_CHECK(type >= 1 && upper == DeviceTypeCode(record.type), "code %s gave type %d",
                   form.code.c_str(), type);
    } else {
        FUZZ_CHECK(record.type == DeviceType::kUnknown, "an unknown code gave type %d", type);
    }
}

QUOR_FUZZ_TARGET(FuzzOne)
