#include "serial/CommPortEnum.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

namespace quor {

namespace fs = std::filesystem;

namespace {

constexpr const char* kBusyMark = " (busy)";
constexpr const char* kPlainPortFormat = "%s Communications Port";
constexpr const char* kPlainBusyPortFormat = "%s Communications Port (busy)";
constexpr const char* kProbedPortPrefix = "ttyS";

// The maker's USB adapter and the names it is shown with.
constexpr const char* kMakerAdapterProductMark = "Karvell USB";
constexpr unsigned long kMakerAdapterProductId = 0x8414;
constexpr const char* kMakerAdapterSerialMark = "KARVELL_QLA";
constexpr const char* kMakerAdapterName = "Karvell QLA";
// Radio-modem adapters are shown as the maker's radio module.
constexpr const char* kRadioModemMarks[] = {"MaxStream PKG-U", "Digi PKG-U"};
constexpr const char* kRadioModuleName = "Karvell USB Zt4";

// Longest attribute text taken from sysfs, as the system's friendly names.
constexpr std::size_t kMaxAttributeChars = 64;
// Serial-core ports report "type" 0 when no UART answered at their address.
constexpr long kNoUartType = 0;

// Splits "ttyUSB12" into "ttyUSB" and "12"; false without either part.
bool SplitName(std::string_view name, std::string_view& prefix, std::string_view& digits) {
    std::size_t end = name.size();
    std::size_t start = end;
    while (start > 0 && std::isdigit(static_cast<unsigned char>(name[start - 1]))) --start;
    prefix = name.substr(0, start);
    digits = name.substr(start);
    return !prefix.empty() && !digits.empty();
}

// Compares decimal digit strings by value without converting them.
int CompareNumbers(std::string_view a, std::string_view b) {
    auto strip = [](std::string_view s) {
        while (s.size() > 1 && s[0] == '0') s.remove_prefix(1);
        return s;
    };
    a = strip(a);
    b = strip(b);
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::string();
    std::string text(kMaxAttributeChars, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    std::size_t cut = text.find_first_of("\r\n");
    if (cut != std::string::npos) text.resize(cut);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    return text;
}

bool Contains(const std::string& text, const char* mark) { return text.find(mark) != std::string::npos; }

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool IsInside(const fs::path& path, const fs::path& root) {
    auto r = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
    return r.first == root.end() && r.second != path.end();
}

// The USB device that a tty sits on: the nearest folder above the tty's
// device that has an idProduct. Empty for ports that are not on USB.
fs::path UsbDeviceFolder(const fs::path& root, const fs::path& ttyFolder) {
    std::error_code ec;
    fs::path dir = fs::canonical(ttyFolder / "device", ec);
    if (ec || root.empty()) return fs::path();
    for (; IsInside(dir, root) && dir != dir.parent_path(); dir = dir.parent_path()) {
        if (fs::exists(dir / "idProduct", ec)) return dir;
    }
    return fs::path();
}

struct UsbStrings {
    std::string product, manufacturer, serial, productId;
};

// The product string, with the manufacturer in front when the product does
// not already name it; empty when the device gave no product string.
std::string FriendlyName(const UsbStrings& usb) {
    if (usb.product.empty()) return std::string();
    std::string maker = usb.manufacturer.substr(0, usb.manufacturer.find(' '));
    if (maker.empty() || Contains(Upper(usb.product), Upper(maker).c_str())) return usb.product;
    return usb.manufacturer + " " + usb.product;
}

bool IsMakerAdapter(const UsbStrings& usb) {
    if (!Contains(usb.product, kMakerAdapterProductMark)) return false;
    char* end = nullptr;
    unsigned long id = std::strtoul(usb.productId.c_str(), &end, 16);
    if (usb.productId.empty() || *end != '\0' || id != kMakerAdapterProductId) return false;
    // Instance identifiers are upper case where this mark was first read.
    return Contains(Upper(usb.serial), kMakerAdapterSerialMark);
}

void Describe(PortRecord& record, const fs::path& root, const fs::path& ttyFolder) {
    const char* name = record.name.c_str();
    UsbStrings usb;
    fs::path usbFolder = UsbDeviceFolder(root, ttyFolder);
    if (!usbFolder.empty()) {
        usb.product = ReadAttribute(usbFolder / "product");
        usb.manufacturer = ReadAttribute(usbFolder / "manufacturer");
        usb.serial = ReadAttribute(usbFolder / "serial");
        usb.productId = ReadAttribute(usbFolder / "idProduct");
    }
    FixedText<kMaxAttributeChars> friendly(FriendlyName(usb));
    if (friendly.empty()) {
        record.description.Format(kPlainPortFormat, name);
        return;
    }
    record.description.Format("%s %s", name, friendly.c_str());
    if (!IsMakerAdapter(usb)) return;
    // The system's friendly name has no counterpart to write back to here:
    // sysfs strings come from the device and are read-only.
    std::size_t bracket = usb.serial.find('[');
    if (bracket != std::string::npos) {
        record.description.Format("%s %s %s", name, kMakerAdapterName, usb.serial.c_str() + bracket);
    } else {
        record.description.Format("%s %s", name, kMakerAdapterName);
    }
}

// Whether the tty class entry is a port the user could mean.
bool IsRealPort(const fs::path& ttyFolder, std::string_view name) {
    std::error_code ec;
    // rfcomm nodes exist only once bound; their link may come and go.
    bool rfcomm = name.substr(0, 6) == "rfcomm";
    if (!rfcomm && !fs::exists(ttyFolder / "device", ec)) return false;
    std::string type = ReadAttribute(ttyFolder / "type");
    if (!type.empty() && std::strtol(type.c_str(), nullptr, 10) == kNoUartType) return false;
    return true;
}

// Reads the tty class into work (at most capacity records). Returns the
// count, or -1 when the class cannot be read at all.
int FillFromSysfs(const fs::path& sysRoot, PortRecord* work, std::uint32_t capacity) {
    const fs::path classDir = sysRoot / "class" / "tty";
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(classDir.c_str()), ::closedir);
    if (!dir) return -1;
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(dir.get())) {
        std::string_view name(entry->d_name);
        std::string_view prefix, digits;
        // Longer numbers are no port numbers.
        if (!SplitName(name, prefix, digits) || digits.size() > 9) continue;
        names.emplace_back(name);
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return PortNameLess(a.c_str(), b.c_str()); });

    std::error_code ec;
    const fs::path root = fs::canonical(sysRoot, ec);
    std::uint32_t filled = 0;
    for (const std::string& name : names) {
        if (filled >= capacity) break;
        const fs::path ttyFolder = classDir / name;
        if (!IsRealPort(ttyFolder, name)) continue;
        PortRecord& record = work[filled];
        record.name = name;
        std::string_view prefix, digits;
        SplitName(name, prefix, digits);
        record.portNumber = static_cast<std::int32_t>(std::strtol(std::string(digits).c_str(), nullptr, 10));
        Describe(record, root, ttyFolder);
        ++filled;
    }
    return static_cast<int>(filled);
}

std::string DevicePath(const CommPortEnumPaths& paths, const char* name) {
    return (fs::path(paths.devDir) / name).string();
}

bool Listed(const PortRecord* list, std::uint32_t count, const char* name) {
    for (std::uint32_t i = 0; i < count; ++i) {
        if (list[i].name == name) return true;
    }
    return false;
}

// Opening failures that still mean the port is there.
bool PortExists(PortError e) { return e == kPortOk || e == kErrInUse || e == kErrPermission; }

ResultCode Enumerate(const CommPortEnumPaths& paths, PortRecord* list, std::uint32_t* count, bool forceProbing) {
    const std::uint32_t capacity = *count;
    std::unique_ptr<PortRecord[]> work(new (std::nothrow) PortRecord[capacity]);
    if (!work) return rc::kOutOfMemory;
    for (std::uint32_t i = 0; i < capacity; ++i) list[i] = PortRecord{};
    *count = 0;

    ResultCode result = 1;
    int found = FillFromSysfs(paths.sysRoot, work.get(), capacity);
    if (found < 0) {
        // Without the database, the counterpart of an old system: probe.
        forceProbing = true;
    } else {
        result = found;
    }
    // Already in natural order; the caller's list takes them as they are.
    std::uint32_t filled = found > 0 ? static_cast<std::uint32_t>(found) : 0;
    for (std::uint32_t i = 0; i < filled; ++i) list[i] = work[i];
    work.reset();

    PortProvider& provider = CurrentPortProvider();
    for (std::uint32_t i = 0; i < filled; ++i) {
        if (provider.Probe(DevicePath(paths, list[i].name.c_str()).c_str()) != kPortOk) {
            list[i].description.Append(kBusyMark);
        }
    }

    if (forceProbing) {
        for (int n = 0; n < kProbedSerialPorts && filled < capacity; ++n) {
            const std::string name = kProbedPortPrefix + std::to_string(n);
            if (Listed(list, filled, name.c_str())) continue;
            PortError e = provider.Probe(DevicePath(paths, name.c_str()).c_str());
            if (!PortExists(e)) continue;
            PortRecord& record = list[filled++];
            record.name = name;
            record.portNumber = n;
            record.description.Format(e == kPortOk ? kPlainPortFormat : kPlainBusyPortFormat, name.c_str());
            result = 1;
        }
    }

    for (std::uint32_t i = 0; i < filled; ++i) {
        const std::string description = list[i].description.str();
        if (Contains(description, kMakerAdapterName)) continue;
        for (const char* mark : kRadioModemMarks) {
            if (Contains(description, mark)) {
                list[i].description.Format("%s %s", list[i].name.c_str(), kRadioModuleName);
                break;
            }
        }
    }
    *count = filled;
    return result;
}

}  // namespace

bool PortNameLess(const char* a, const char* b) {
    std::string_view pa, da, pb, db;
    SplitName(a, pa, da);
    SplitName(b, pb, db);
    if (pa != pb) return pa < pb;
    if (int c = CompareNumbers(da, db)) return c < 0;
    return std::strcmp(a, b) < 0;
}

ResultCode CommPortEnumIn(const CommPortEnumPaths& paths, PortRecord* list, std::uint32_t* count,
                          bool forceProbing) {
    if (!list || !count) return rc::kMissingArgument;
    if (*count == 0) return rc::kOutOfRange;
    try {
        return Enumerate(paths, list, count, forceProbing);
    } catch (const std::bad_alloc&) {
        return rc::kOutOfMemory;
    }
}

ResultCode QuorSerial::CommPortEnum(PortRecord* list, std::uint32_t* count, bool forceProbing) {
    return CommPortEnumIn(CommPortEnumPaths{}, list, count, forceProbing);
}

}  // namespace quor
