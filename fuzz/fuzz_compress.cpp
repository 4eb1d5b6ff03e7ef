// The compressor's property: whatever the input, our decoder gives it back byte for
// byte. The first byte picks the method and level; the rest is the data, repeated now
// and then to reach past a window and a block.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "decode/crc16.h"
#include "decode/lha_format.h"
#include "decode/slide_decoder.h"
#include "tools/lha_compressor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const unsigned choice = data[0];
    const int method = findMethod("-lh5-") + static_cast<int>((choice & 3) % 3);  // to -lh7-
    std::vector<std::uint8_t> input(data + 1, data + size);
    if ((choice & 0xC0) == 0xC0)
        for (unsigned copies = 0; input.size() && copies < 64 && input.size() < (160u << 10);
             ++copies)
            input.insert(input.end(), input.begin(), input.end());
    const CompressOptions options{kMethodTable[method].windowBits,
                                  1 + static_cast<int>((choice >> 2) % 9)};
    std::vector<std::uint8_t> packed = compressLha(input.data(), input.size(), options);

    // Complete means the member's size was written; its CRC stands for the bytes.
    std::FILE* in = fmemopen(packed.data(), packed.size() + 1, "rb");  // +1: fmemopen refuses 0
    SlideDecoder d(in, nullptr, static_cast<std::uint32_t>(input.size()),
                   static_cast<std::uint32_t>(packed.size()), kMethodTable[method].windowBits,
                   method);
    const bool same =
        d.decode() == DecodeResult::complete && runningCrc == crcOf(input.data(), input.size());
    std::fclose(in);
    if (!same) std::abort();
    return 0;
}
