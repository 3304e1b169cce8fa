#pragma once
// The flash memory of a simulated device: 1 MiB that reads 0xFF where
// erased. Programming can only clear bits, as in real flash; the loader
// model decides what counts as a violation.

#include <cstdint>
#include <vector>

namespace quor::sim {

class SimFlash {
public:
    static constexpr std::uint32_t kSize = 1u << 20;
    static constexpr std::uint8_t kErased = 0xFF;

    SimFlash() : bytes_(kSize, kErased) {}

    std::uint8_t Read(std::uint32_t address) const { return address < kSize ? bytes_[address] : kErased; }
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

    // Sets cells as they were before the test (old firmware, the loader's
    // own code); no checks.
    void Preload(std::uint32_t address, const std::vector<std::uint8_t>& data);
    // Erases [from, to) back to 0xFF.
    void Erase(std::uint32_t from, std::uint32_t to);
    // Programs one cell: the result is old AND value. Returns whether the
    // cell was erased before.
    bool Program(std::uint32_t address, std::uint8_t value);

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace quor::sim
