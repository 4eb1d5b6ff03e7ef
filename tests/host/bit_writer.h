// Builds packed streams bit by bit, most significant bit first, for hand-made
// members in the decoder tests.
#pragma once
#include <cstdint>
#include <vector>

struct BitWriter {
    std::vector<std::uint8_t> bytes;
    unsigned used = 8;  // bits used in the last byte

    void put(std::uint32_t value, unsigned n) {
        for (unsigned i = n; i-- > 0;) {
            if (used == 8) {
                bytes.push_back(0);
                used = 0;
            }
            if ((value >> i) & 1) bytes.back() |= static_cast<std::uint8_t>(0x80 >> used);
            ++used;
        }
    }
};
