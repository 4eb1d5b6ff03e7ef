// -lh4- to -lh7-: blocks of codes, each block headed by three canonical Huffman
// codes sent as code lengths — first the code of the code lengths, then the
// literal/length code (510 symbols), then the position code. The methods differ only
// in their window (4, 8, 32, 64 KiB) and so in the number of position symbols.
#include <new>

#include "decode/decode_loop.h"
#include "decode/huffman_table.h"
#include "decode/methods.h"

namespace {

constexpr unsigned kLiteralSymbols = 510;  // 256 literals + matches of 3..256
constexpr unsigned kLengthCodeSymbols = 19;
constexpr unsigned kMaxPositionSymbols = 17;  // lh7: distances up to 2^16

struct StaticHuffmanMethod {
    static constexpr unsigned kLengthBias = 253;
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
        positionSymbols = d.windowBits <= 14 ? 14 : d.windowBits + 1;
        positionCountBits = d.windowBits <= 14 ? 4 : 5;
        blockCodesLeft = 0;
    }

    // A code-length list in the small format: lengths 0..6 in three bits, 7 and
    // more as three one bits, (length - 7) one bits and a zero.
    template <class Table>
    void readSmallLengths(BitInput& in, Table& table, unsigned symbolCount, unsigned countBits,
                          unsigned specialIndex) {
        unsigned n = in.readBits(countBits);
        if (n == 0) {
            unsigned c = in.readBits(countBits);
            if (c >= symbolCount) in.damaged = true;
            else table.setSingle(c);
            return;
        }
        unsigned i = 0;
        while (i < n && !in.damaged) {
            in.refill();
            unsigned c = in.peek(3);
            if (c == 7) {
                std::uint32_t ahead = in.peek(16);
                for (std::uint32_t bit = 1u << 12; bit && (ahead & bit); bit >>= 1) ++c;
            }
            in.consume(c < 7 ? 3 : c - 3);
            // Counts above the alphabet are read and dropped, as the format allows.
            if (i < symbolCount) smallLengths[i] = static_cast<std::uint8_t>(c);
            ++i;
            if (i == specialIndex) {
                for (unsigned z = in.readBits(2); z; --z, ++i)
                    if (i < symbolCount) smallLengths[i] = 0;
            }
        }
        for (; i < symbolCount; ++i) smallLengths[i] = 0;
        if (!table.build(smallLengths, symbolCount)) in.damaged = true;
    }

    void readLiteralLengths(BitInput& in) {
        unsigned n = in.readBits(9);
        if (n == 0) {
            unsigned c = in.readBits(9);
            if (c >= kLiteralSymbols) in.damaged = true;
            else literals.setSingle(c);
            return;
        }
        unsigned i = 0;
        while (i < n && !in.damaged) {
            in.refill();
            int c = lengthCode.decode(in);
            if (c < 0) return;
            if (c <= 2) {
                unsigned run = c == 0 ? 1 : c == 1 ? in.take(4) + 3 : in.take(9) + 20;
                for (; run; --run, ++i)
                    if (i < kLiteralSymbols) literalLengths[i] = 0;
            } else {
                if (i < kLiteralSymbols) literalLengths[i] = static_cast<std::uint8_t>(c - 2);
                ++i;
            }
        }
        for (; i < kLiteralSymbols; ++i) literalLengths[i] = 0;
        if (!literals.build(literalLengths, kLiteralSymbols)) in.damaged = true;
    }

    __attribute__((noinline)) void readBlockHeader(BitInput& in) {
        blockCodesLeft = in.readBits(16);
        if (blockCodesLeft == 0) blockCodesLeft = 65536;
        readSmallLengths(in, lengthCode, kLengthCodeSymbols, 5, 3);
        if (!in.damaged) readLiteralLengths(in);
        if (!in.damaged) readSmallLengths(in, positions, positionSymbols, positionCountBits, ~0u);
        in.refill();
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
    // Tables of a few tens of KiB: on the heap, not on a worker thread's stack.
    auto* method = new (std::nothrow) StaticHuffmanMethod;
    if (!method) return DecodeResult::outOfMemory;
    DecodeResult result = runDecodeLoop(d, *method);
    delete method;
    return result;
}
