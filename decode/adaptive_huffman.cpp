// -lh1- and -lh2-: literal/length codes from an adaptive Huffman tree that is updated
// after every symbol, so the stream carries no tables. lh1 takes its positions from a
// preset code; lh2 from a second adaptive tree that gains a symbol per 64 bytes.

#include "decode/adaptive_trees.h"
#include "decode/decode_loop.h"
#include "decode/methods.h"
#include "decode/preset_positions.h"

namespace {

// lh1: literals and matches of 3..60 bytes. lh2: literals, matches of 3..31 bytes and
// an escape symbol that takes 8 more bits (matches of 32..287).
constexpr int kLh1Symbols = 256 + (60 - 3) + 1, kLh1LongestMatch = 60;
constexpr int kLh2Symbols = 256 + (31 - 3) + 1 + 1, kLh2LongestMatch = 256;
static_assert(kLh1Symbols == kLh1CodeSymbols, "lh1 has the largest code alphabet");

struct AdaptiveMethod {
    static constexpr unsigned kLengthBias = 256 - 3;  // code 256: a 3-byte match
    static constexpr bool kReadsWindowPos = false;
    static constexpr bool kReadsProducedCount = true;

    AdaptiveTrees trees;
    PresetPositions preset;
    bool presetPositions;  // lh1

    explicit AdaptiveMethod(bool lh1) : presetPositions(lh1) {}

    void begin(SlideDecoder& d) {
        if (presetPositions) {
            trees.initCodeTree(kLh1Symbols, kLh1LongestMatch);
            preset.symbols = 64;
            preset.usePreset(0);
        } else {
            trees.initCodeTree(kLh2Symbols, kLh2LongestMatch);
            trees.initPositionTree(d.windowBits);
        }
    }

    unsigned readCode(SlideDecoder&, BitInput& in) {
        unsigned s = trees.walk(in, 0);
        trees.countCode(s);
        if (s == trees.escapeCode) s += in.readBits(8);
        return s;
    }

    unsigned readPosition(SlideDecoder& d, BitInput& in) {
        if (presetPositions) {
            in.refill();
            return preset.read(in);
        }
        trees.growPositions(d.producedCount);
        unsigned p = trees.walk(in, kPositionRoot) - kPositionSymbolBase;
        trees.countPosition(p);
        return p * 64 + in.readBits(6);
    }
};

DecodeResult decodeAdaptive(SlideDecoder& d, bool lh1) {
    return runOnHeap<AdaptiveMethod>(d, lh1);
}

}  // namespace

DecodeResult decodeLh1(SlideDecoder& d) { return decodeAdaptive(d, true); }
DecodeResult decodeLh2(SlideDecoder& d) { return decodeAdaptive(d, false); }
