// The LArc methods: plain LZSS without Huffman coding. A match names an absolute
// ring-buffer index, which the position operation turns into the distance form of the
// shared loop using the loop's current window position.
//   -lzs-: bit-packed; flag bit, then 8 literal bits or an 11-bit index and 4-bit length.
//   -lz5-: byte-packed; a flag byte (least significant bit first) per eight items, and a
//          window preset with runs, ramps and zeros that early matches may copy.
#include <cstring>

#include "decode/decode_loop.h"
#include "decode/methods.h"

namespace {

struct LzsMethod {
    static constexpr unsigned kLengthBias = 254;  // code 256 is a 2-byte match
    static constexpr bool kReadsWindowPos = true;
    static constexpr bool kReadsProducedCount = false;
    std::uint32_t matchIndex = 0;

    void begin(SlideDecoder&) {}
    unsigned readCode(SlideDecoder&, BitInput& in) {
        if (in.take(1)) return in.take(8);
        matchIndex = in.take(11);
        return in.take(4) + 256;
    }
    // The copy then starts at window index (matchIndex + 17) mod 2048.
    unsigned readPosition(SlideDecoder& d, BitInput&) {
        return (d.windowPos - matchIndex - 18) & 0x7FF;
    }
};

struct Lz5Method {
    static constexpr unsigned kLengthBias = 253;
    static constexpr bool kReadsWindowPos = true;
    static constexpr bool kReadsProducedCount = false;
    std::uint32_t matchIndex = 0;
    unsigned flags = 0;
    unsigned flagsLeft = 0;

    // The preset window that early matches may copy: a lead, a run of 13 bytes of
    // each value, the values rising, the values falling, zeros; the loop's spaces
    // stay in the rest.
    static constexpr unsigned kLead = 18, kRunLength = 13, kZeros = 128;
    static constexpr unsigned kRunsAt = kLead, kRisingAt = kRunsAt + 256 * kRunLength,
                              kFallingAt = kRisingAt + 256, kZerosAt = kFallingAt + 256,
                              kSpacesAt = kZerosAt + kZeros;
    static_assert(kRisingAt == 3346 && kFallingAt == 3602 && kZerosAt == 3858,
                  "the preset's layout");
    static_assert(4096 - kSpacesAt == 110, "110 spaces end the 4 KiB window");

    void begin(SlideDecoder& d) {
        flagsLeft = 0;
        std::uint8_t* w = d.initialWindow();
        // Zeros, not the loop's spaces, in the lead: the CRCs stored by real archivers
        // are only met with zeros there.
        std::memset(w, 0, kLead);
        for (unsigned i = 0; i < 256; ++i)
            std::memset(w + kRunsAt + kRunLength * i, static_cast<int>(i), kRunLength);
        for (unsigned i = 0; i < 256; ++i) w[kRisingAt + i] = static_cast<std::uint8_t>(i);
        for (unsigned i = 0; i < 256; ++i) w[kFallingAt + i] = static_cast<std::uint8_t>(255 - i);
        std::memset(w + kZerosAt, 0, kZeros);
    }
    unsigned readCode(SlideDecoder&, BitInput& in) {
        if (flagsLeft == 0) {
            flagsLeft = 8;
            flags = in.take(8);
        }
        --flagsLeft;
        unsigned c = in.take(8);
        bool literal = flags & 1;
        flags >>= 1;
        if (literal) return c;
        unsigned second = in.take(8);
        matchIndex = c | ((second & 0xF0u) << 4);
        return (second & 0x0Fu) + 256;
    }
    // The copy then starts at window index (matchIndex + 18) mod 4096.
    unsigned readPosition(SlideDecoder& d, BitInput&) {
        return (d.windowPos - matchIndex - 19) & 0xFFF;
    }
};

}  // namespace

DecodeResult decodeLzs(SlideDecoder& d) {
    LzsMethod m;
    return runDecodeLoop(d, m);
}

DecodeResult decodeLz5(SlideDecoder& d) {
    Lz5Method m;
    return runDecodeLoop(d, m);
}
