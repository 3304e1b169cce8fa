#include "bsl/ImageFit.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <new>

#include "bsl/FirmwareImage.h"

namespace quor {

namespace {

constexpr std::uint32_t kHexDigitsPerWord = 4;
constexpr std::uint32_t kBytesPerWord = 2;
// The code flash erase gives at most one piece below the loader area and
// one above; the information memory one more.
constexpr std::size_t kMaxClearedRanges = 4;

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// The sections of an image text as address ranges (tag: the start
// address). False when the text is not "@" + five hex digits followed by
// whole four-digit words, section after section.
bool ReadSections(const char* text, std::uint32_t length, AddressRange* out, std::size_t& count) {
    count = 0;
    std::uint32_t i = 0;
    while (i < length) {
        if (text[i] != '@' || length - i < kImageHeaderChars) return false;
        std::uint32_t address = 0;
        for (std::uint32_t k = 1; k < kImageHeaderChars; ++k) {
            const char c = text[i + k];
            if (!IsHex(c)) return false;
            const std::uint32_t v = (c <= '9') ? static_cast<std::uint32_t>(c - '0')
                                               : static_cast<std::uint32_t>((c | 0x20) - 'a' + 10);
            address = (address << 4) | v;
        }
        i += kImageHeaderChars;
        std::uint32_t digits = 0;
        while (i < length && text[i] != '@') {
            if (!IsHex(text[i])) return false;
            ++digits;
            ++i;
        }
        if (digits % kHexDigitsPerWord != 0) return false;
        out[count++] = {address, address + digits / kHexDigitsPerWord * kBytesPerWord, address};
    }
    return true;
}

std::size_t CountSections(const char* text, std::uint32_t length) {
    return static_cast<std::size_t>(std::count(text, text + length, '@'));
}

ImageFitReport Refuse(ResultCode result, const AddressRange& section, const char* reason) {
    return {result, section.first, section.end - section.first, reason};
}

// Adds [first, end) to ranges, merged with the last one where they meet.
void AddCleared(AddressRange* ranges, std::size_t& count, std::uint64_t first, std::uint64_t end) {
    if (first >= end) return;
    if (count > 0 && first <= ranges[count - 1].end) {
        if (end > ranges[count - 1].end) ranges[count - 1].end = static_cast<std::uint32_t>(end);
        return;
    }
    if (count < kMaxClearedRanges) {
        ranges[count++] = {static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(end), 0};
    }
}

// What the erase steps of an update clear on this device. Each "X" clears
// the segment that holds its address: the information segments one by
// one, and the 512-byte code segments, of which only flashStart..flashEnd
// counts as code flash.
std::size_t ClearedRanges(const LoaderMemoryMap& map, AddressRange* ranges) {
    const std::uint64_t addressEnd = map.loaderOption ? kFiveDigitAddressEnd : kFourDigitAddressEnd;
    std::size_t count = 0;
    const std::uint64_t flashFirst = map.flashStart;
    const std::uint64_t flashEnd = std::min<std::uint64_t>(std::uint64_t{map.flashEnd} + 1, addressEnd);
    // The erase refuses to start inside the loader area: nothing is cleared.
    const bool eraseRuns = map.flashStart < kLoaderAreaStart || map.flashStart >= kProtectedAreaEnd;
    for (std::uint32_t a = map.flashStart; eraseRuns && a < map.flashEnd && a < addressEnd;
         a = NextEraseAddress(a)) {
        std::uint64_t first = std::max<std::uint64_t>(a & ~(kFlashSegmentSize - 1), flashFirst);
        std::uint64_t end = std::min<std::uint64_t>((a & ~(kFlashSegmentSize - 1)) + kFlashSegmentSize, flashEnd);
        if (first < kProtectedAreaEnd && end > kLoaderAreaStart) end = kLoaderAreaStart;
        AddCleared(ranges, count, first, end);
    }
    const std::uint64_t infoEnd =
        std::min<std::uint64_t>(map.infoStart + std::uint64_t{map.infoSegments} * map.infoSegmentSize, addressEnd);
    const bool infoApart = map.infoStart >= kProtectedAreaEnd || infoEnd <= kLoaderAreaStart;
    if (infoApart && infoEnd > map.infoStart && count < kMaxClearedRanges) {
        ranges[count++] = {map.infoStart, static_cast<std::uint32_t>(infoEnd), 0};
    }
    // A handful of ranges: sorted by insertion.
    for (std::size_t i = 1; i < count; ++i) {
        for (std::size_t k = i; k > 0 && ranges[k].first < ranges[k - 1].first; --k) std::swap(ranges[k], ranges[k - 1]);
    }
    std::size_t merged = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (merged > 0 && ranges[i].first <= ranges[merged - 1].end) {
            ranges[merged - 1].end = std::max(ranges[merged - 1].end, ranges[i].end);
        } else {
            ranges[merged++] = ranges[i];
        }
    }
    return merged;
}

// The layout check on sections already read.
ImageFitReport CheckSections(AddressRange* sections, std::size_t count, bool fiveDigits) {
    const std::uint32_t addressEnd = fiveDigits ? kFiveDigitAddressEnd : kFourDigitAddressEnd;
    for (std::size_t i = 0; i < count; ++i) {
        const AddressRange& s = sections[i];
        // Even an empty section's address goes out.
        if (s.first >= addressEnd || s.end > addressEnd) {
            return Refuse(rc::kImageDoesNotFit, s,
                          fiveDigits ? "runs past 0xFFFFF" : "needs five-digit addresses, the device takes four");
        }
        if (s.end > s.first && s.first < kProtectedAreaEnd && s.end > kLoaderAreaStart) {
            return Refuse(rc::kImageDoesNotFit, s, "touches the loader area or the vector table");
        }
    }
    AddressRange a;
    AddressRange b;
    if (FindOverlap(sections, count, a, b)) {
        return Refuse(rc::kImageDoesNotFit, b, "overlaps another section");
    }
    return {};
}

struct SectionList {
    std::unique_ptr<AddressRange[]> items;
    std::size_t count = 0;
};

ImageFitReport ReadImage(const char* text, std::uint32_t length, SectionList& out) {
    if (!text) return {rc::kOutOfRange, 0, 0, "there is no image text"};
    out.items.reset(new (std::nothrow) AddressRange[CountSections(text, length) + 1]);
    if (!out.items) return {rc::kOutOfMemory, 0, 0, "no memory for the check"};
    if (!ReadSections(text, length, out.items.get(), out.count)) {
        return {rc::kOutOfRange, 0, 0, "the image text is malformed"};
    }
    return {};
}

}  // namespace

std::uint32_t NextEraseAddress(std::uint32_t address) {
    address += kFlashSegmentSize;
    if (address >= kLoaderAreaStart && address < kProtectedAreaEnd) address = kProtectedAreaEnd;
    return address;
}

bool FindOverlap(AddressRange* ranges, std::size_t count, AddressRange& a, AddressRange& b) {
    std::sort(ranges, ranges + count, [](const AddressRange& x, const AddressRange& y) {
        return x.first != y.first ? x.first < y.first : x.end < y.end;
    });
    // The range reaching furthest so far: any later start below its end
    // shares an address with it. Empty ranges hold no address.
    const AddressRange* reach = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        if (ranges[i].end <= ranges[i].first) continue;
        if (reach && ranges[i].first < reach->end) {
            a = *reach;
            b = ranges[i];
            return true;
        }
        if (!reach || ranges[i].end > reach->end) reach = &ranges[i];
    }
    return false;
}

ImageFitReport CheckImageLayout(const char* text, std::uint32_t length, bool fiveDigits) {
    SectionList sections;
    ImageFitReport read = ReadImage(text, length, sections);
    if (read.result < 0) return read;
    return CheckSections(sections.items.get(), sections.count, fiveDigits);
}

ImageFitReport CheckImageFits(const char* text, std::uint32_t length, const LoaderMemoryMap& map) {
    SectionList list;
    ImageFitReport layout = ReadImage(text, length, list);
    if (layout.result >= 0) layout = CheckSections(list.items.get(), list.count, map.loaderOption);
    if (layout.result < 0) return layout;
    const AddressRange* sections = list.items.get();
    const std::size_t count = list.count;

    AddressRange cleared[kMaxClearedRanges];
    const std::size_t clearedCount = ClearedRanges(map, cleared);
    bool code = false;
    for (std::size_t i = 0; i < count; ++i) {
        const AddressRange& s = sections[i];
        if (s.end == s.first) continue;
        code = true;
        bool inside = false;
        for (std::size_t k = 0; k < clearedCount && !inside; ++k) {
            inside = cleared[k].first <= s.first && s.end <= cleared[k].end;
        }
        if (!inside) return Refuse(rc::kImageDoesNotFit, s, "lies outside the device's flash");
    }
    if (!code) return {rc::kImageDoesNotFit, 0, 0, "the image holds no code"};
    return {};
}

}  // namespace quor
