// SlideDecoder: turns one member's packed data into its original bytes. Every
// compressed method is LZ77 over a ring-buffer dictionary (`window`): a method yields
// codes, below 256 a literal byte, above a match length followed by a position code.
// The loop that applies them is shared (decode_loop.h); the methods are rows of the
// method table (lha_format.h). The caller hears of progress and asks for a stop
// through two hooks; the decoder knows nothing else of its caller.
#pragma once
#include <atomic>
#include <cstdint>
#include <cstdio>

#include "decode/bit_input.h"

enum class DecodeResult {
    complete,     // originalSize bytes written
    aborted,      // the continue flag was cleared; the window's last bytes are not written
    damaged,      // the stream cannot be decoded further; what was decoded is written
    writeFailed,  // the output refused bytes (a full disk): the file is incomplete
    outOfMemory,  // no window or read buffer
};

struct SlideDecoder {
    // --- the member, as given by the caller
    std::FILE* input = nullptr;   // archive stream at the member's packed data
    std::FILE* output = nullptr;  // the member's output file
    // Or the packed data already in memory (then `input` is not read), and an output of
    // the caller's own: `emit` gets every produced byte, in order, instead of `output`
    // and runningCrc, and returns false to stop (writeFailed). Several decoders may run
    // at once this way (the packer checks its members on every thread).
    const std::uint8_t* packedData = nullptr;
    bool (*emit)(void* context, const std::uint8_t* data, std::uint32_t length) = nullptr;
    void* emitContext = nullptr;
    std::uint32_t originalSize = 0;
    std::uint32_t packedSize = 0;
    unsigned windowBits = 13;  // 11 to 16
    int methodIndex = 5;

    // --- the caller's hooks, consulted after every literal or match
    // Decoding stops (aborted) once the flag reads 0. `progress` gets the member's bytes
    // produced so far and returns the count at which it wants to hear again, so the
    // loop compares a counter instead of calling out per code.
    const std::atomic<int>* continueFlag = &kKeepDecoding;
    std::uint32_t (*progress)(std::uint32_t produced) = noProgress;
    static const std::atomic<int> kKeepDecoding;
    static std::uint32_t noProgress(std::uint32_t) { return ~0u; }

    // --- sliding dictionary
    // The format's window is a ring of 2^windowBits bytes. We keep a larger ring of
    // kRingSize bytes (a multiple of every window) so that output is written in big
    // pieces and matches rarely wrap. A distance d of the format reads the byte
    // ((d - 1) mod windowSize) + 1 back, which is what the small ring holds there;
    // the last windowSize bytes of the big ring stand for "before the first byte"
    // (spaces, or lz5's preset), exactly as the small ring's unwritten part does.
    std::uint8_t* window = nullptr;
    std::uint32_t windowSize = 0;     // 2^windowBits
    std::uint32_t windowPos = 0;      // next byte to write, modulo windowSize
    std::uint32_t producedCount = 0;  // bytes of the member produced before this code
    static constexpr std::uint32_t kRingSize = 1u << 18;
    static constexpr std::uint32_t kRingSlack = 8;  // a match copy's last chunk may spill here
    // Packed bytes read at a time: large enough that refills cost nothing per code.
    static constexpr std::uint32_t kReadBufferBytes = 1u << 18;
    // The windowSize bytes that a match reaching before the first byte reads.
    std::uint8_t* initialWindow() { return window + kRingSize - windowSize; }

    // --- packed input
    BitInput in;

    SlideDecoder(std::FILE* in_, std::FILE* out_, std::uint32_t original, std::uint32_t packed,
                 unsigned bits, int method)
        : input(in_),
          output(out_),
          originalSize(original),
          packedSize(packed),
          windowBits(bits),
          methodIndex(method) {}

    // Decodes the member; without `emit`, runningCrc holds the CRC of every byte written.
    DecodeResult decode();
};
