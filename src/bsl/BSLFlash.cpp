// Flash programming through the loader: information memory and code flash
// erase, the image upload and the vectors.
#include <cstdio>

#include "bsl/QuorBSLHost.h"

namespace quor {

namespace {
constexpr std::uint32_t kBytesPerBlock = QuorBSLHost::kUploadBlockChars / 2;
constexpr std::uint32_t kMsPerSecond = 1000;
}  // namespace

bool QuorBSLHost::Progress(std::uint32_t total, std::uint32_t done, int phase, char kind) {
    if (!showProgress_ || !progress_) return true;
    return progress_(total, done, phase, kind);
}

// One exchange under the retry rule: up to tries attempts, a pause between.
ResultCode QuorBSLHost::Exchange(char letter, const char* payload, std::uint32_t length, char terminator) {
    ResultCode r = rc::kNoAnswerLastAttempt;
    char reply[kBSLReplyBufferSize];
    for (std::uint32_t attempt = 0; attempt < tries_; ++attempt) {
        if (attempt > 0) DSSleep(kRetryPauseMs);
        std::uint32_t ms = 0;
        r = BSLCommand(letter, payload, length, terminator, reply, &ms);
        if (r > 0) break;
    }
    return r;
}

ResultCode QuorBSLHost::ExchangeValues(char letter, const std::uint32_t* values, std::uint32_t count,
                                       char terminator, bool fiveDigits) {
    ResultCode r = rc::kNoAnswerLastAttempt;
    char reply[kBSLReplyBufferSize];
    for (std::uint32_t attempt = 0; attempt < tries_; ++attempt) {
        if (attempt > 0) DSSleep(kRetryPauseMs);
        std::uint32_t ms = 0;
        r = BSLCommand(letter, values, count, terminator, reply, &ms, fiveDigits);
        if (r > 0) break;
    }
    return r;
}

ResultCode QuorBSLHost::BSLEraseINFO(std::uint32_t start, std::uint32_t count, std::uint32_t size,
                                     bool fiveDigits) {
    const std::uint32_t t0 = DSMilliseconds();
    ResultCode result = 0;
    std::uint32_t address = start;
    for (std::uint32_t i = 0; i < count; ++i) {
        result = ExchangeValues('X', &address, 1, '\r', fiveDigits);
        if (result < 0) break;
        address += size;
    }
    const long ms = static_cast<long>(DSMilliseconds() - t0);
    if (result < 0) {
        LogBSL(QuorLog::kLevelFailure, "BSLEraseINFO failed with error %d (%ld ms)", result, ms);
    } else {
        LogBSL(QuorLog::kLevelMilestone, "BSLEraseINFO successful: %d segments @ %X (%ld ms)",
               static_cast<int>(count), static_cast<unsigned>(start + count * size), ms);
    }
    return result;
}

ResultCode QuorBSLHost::BSLEraseFlash(std::uint32_t from, std::uint32_t to, bool fiveDigits) {
    const std::uint32_t t0 = DSMilliseconds();
    if (from >= kLoaderAreaFirst && from <= kLoaderAreaLast) return rc::kOutOfRange;
    const std::uint32_t total = to > from ? (to - from) / kFlashSegmentBytes : 0;
    ResultCode result = 0;
    std::uint32_t address = from;
    std::uint32_t erased = 0;
    while (address < to) {
        if (erased % kEraseProgressEverySegments == 0 &&
            !Progress(total, (address - from) / kFlashSegmentBytes, 1, 'X')) {
            result = rc::kCancelled;
            break;
        }
        ++erased;
        result = ExchangeValues('X', &address, 1, '\r', fiveDigits);
        if (result < 0) break;
        // The loader and the vectors live in 0xFA00-0xFFFF: never erased here.
        address = NextEraseAddress(address);
    }
    Progress(total, total, 2, 'X');
    const long s = static_cast<long>((DSMilliseconds() - t0) / kMsPerSecond);
    if (result < 0) {
        LogBSL(QuorLog::kLevelFailure, "BSLEraseFlash failed with error %d (%ld s)", result, s);
    } else {
        LogBSL(QuorLog::kLevelMilestone, "BSLEraseFlash successful: segment %X to %X (%ld s)",
               static_cast<unsigned>(from), static_cast<unsigned>(to), s);
    }
    return result;
}

ResultCode QuorBSLHost::BSLSendAddress(std::uint32_t address, bool fiveDigits) {
    char payload[12];
    int n = fiveDigits ? std::snprintf(payload, sizeof payload, "%05X", static_cast<unsigned>(address))
                       : std::snprintf(payload, sizeof payload, "%04X", static_cast<unsigned>(address));
    ResultCode result = Exchange('@', payload, static_cast<std::uint32_t>(n), '\r');
    if (result < 0) {
        LogBSL(QuorLog::kLevelFailure, "BSLSendAddress (%05X) failed with error %d", static_cast<unsigned>(address),
               result);
    } else {
        LogBSL(QuorLog::kLevelMilestone, "BSLSendAddress (%05X) successful", static_cast<unsigned>(address));
    }
    return result;
}

// Sends the pending block; a failed attempt is repeated after re-sending
// the block's address, since the loader may have moved on.
ResultCode QuorBSLHost::SendBlock(std::uint32_t address, std::uint32_t length, bool fiveDigits) {
    ResultCode r = rc::kNoAnswerLastAttempt;
    char reply[kBSLReplyBufferSize];
    for (std::uint32_t attempt = 0; attempt < tries_; ++attempt) {
        if (attempt > 0) {
            DSSleep(kRetryPauseMs);
            ResultCode a = BSLSendAddress(address, fiveDigits);
            if (a < 0) return a;
        }
        std::uint32_t ms = 0;
        r = BSLCommand('W', replyBuffer_.get(), length, '\r', reply, &ms);
        if (r > 0) return r;
    }
    return r;
}

ResultCode QuorBSLHost::BSLSendFirmware(bool fiveDigits) {
    const std::uint32_t t0 = DSMilliseconds();
    const char* text = image_.text.get();
    if (!text) return rc::kMissingArgument;
    if (text[0] != '@') return rc::kOutOfRange;
    if (!replyBuffer_) return rc::kOutOfMemory;
    char* block = replyBuffer_.get();
    const std::uint32_t length = image_.textLength;
    // No address is ever cut to fit the digits, and nothing goes into the
    // loader area: such an image is refused before its first frame.
    const ImageFitReport layout = CheckImageLayout(text, length, fiveDigits);
    if (layout.result < 0) {
        LogBSL(QuorLog::kLevelFailure, "BSLSendFirmware refused the image: section @%05X (%u bytes) %s",
               static_cast<unsigned>(layout.address), static_cast<unsigned>(layout.bytes), layout.reason);
        return layout.result;
    }

    ResultCode result = rc::kOk;
    std::uint32_t pos = 0;
    std::uint32_t blockLength = 0;
    std::uint32_t blockAddress = 0;
    while (pos < length && result >= 0) {
        if (pos % kUploadProgressEveryChars == 0 && !Progress(length, pos, 1, 'W')) {
            result = rc::kCancelled;
            break;
        }
        if (text[pos] == '@') {
            if (blockLength > 0) {
                result = SendBlock(blockAddress, blockLength, fiveDigits);
                blockLength = 0;
                if (result < 0) break;
            }
            // The layout check holds every address within the digits.
            std::uint32_t address = 0;
            for (std::uint32_t i = 1; i < kImageHeaderChars; ++i) {
                char c = text[pos + i];
                unsigned v = (c >= '0' && c <= '9') ? static_cast<unsigned>(c - '0')
                             : (c >= 'a' && c <= 'f') ? static_cast<unsigned>(c - 'a' + 10)
                                                      : static_cast<unsigned>(c - 'A' + 10);
                address = (address << 4) | (v & 0xF);
            }
            pos += kImageHeaderChars;
            result = BSLSendAddress(address, fiveDigits);
            if (result < 0) break;
            blockAddress = address;
            continue;
        }
        block[blockLength++] = text[pos++];
        if (blockLength == kUploadBlockChars) {
            result = SendBlock(blockAddress, blockLength, fiveDigits);
            blockAddress += kBytesPerBlock;
            blockLength = 0;
        }
    }
    if (blockLength > 0 && result > 0) result = SendBlock(blockAddress, blockLength, fiveDigits);
    Progress(length, length, 2, 'W');
    const int s = static_cast<int>((DSMilliseconds() - t0) / kMsPerSecond);
    if (result < 0) {
        LogBSL(QuorLog::kLevelFailure, "BSLSendFirmware failed with error %d (%d s)", result, s);
    } else {
        LogBSL(QuorLog::kLevelMilestone, "BSLSendFirmware successful (%d s)", s);
    }
    return result;
}

ResultCode QuorBSLHost::BSLSendVectors() {
    DSSleep(kVectorsPauseMs);
    ResultCode result = ExchangeValues('V', image_.vectors, kVectorCount, '+', false);
    if (result < 0) {
        LogBSL(QuorLog::kLevelFailure, "BSLSendVectors failed with error %d", result);
    } else {
        LogBSL(QuorLog::kLevelMilestone, "BSLSendVectors successful");
    }
    return result;
}

ResultCode QuorBSLHost::BSLCheckImage(const LoaderMemoryMap& map) {
    const ImageFitReport fit = CheckImageFits(image_.text.get(), image_.textLength, map);
    if (fit.result < 0) {
        LogBSL(QuorLog::kLevelFailure, "BSLCheckImage refused image %s: section @%05X (%u bytes) %s (error %d)",
               image_.label.c_str(), static_cast<unsigned>(fit.address), static_cast<unsigned>(fit.bytes),
               fit.reason, fit.result);
        return fit.result;
    }
    LogBSL(QuorLog::kLevelDetail, "BSLCheckImage: image %s fits flash %X to %X", image_.label.c_str(),
           static_cast<unsigned>(map.flashStart), static_cast<unsigned>(map.flashEnd));
    return rc::kOk;
}

ResultCode QuorBSLHost::BSLProgramImage(const LoaderMemoryMap& map) {
    const bool five = map.loaderOption;
    ResultCode r = BSLCheckImage(map);
    if (r >= 0) r = BSLEraseINFO(map.infoStart, map.infoSegments, map.infoSegmentSize, five);
    if (r >= 0) r = BSLEraseFlash(map.flashStart, map.flashEnd, five);
    if (r >= 0) r = BSLSendFirmware(five);
    if (r >= 0) r = BSLSendVectors();
    return r;
}

}  // namespace quor
