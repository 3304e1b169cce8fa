#include "sim/bsl/SimFlash.h"

namespace quor::sim {

void SimFlash::Preload(std::uint32_t address, const std::vector<std::uint8_t>& data) {
    for (std::size_t i = 0; i < data.size() && address + i < kSize; ++i) bytes_[address + i] = data[i];
}

void SimFlash::Erase(std::uint32_t from, std::uint32_t to) {
    for (std::uint32_t a = from; a < to && a < kSize; ++a) bytes_[a] = kErased;
}

bool SimFlash::Program(std::uint32_t address, std::uint8_t value) {
    if (address >= kSize) return false;
    const bool wasErased = bytes_[address] == kErased;
    bytes_[address] = static_cast<std::uint8_t>(bytes_[address] & value);
    return wasErased;
}

}  // namespace quor::sim
