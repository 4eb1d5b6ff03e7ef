// The decode loop shared by every compressed method, instantiated per method family
// so that each family's readCode/readPosition inline into it.
//
// Method requirements (a struct M):
//   static constexpr unsigned kLengthBias;     // match length = code - kLengthBias
//   void begin(SlideDecoder&);                  // reset for a new member
//   unsigned readCode(SlideDecoder&);           // literal (< 256) or match code
//   unsigned readPosition(SlideDecoder&);       // distance - 1
// A method marks damage with d.in.damaged; the loop then stops the member.
#pragma once
#include <cstring>

#include "decode/crc16.h"
#include "decode/slide_decoder.h"
#include "extract/progress.h"

namespace decode_detail {

inline bool flushWindow(SlideDecoder& d, std::uint32_t length) {
    return writeWithCrc(d.window, length, d.output) == length;
}

}  // namespace decode_detail

template <class Method>
DecodeResult runDecodeLoop(SlideDecoder& d, Method& m) {
    using decode_detail::flushWindow;
    m.begin(d);
    BitInput& in = d.in;
    std::uint8_t* const window = d.window;
    const std::uint32_t size = d.windowSize, mask = size - 1, total = d.originalSize;
    std::uint32_t pos = 0, produced = 0;
    std::uint32_t progressAt = 0;  // the first code always reports

    while (produced < total) {
        in.refill();
        d.producedCount = produced;
        d.windowPos = pos;
        unsigned code = m.readCode(d);
        if (in.damaged) break;
        if (code < 256) {
            window[pos] = static_cast<std::uint8_t>(code);
            ++produced;
            if (++pos == size) {
                if (!flushWindow(d, size)) return DecodeResult::writeFailed;
                pos = 0;
            }
        } else {
            std::uint32_t length = code - Method::kLengthBias;
            std::uint32_t distance = m.readPosition(d) + 1;
            if (in.damaged) break;
            // The header's size is a hard limit: a last match never runs past it.
            if (length > total - produced) length = total - produced;
            produced += length;
            std::uint32_t from = (pos - distance) & mask;
            if (length <= size - pos && length <= size - from) {
                std::uint8_t* dst = window + pos;
                const std::uint8_t* src = window + from;
                std::uint32_t n = length;
                // Eight at a time is safe when the source is ahead of the target or
                // at least eight bytes behind it; else byte by byte, so a match may
                // repeat the bytes it is producing.
                if (from >= pos || pos - from >= 8) {
                    for (; n >= 8; n -= 8, dst += 8, src += 8) {
                        std::uint64_t v;
                        std::memcpy(&v, src, 8);
                        std::memcpy(dst, &v, 8);
                    }
                }
                for (; n; --n) *dst++ = *src++;
                pos += length;
                if (pos == size) {
                    if (!flushWindow(d, size)) return DecodeResult::writeFailed;
                    pos = 0;
                }
            } else {
                for (std::uint32_t k = 0; k < length; ++k) {
                    window[pos] = window[(from + k) & mask];
                    if (++pos == size) {
                        if (!flushWindow(d, size)) return DecodeResult::writeFailed;
                        pos = 0;
                    }
                }
            }
        }
        if (produced >= progressAt) {
            reportProgress(produced);
            progressAt = nextProgressChange(produced);
        }
        if (!shouldContinue()) return DecodeResult::aborted;
    }
    if (pos && !flushWindow(d, pos)) return DecodeResult::writeFailed;
    return in.damaged ? DecodeResult::damaged : DecodeResult::complete;
}
