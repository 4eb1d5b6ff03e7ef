// Canonical Huffman decoding tables, shared by the static-Huffman methods and lh3.
//
// Symbols of one length get consecutive codes in symbol order, shorter codes first;
// codes are read most significant bit first. A first-level table indexed by the next
// `TableBits` bits resolves every code that fits; longer codes (rare by construction:
// each occurs at most once in 2^TableBits codes) are finished by a canonical walk
// over the lengths above the table.
//
// Entry layout (16 bits): bits 0..4 = bits to consume (0..16), bits 5..15 = symbol.
// Two length values are markers: kLongCode (finish with the walk) and kNoCode (no
// code reaches this slot: the stream is damaged).
#pragma once
#include <cstdint>
#include <cstring>

#include "decode/bit_input.h"
#include "decode/lha_format.h"

// The parts of a table, for the builder that every table shares.
struct HuffmanTableParts {
    std::uint16_t* entries;
    unsigned tableBits;
    std::uint16_t *firstCode, *lengthCount, *firstIndex, *sortedSymbols;
};
constexpr std::uint16_t kHuffmanLongCode = 31, kHuffmanNoCode = 30;
bool buildHuffmanTable(const HuffmanTableParts& table, const std::uint8_t* lengths,
                       unsigned symbolCount);

template <unsigned TableBits, unsigned MaxSymbols>
struct HuffmanTable {
    static_assert(TableBits <= kMaxCodeLength, "a table wider than any code is waste");
    static_assert(MaxSymbols < 2048, "symbols live in 11 bits of an entry");
    static constexpr std::uint16_t kLongCode = kHuffmanLongCode;
    static constexpr std::uint16_t kNoCode = kHuffmanNoCode;
    static constexpr unsigned kSize = 1u << TableBits;

    std::uint16_t entries[kSize];
    // Canonical walk for codes longer than TableBits.
    std::uint16_t firstCode[kMaxCodeLength + 1];
    std::uint16_t lengthCount[kMaxCodeLength + 1];
    std::uint16_t firstIndex[kMaxCodeLength + 1];
    std::uint16_t sortedSymbols[MaxSymbols];

    // Every code decodes to `symbol` and takes no bits (a list of one symbol).
    void setSingle(unsigned symbol) {
        std::uint16_t e = static_cast<std::uint16_t>(symbol << 5);
        for (auto& slot : entries) slot = e;
    }

    // Builds from `lengths[0..symbolCount)`. False for a set the format cannot hold:
    // a length above 16, or an over-full code (more codes than the code space).
    // An incomplete code builds; the slots no code reaches are kNoCode. (Out of line and
    // the same for every table: a block header is cold, and the stub carries one copy.)
    bool build(const std::uint8_t* lengths, unsigned symbolCount) {
        return buildHuffmanTable({entries, TableBits, firstCode, lengthCount, firstIndex,
                                  sortedSymbols},
                                 lengths, symbolCount);
    }

    // Decodes one symbol; the caller has refilled at least 16 bits. Returns -1, with
    // the input marked damaged, for a code that no symbol has.
    VOPA_INLINE int decode(BitInput& in) const {
        std::uint16_t e = entries[in.peek(TableBits)];
        unsigned len = e & 31;
        if (len <= kMaxCodeLength) {
            in.consume(len);
            return e >> 5;
        }
        if (len == kLongCode) return decodeLong(in);
        in.damaged = true;
        return -1;
    }

private:
    VOPA_INLINE int decodeLong(BitInput& in) const {
        std::uint32_t bits = in.peek(kMaxCodeLength);
        for (unsigned len = TableBits + 1; len <= kMaxCodeLength; ++len) {
            unsigned c = bits >> (kMaxCodeLength - len);
            unsigned offset = c - firstCode[len];
            if (offset < lengthCount[len]) {
                in.consume(len);
                return sortedSymbols[firstIndex[len] + offset];
            }
        }
        in.damaged = true;
        return -1;
    }
};
