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

template <unsigned TableBits, unsigned MaxSymbols>
struct HuffmanTable {
    static_assert(TableBits <= kMaxCodeLength, "a table wider than any code is waste");
    static_assert(MaxSymbols < 2048, "symbols live in 11 bits of an entry");
    static constexpr std::uint16_t kLongCode = 31;
    static constexpr std::uint16_t kNoCode = 30;
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
    // An incomplete code builds; the slots no code reaches are kNoCode.
    bool build(const std::uint8_t* lengths, unsigned symbolCount) {
        std::memset(lengthCount, 0, sizeof lengthCount);
        for (unsigned s = 0; s < symbolCount; ++s) {
            if (lengths[s] > kMaxCodeLength) return false;
            ++lengthCount[lengths[s]];
        }
        lengthCount[0] = 0;
        std::int32_t left = 1;
        unsigned code = 0, index = 0;
        for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
            left = 2 * left - lengthCount[len];
            if (left < 0) return false;
            firstCode[len] = static_cast<std::uint16_t>(code);
            firstIndex[len] = static_cast<std::uint16_t>(index);
            code = (code + lengthCount[len]) << 1;
            index += lengthCount[len];
        }
        std::uint16_t nextIndex[kMaxCodeLength + 1];
        std::memcpy(nextIndex, firstIndex, sizeof nextIndex);
        for (auto& slot : entries) slot = kNoCode;
        for (unsigned s = 0; s < symbolCount; ++s) {
            unsigned len = lengths[s];
            if (!len) continue;
            unsigned rank = nextIndex[len]++;
            sortedSymbols[rank] = static_cast<std::uint16_t>(s);
            unsigned c = firstCode[len] + (rank - firstIndex[len]);
            if (len <= TableBits) {
                unsigned shift = TableBits - len;
                std::uint16_t e = static_cast<std::uint16_t>((s << 5) | len);
                for (unsigned k = c << shift, last = (c + 1) << shift; k < last; ++k)
                    entries[k] = e;
            } else {
                entries[c >> (len - TableBits)] = kLongCode;
            }
        }
        return true;
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
