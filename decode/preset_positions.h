// The preset position codes of -lh1- (64 symbols) and -lh3- (128 symbols): a position
// is a symbol of a fixed canonical code, giving the upper bits, then 6 plain bits.
#pragma once
#include <cstdint>

#include "decode/huffman_table.h"

struct PresetPositions {
    static constexpr unsigned kMaxSymbols = 128;
    HuffmanTable<8, kMaxSymbols> table;  // 8 bits: all preset codes but lh3's 9-bit ones
    std::uint8_t lengths[kMaxSymbols];
    unsigned symbols = 64;

    // A list starts with the length of symbol 0; each further entry v raises the
    // length by one from symbol v on; 0 ends it. Both lists make complete codes.
    void usePreset(int list) {
        static const int kLists[2][16] = {{3, 1, 4, 12, 24, 48, 0}, {2, 1, 1, 3, 6, 13, 31, 78, 0}};
        const int* entry = kLists[list];
        int length = *entry++;
        for (unsigned i = 0; i < symbols; ++i) {
            while (*entry && static_cast<unsigned>(*entry) == i) {
                ++length;
                ++entry;
            }
            lengths[i] = static_cast<std::uint8_t>(length);
        }
        table.build(lengths, symbols);
    }

    // Position code: symbol × 64 + 6 bits. The caller has refilled 16 + 6 bits.
    VOPA_INLINE unsigned read(BitInput& in) const {
        int j = table.decode(in);
        if (j < 0) return 0;
        return static_cast<unsigned>(j) * 64 + in.take(6);
    }
};
