#include "instrument/Quor_protocol.h"

#include <cstdarg>

namespace quor {

Quor_protocol::Quor_protocol(QuorLog* log)
    : logger_(std::make_unique<AQVEN_Protocol>(log)),
      sdi12_(std::make_unique<QuorSDI12>(log, *logger_)),
      log_(log) {}

// Members release in reverse order: the records, then the bridge before the
// logger protocol whose port it borrows.
Quor_protocol::~Quor_protocol() = default;

void Quor_protocol::Log(std::uint32_t level, const char* format, ...) const {
    if (!log_) return;
    va_list ap;
    va_start(ap, format);
    log_->WriteLineV(level, kTag, format, ap);
    va_end(ap);
}

void Quor_protocol::AdoptDevice(const DeviceTypeInfo& record) {
    deviceType_ = record.type;
    deviceInfo_ = record;
}

}  // namespace quor
