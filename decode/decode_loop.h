// The decode loop shared by every compressed method, instantiated per method family
// so that each family's readCode/readPosition inline into it.
//
// Method requirements (a struct M):
//   static constexpr unsigned kLengthBias;      // match length = code - kLengthBias
//   static constexpr bool kReadsWindowPos;      // readPosition uses d.windowPos
//   static constexpr bool kReadsProducedCount;  // readPosition uses d.producedCount
//   void begin(SlideDecoder&);                  // reset for a new member
//   unsigned readCode(SlideDecoder&, BitInput&);      // literal (< 256) or match code
//   unsigned readPosition(SlideDecoder&, BitInput&);  // distance - 1
// The BitInput passed is the loop's local copy of d.in: a method that leaves the hot
// path for long work (a block header) copies it to d.in, works there, copies back.
// A method marks damage with in.damaged; the loop then stops the member.
#pragma once
#include <cstring>
#include <new>

#include "decode/crc16.h"
#include "decode/slide_decoder.h"

namespace decode_detail {

inline bool flushRing(SlideDecoder& d, std::uint32_t n) {
    if (d.emit) return d.emit(d.emitContext, d.window, n);
    return writeWithCrc(d.window, n, d.output) == n;
}

// Copies a match that wraps neither its source nor its target. Chunks of eight may
// write up to seven bytes past the match: those are ring positions that hold bytes
// older than any window can reach (or the ring's slack), so nothing live is lost.
inline void copyMatch(std::uint8_t* dst, const std::uint8_t* src, std::uint32_t length,
                      std::uint32_t distance) {
    if (distance >= 8) {
        std::uint8_t* end = dst + length;
        do {
            std::uint64_t v;
            std::memcpy(&v, src, 8);
            std::memcpy(dst, &v, 8);
            dst += 8;
            src += 8;
        } while (dst < end);
    } else if (distance == 1) {
        std::memset(dst, *src, length);
    } else {
        // A short distance repeats the bytes being produced: byte by byte.
        for (std::uint32_t n = length; n; --n) *dst++ = *src++;
    }
}

}  // namespace decode_detail

template <class Method>
DecodeResult runDecodeLoop(SlideDecoder& d, Method& m) {
    using decode_detail::flushRing;
    constexpr std::uint32_t ring = SlideDecoder::kRingSize, ringMask = ring - 1;
    m.begin(d);
    BitInput in = d.in;
    std::uint8_t* const window = d.window;
    const std::uint32_t windowMask = d.windowSize - 1, total = d.originalSize;
    std::uint32_t pos = 0, produced = 0;
    const std::atomic<int>& keepGoing = *d.continueFlag;
    std::uint32_t (*const progress)(std::uint32_t) = d.progress;
    std::uint32_t progressAt = 0;  // the first code always reports

    while (produced < total) {
        in.refill();
        if constexpr (Method::kReadsWindowPos) d.windowPos = pos & windowMask;
        unsigned code = m.readCode(d, in);
        if (in.damaged) break;
        if (code < 256) {
            window[pos] = static_cast<std::uint8_t>(code);
            ++produced;
            if (++pos == ring) {
                if (!flushRing(d, ring)) return DecodeResult::writeFailed;
                pos = 0;
            }
        } else {
            std::uint32_t length = code - Method::kLengthBias;
            if constexpr (Method::kReadsProducedCount) d.producedCount = produced;
            std::uint32_t distance = (m.readPosition(d, in) & windowMask) + 1;
            if (in.damaged) break;
            // The header's size is a hard limit: a last match never runs past it.
            if (length > total - produced) length = total - produced;
            produced += length;
            std::uint32_t from = (pos - distance) & ringMask;
            if (length <= ring - pos && length <= ring - from) {
                decode_detail::copyMatch(window + pos, window + from, length, distance);
                pos += length;
                if (pos == ring) {
                    if (!flushRing(d, ring)) return DecodeResult::writeFailed;
                    pos = 0;
                }
            } else {
                for (std::uint32_t k = 0; k < length; ++k) {
                    window[pos] = window[(from + k) & ringMask];
                    if (++pos == ring) {
                        if (!flushRing(d, ring)) return DecodeResult::writeFailed;
                        pos = 0;
                    }
                }
            }
        }
        if (produced >= progressAt) progressAt = progress(produced);
        if (!keepGoing.load(std::memory_order_relaxed)) return DecodeResult::aborted;
    }
    d.in = in;
    if (pos && !flushRing(d, pos)) return DecodeResult::writeFailed;
    return in.damaged ? DecodeResult::damaged : DecodeResult::complete;
}

// The loop on a method made with `args`: its tables take tens of KiB, kept on the heap,
// not on a worker thread's stack.
template <class Method, class... Args>
DecodeResult runOnHeap(SlideDecoder& d, Args... args) {
    auto* method = new (std::nothrow) Method(args...);
    if (!method) return DecodeResult::outOfMemory;
    const DecodeResult result = runDecodeLoop(d, *method);
    delete method;
    return result;
}
