// -lh3-: blocks with static Huffman codes whose lengths are sent as plain 4-bit fields
// (older than -lh4- to -lh7-). Positions come from a sent code or from preset list 1,
// as a symbol for the upper bits followed by 6 plain bits.

#include "decode/decode_loop.h"
#include "decode/huffman_table.h"
#include "decode/methods.h"
#include "decode/preset_positions.h"

namespace {

// 256 literals, matches of 3..31 bytes, and one last symbol that takes 8 more bits for
// matches of 32..287 bytes.
constexpr unsigned kExtendedMatchSymbol = 256 + (31 - 3) + 1;
constexpr unsigned kCodeSymbols = kExtendedMatchSymbol + 1;
static_assert(kCodeSymbols == 286, "the lh3 literal/length alphabet");
constexpr unsigned kPositionSymbols = 128;  // 8 KiB window / 64 positions per symbol

struct FixedTableMethod {
    static constexpr unsigned kLengthBias = 256 - 3;
    static constexpr bool kReadsWindowPos = false;
    static constexpr bool kReadsProducedCount = false;

    HuffmanTable<12, kCodeSymbols> literals;
    std::uint8_t literalLengths[kCodeSymbols];
    PresetPositions positions;
    std::uint32_t blockLeft = 0;

    void begin(SlideDecoder&) {
        positions.symbols = kPositionSymbols;
        blockLeft = 0;
    }

    // The first three lengths all 1 is the escape: one symbol, zero bits per code.
    void readCodeTree(BitInput& in) {
        for (unsigned i = 0; i < kCodeSymbols; ++i) {
            literalLengths[i] = static_cast<std::uint8_t>(in.readBitsCold(1) ? in.readBitsCold(4) + 1 : 0);
            if (i == 2 && literalLengths[0] == 1 && literalLengths[1] == 1 &&
                literalLengths[2] == 1) {
                unsigned c = in.readBitsCold(9);
                if (c >= kCodeSymbols) in.damaged = true;
                else literals.setSingle(c);
                return;
            }
        }
        if (!literals.build(literalLengths, kCodeSymbols)) in.damaged = true;
    }

    void readPositionTree(BitInput& in) {
        for (unsigned i = 0; i < kPositionSymbols; ++i) {
            positions.lengths[i] = static_cast<std::uint8_t>(in.readBitsCold(4));
            if (i == 2 && positions.lengths[0] == 1 && positions.lengths[1] == 1 &&
                positions.lengths[2] == 1) {
                // The escape value is read in 10 bits; only a real symbol may stand.
                unsigned c = in.readBitsCold(10);
                if (c >= kPositionSymbols) in.damaged = true;
                else positions.table.setSingle(c);
                return;
            }
        }
        if (!positions.table.build(positions.lengths, kPositionSymbols)) in.damaged = true;
    }

    __attribute__((noinline)) void readBlockHeader(BitInput& in) {
        blockLeft = in.readBitsCold(16);
        if (blockLeft == 0) blockLeft = 65536;
        readCodeTree(in);
        if (in.damaged) return;
        if (in.readBitsCold(1)) readPositionTree(in);
        else positions.usePreset(1);
        in.refillCold();
    }

    unsigned readCode(SlideDecoder& d, BitInput& in) {
        if (blockLeft == 0) {
            d.in = in;
            readBlockHeader(d.in);
            in = d.in;
            if (in.damaged) return 0;
        }
        --blockLeft;
        int j = literals.decode(in);
        if (j < 0) return 0;
        if (j == kExtendedMatchSymbol) j += static_cast<int>(in.take(8));
        return static_cast<unsigned>(j);
    }

    unsigned readPosition(SlideDecoder&, BitInput& in) { return positions.read(in); }
};

}  // namespace

DecodeResult decodeLh3(SlideDecoder& d) {
    return runOnHeap<FixedTableMethod>(d);
}
