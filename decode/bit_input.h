// Bit input of the compressed methods: the member's packed data, most significant
// bit first, through a read buffer that the stream refills as it empties.
//
// The accumulator is 64 bits wide, left-aligned: bit 63 is the next bit. A refill
// tops it up to at least 56 valid bits (never 64, so `word >> count` stays defined),
// and one refill covers a whole match: code, position code and extra bits are at
// most 16 + 16 + 15 bits.
//
// Past the member's packed data (or the file's end, when the archive is cut short)
// the input supplies zero bits, and counts them; once far more have been asked for
// than any look-ahead needs, `damaged` is set and the decoder stops the member. The
// methods set the same flag for a code that no valid stream contains.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstring>

// Hot loops keep a BitInput in a local (so the compiler holds it in registers: the
// window's byte stores could otherwise alias it) and every member must inline into
// them; a pointer to that local must never reach an out-of-line function.
#define VOPA_INLINE inline __attribute__((always_inline))

struct BitInput {
    // --- bit accumulator
    std::uint64_t bits = 0;  // next bits, left-aligned
    unsigned count = 0;      // valid bits in `bits`

    // --- read buffer: [next, end) is what is left of the current fill
    const std::uint8_t* next = nullptr;
    const std::uint8_t* end = nullptr;
    std::uint8_t* buffer = nullptr;  // owned by the decoder
    std::uint32_t bufferLength = 0;
    std::FILE* stream = nullptr;
    std::uint32_t packedLeft = 0;  // packed bytes not yet read from the stream

    // --- past the end
    std::uint32_t zeroBytesFed = 0;
    bool damaged = false;

    // Zero bytes that look-ahead alone may pull in: a full accumulator plus two bytes
    // of slack for writers that end a stream in the middle of its last code.
    static constexpr std::uint32_t kZeroByteSlack = 8 + 2;

    // Reads the first fill; the caller has sized and allocated `buffer`.
    void start(std::FILE* in, std::uint8_t* data, std::uint32_t length, std::uint32_t packed) {
        stream = in;
        buffer = data;
        bufferLength = length;
        packedLeft = packed;
        next = end = buffer;
        bits = 0;
        count = 0;
        zeroBytesFed = 0;
        damaged = false;
        fill();
    }

    // All of the packed data already in memory: nothing is read from a stream.
    void startInMemory(const std::uint8_t* data, std::uint32_t packed) {
        stream = nullptr;
        buffer = nullptr;
        bufferLength = packedLeft = 0;
        next = data;
        end = data + packed;
        bits = 0;
        count = 0;
        zeroBytesFed = 0;
        damaged = false;
    }

    // Ensures at least 56 valid bits.
    VOPA_INLINE void refill() {
        if (end - next >= 8) {
            std::uint64_t word;
            std::memcpy(&word, next, 8);
            word = __builtin_bswap64(word);
            bits |= word >> count;
            next += (63 - count) >> 3;
            count |= 56;
            return;
        }
        refillSlowly();
    }

    VOPA_INLINE std::uint32_t peek(unsigned n) const {
        return n ? static_cast<std::uint32_t>(bits >> (64 - n)) : 0;
    }
    VOPA_INLINE void consume(unsigned n) {
        bits <<= n;
        count -= n;
    }
    // n from 0 to 32; the caller has refilled enough bits.
    VOPA_INLINE std::uint32_t take(unsigned n) {
        std::uint32_t v = peek(n);
        consume(n);
        return v;
    }
    // Refills and takes; for block headers and other careful paths (n up to 16).
    VOPA_INLINE std::uint32_t readBits(unsigned n) {
        if (count < n) refill();
        return take(n);
    }
    // The same for the block headers, out of line: they are cold, and read in many
    // places. Only for the decoder's own copy of the input (d.in), never a hot loop's
    // local, whose address must not escape.
    __attribute__((noinline)) std::uint32_t readBitsCold(unsigned n) { return readBits(n); }
    __attribute__((noinline)) void refillCold() { refill(); }
    // One whole byte of a byte-aligned method.
    VOPA_INLINE std::uint8_t readByte() {
        if (count < 8) refill();
        return static_cast<std::uint8_t>(take(8));
    }

private:
    VOPA_INLINE void fill() {
        std::uint32_t want = packedLeft < bufferLength ? packedLeft : bufferLength;
        std::size_t got = want ? std::fread(buffer, 1, want, stream) : 0;
        // A short read means the archive is cut short: nothing more will come.
        packedLeft = got < want ? 0 : packedLeft - want;
        next = buffer;
        end = buffer + got;
    }

    VOPA_INLINE void refillSlowly() {
        while (count < 56) {
            if (next == end && packedLeft) fill();
            std::uint64_t fed;
            if (next != end) {
                fed = *next++;
            } else {
                fed = 0;
                if (++zeroBytesFed > kZeroByteSlack) damaged = true;
            }
            bits |= fed << (56 - count);
            count += 8;
        }
    }
};
