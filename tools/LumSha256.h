#pragma once
// SHA-256 (FIPS 180-4), for the build identity.

#include <array>
#include <cstdint>
#include <span>

class TSha256 {
  public:
    TSha256();
    void Update(std::span<const std::uint8_t> data);
    std::array<std::uint8_t, 32> Final();

  private:
    void Block(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> buffer_{};
    size_t buffered_ = 0;
    std::uint64_t length_ = 0;
};
