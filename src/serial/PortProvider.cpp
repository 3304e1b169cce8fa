#include "serial/PortDriver.h"

namespace quor {

namespace {
PortProvider* gProvider = nullptr;
}

PortProvider& CurrentPortProvider() { return gProvider ? *gProvider : PosixPortProvider(); }

ScopedPortProvider::ScopedPortProvider(PortProvider& provider) : previous_(gProvider) { gProvider = &provider; }
ScopedPortProvider::~ScopedPortProvider() { gProvider = previous_; }

}  // namespace quor
