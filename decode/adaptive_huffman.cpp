// -lh1- and -lh2-: literal/length codes from an adaptive Huffman tree that is updated
// after every symbol, so the stream carries no tables. lh1 takes its positions from a
// preset code; lh2 from a second adaptive tree that gains a symbol per 64 bytes.
#include <new>

#include "decode/adaptive_trees.h"
#include "decode/decode_loop.h"
#include "decode/methods.h"
#include "decode/preset_positions.h"

namespace {

struct AdaptiveMethod {
    static constexpr unsigned kLengthBias = 253;
    static constexpr bool kReadsWindowPos = false;
    static constexpr bool kReadsProducedCount = true;

    AdaptiveTrees trees;
    PresetPositions preset;
    bool presetPositions;  // lh1

    explicit AdaptiveMethod(bool lh1) : presetPositions(lh1) {}

    void begin(SlideDecoder& d) {
        if (presetPositions) {
            trees.initCodeTree(314, 60);
            preset.symbols = 64;
            preset.usePreset(0);
        } else {
            trees.initCodeTree(286, 256);
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
    auto* method = new (std::nothrow) AdaptiveMethod(lh1);
    if (!method) return DecodeResult::outOfMemory;
    DecodeResult result = runDecodeLoop(d, *method);
    delete method;
    return result;
}

}  // namespace

DecodeResult decodeLh1(SlideDecoder& d) { return decodeAdaptive(d, true); }
DecodeResult decodeLh2(SlideDecoder& d) { return decodeAdaptive(d, false); }
