// Prices and sizes in sixteenths of a bit, in integers: the packer makes the same archive
// wherever it runs.
#pragma once
#include <cstdint>

constexpr unsigned kPriceBits = 4;
constexpr std::uint32_t kBit = 1u << kPriceBits;

// log2(x) in sixteenths of a bit (rounded down), for x >= 1.
constexpr std::uint32_t log2Price(std::uint32_t x) {
    const unsigned whole = 31 - static_cast<unsigned>(__builtin_clz(x));
    std::uint64_t m = (std::uint64_t{x} << 16) >> whole;  // in [1, 2), 16 bits after the point
    std::uint32_t price = whole;
    for (unsigned k = 0; k < kPriceBits; ++k) {  // a bit of the fraction per squaring
        m = m * m >> 16;
        price = price << 1 | (m >= 2u << 16 ? 1 : 0);
        if (m >= 2u << 16) m >>= 1;
    }
    return price;
}
static_assert(log2Price(1) == 0 && log2Price(2) == kBit && log2Price(3) == 25 &&
                  log2Price(1000) == 159 && log2Price(0xFFFFFFFFu) == 32 * kBit - 1,
              "");
