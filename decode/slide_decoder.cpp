#include "decode/slide_decoder.h"

#include <cstdlib>
#include <cstring>

#include "decode/crc16.h"
#include "decode/lha_format.h"

const std::atomic<int> SlideDecoder::kKeepDecoding{1};

DecodeResult SlideDecoder::decode() {
    if (!emit) runningCrc = 0;
    if (methodIndex < 0 || methodIndex >= kMethodCount || !kMethodTable[methodIndex].run)
        return DecodeResult::damaged;
    windowSize = 1u << windowBits;
    static_assert(kRingSize >= (1u << 16), "the ring holds the largest window");
    window = static_cast<std::uint8_t*>(std::malloc(kRingSize + kRingSlack));
    if (!window) return DecodeResult::outOfMemory;
    // Matches that reach back before the first byte read these spaces.
    std::memset(initialWindow(), ' ', windowSize);

    // The packed data goes through a buffer of its own size at most: memory stays the
    // same whatever the member's size, and output (and progress) begins at once.
    const std::uint32_t length =
        packedData ? 0 : packedSize < kReadBufferBytes ? packedSize : kReadBufferBytes;
    std::uint8_t* buffer = nullptr;
    if (length && !(buffer = static_cast<std::uint8_t*>(std::malloc(length)))) {
        std::free(window);
        window = nullptr;
        return DecodeResult::outOfMemory;
    }
    // A packed size of 0 has no buffer at all: every bit reads as zero.
    if (packedData) in.startInMemory(packedData, packedSize);
    else in.start(input, buffer, length, packedSize);
    DecodeResult result = kMethodTable[methodIndex].run(*this);
    std::free(buffer);
    std::free(window);
    window = nullptr;
    in.buffer = nullptr;
    return result;
}
