// -lh4- to -lh7-: blocks of codes, each block headed by three canonical Huffman
// codes sent as code lengths (the block layout is in lha_format.h). The methods differ
// only in their window (4, 8, 32, 64 KiB) and so in the number of position symbols.
//
// Table widths: a first-level table of 2^k entries resolves every code of up to k bits
// in one look-up; longer codes take the canonical walk. The literal/length table (12
// bits, 8 KiB) resolves all but a few codes per thousand of real streams and stays in
// the first-level cache; the position code has at most 17 symbols, so 10 bits leave
// only very rare codes to the walk; the code-length code is read a few hundred times
// per block at most, so 8 bits suffice.

#include "decode/decode_loop.h"
#include "decode/huffman_table.h"
#include "decode/lha_format.h"
#include "decode/methods.h"

namespace {

struct StaticHuffmanMethod {
    static constexpr unsigned kLengthBias = 256 - kMinMatch;
    static constexpr bool kReadsWindowPos = false;
    static constexpr bool kReadsProducedCount = false;

    // --- per block: the three codes
    HuffmanTable<12, kLiteralSymbols> literals;
    HuffmanTable<8, kLengthCodeSymbols> lengthCode;
    HuffmanTable<10, kMaxPositionSymbols> positions;
    std::uint8_t literalLengths[kLiteralSymbols];
    std::uint8_t smallLengths[kLengthCodeSymbols];  // length code or position code
    std::uint32_t blockCodesLeft = 0;

    // --- per member
    unsigned positionSymbols = 14;
    unsigned positionCountBits = 4;

    void begin(SlideDecoder& d) {
        positionSymbols = positionSymbolCount(d.windowBits);
        positionCountBits = ::positionCountBits(d.windowBits);
        blockCodesLeft = 0;
    }

    // A code-length list in the small format: lengths 0..6 in three bits, 7 and
    // more as three one bits, (length - 7) one bits and a zero.
    template <class Table>
    void readSmallLengths(BitInput& in, Table& table, unsigned symbolCount, unsigned countBits,
                          unsigned zeroRunAfter) {
        unsigned n = in.readBitsCold(countBits);
        if (n == 0) {
            unsigned c = in.readBitsCold(countBits);
            if (c >= symbolCount) in.damaged = true;
            else table.setSingle(c);
            return;
        }
        unsigned i = 0;
        while (i < n && !in.damaged) {
            in.refillCold();
            unsigned c = in.peek(kSmallLengthBits);
            if (c == 7) {
                // One more per one bit after 111; a run past 16 bits is damage that
                // the table build below refuses (a length over kMaxCodeLength).
                std::uint32_t ahead = in.peek(16);
                for (std::uint32_t bit = 1u << 12; bit && (ahead & bit); bit >>= 1) ++c;
            }
            in.consume(c < 7 ? kSmallLengthBits : c - 3);  // 111, (c - 7) ones, a zero
            // Counts above the alphabet are read and dropped, as the format allows.
            if (i < symbolCount) smallLengths[i] = static_cast<std::uint8_t>(c);
            ++i;
            if (i == zeroRunAfter) {
                for (unsigned z = in.readBitsCold(kLengthCodeZeroRunBits); z; --z, ++i)
                    if (i < symbolCount) smallLengths[i] = 0;
            }
        }
        for (; i < symbolCount; ++i) smallLengths[i] = 0;
        if (!table.build(smallLengths, symbolCount)) in.damaged = true;
    }

    void readLiteralLengths(BitInput& in) {
        unsigned n = in.readBitsCold(kLiteralCountBits);
        if (n == 0) {
            unsigned c = in.readBitsCold(kLiteralCountBits);
            if (c >= kLiteralSymbols) in.damaged = true;
            else literals.setSingle(c);
            return;
        }
        unsigned i = 0;
        while (i < n && !in.damaged) {
            in.refillCold();
            int c = lengthCode.decode(in);
            if (c < 0) return;
            if (c < static_cast<int>(kZeroRunSymbols)) {
                unsigned run = c == 0   ? 1
                               : c == 1 ? in.take(kShortZeroRunBits) + kShortZeroRunBase
                                        : in.take(kLongZeroRunBits) + kLongZeroRunBase;
                for (; run; --run, ++i)
                    if (i < kLiteralSymbols) literalLengths[i] = 0;
            } else {
                if (i < kLiteralSymbols)
                    literalLengths[i] = static_cast<std::uint8_t>(c - (kZeroRunSymbols - 1));
                ++i;
            }
        }
        for (; i < kLiteralSymbols; ++i) literalLengths[i] = 0;
        if (!literals.build(literalLengths, kLiteralSymbols)) in.damaged = true;
    }

    __attribute__((noinline)) void readBlockHeader(BitInput& in) {
        blockCodesLeft = in.readBitsCold(kBlockCountBits);
        if (blockCodesLeft == 0) blockCodesLeft = 1u << kBlockCountBits;
        readSmallLengths(in, lengthCode, kLengthCodeSymbols, kLengthCodeCountBits,
                         kLengthCodeZeroRunAfter);
        if (!in.damaged) readLiteralLengths(in);
        if (!in.damaged) readSmallLengths(in, positions, positionSymbols, positionCountBits, ~0u);
        in.refillCold();
    }

    unsigned readCode(SlideDecoder& d, BitInput& in) {
        if (blockCodesLeft == 0) {
            d.in = in;
            readBlockHeader(d.in);
            in = d.in;
            if (in.damaged) return 0;
        }
        --blockCodesLeft;
        int symbol = literals.decode(in);
        return symbol < 0 ? 0 : static_cast<unsigned>(symbol);
    }

    unsigned readPosition(SlideDecoder&, BitInput& in) {
        int j = positions.decode(in);
        if (j <= 1) return j < 0 ? 0 : static_cast<unsigned>(j);
        unsigned extra = static_cast<unsigned>(j - 1);
        return (1u << extra) + in.take(extra);
    }
};

}  // namespace

DecodeResult decodeStaticHuffman(SlideDecoder& d) {
    return runOnHeap<StaticHuffmanMethod>(d);
}
