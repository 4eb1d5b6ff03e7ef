// The static-Huffman block format of -lh5-, -lh6- and -lh7- on the writing side: a bit
// stream, code lengths limited to 16 bits, and whole blocks of literal/match codes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/lha_format.h"

// The writer never uses the count 0 (65,536 codes).
constexpr unsigned kMaxBlockCodes = (1u << kBlockCountBits) - 1;

struct BitWriter {
    std::vector<std::uint8_t> bytes;
    std::uint64_t acc = 0;
    unsigned bits = 0;  // pending in `acc`, fewer than 8 between calls

    void put(std::uint32_t value, unsigned n) {
        if (!n) return;
        acc = (acc << n) | (value & ((1ull << n) - 1));
        bits += n;
        while (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<std::uint8_t>(acc >> bits));
        }
    }
    // Continues this stream with all of `other`'s bits.
    void append(const BitWriter& other);
    void flush() {
        if (bits) bytes.push_back(static_cast<std::uint8_t>(acc << (8 - bits)));
        bits = 0;
    }
};

struct Code {
    std::uint16_t symbol;    // a literal, or 256 + match length - 3
    std::uint16_t position;  // match distance - 1
};

inline Code matchCode(unsigned length, unsigned distance) {
    return {static_cast<std::uint16_t>(256 + length - kMinMatch),
            static_cast<std::uint16_t>(distance - 1)};
}

// How often each literal/length symbol and each position slot occurs in `codes`.
struct SymbolCounts {
    std::vector<std::uint32_t> literal, position;
    SymbolCounts(const Code* codes, std::size_t n, unsigned positionSymbols);
};

// Code lengths of at most 16 bits for `freq`; unused symbols get 0.
std::vector<std::uint8_t> codeLengths(std::vector<std::uint32_t> freq);

class BlockWriter {
public:
    BlockWriter(BitWriter& out, unsigned windowBits);
    unsigned positionSymbols() const { return positionSymbols_; }

    // Writes one block of `n` codes, 1 to kMaxBlockCodes; leaves its code lengths in
    // literalLengths / positionLengths.
    void write(const Code* codes, std::size_t n);

    std::vector<std::uint8_t> literalLengths, positionLengths;

private:
    void writeSmallLengths(const std::vector<std::uint32_t>& freq,
                           const std::vector<std::uint8_t>& len, unsigned countBits,
                           int specialIndex);
    void writeLiteralLengths(const std::vector<std::uint32_t>& freq,
                             const std::vector<std::uint8_t>& len);

    BitWriter& out_;
    unsigned positionSymbols_, positionCountBits_;
};
