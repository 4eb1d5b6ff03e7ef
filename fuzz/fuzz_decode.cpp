// The decoder targets: the first bytes choose the member's sizes, the rest is its
// packed data; output goes nowhere, since the property is "never crashes, never reads
// or writes outside a buffer, always ends". Each target is built with the method
// indexes of one family in VOPA_FUZZ_METHODS.
#include <cstdint>
#include <cstdio>

#include "decode/lha_format.h"
#include "decode/slide_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int methods[] = {VOPA_FUZZ_METHODS};
    if (size < 4) return 0;
    int method = methods[data[0] % (sizeof methods / sizeof *methods)];
    // Original sizes up to 512 KiB (past the decoder's 256 KiB ring) keep each run
    // short; packed sizes may claim more than there is, like a cut archive.
    std::uint32_t original = (static_cast<std::uint32_t>(data[1]) << 11) | (data[2] << 3);
    std::uint32_t packed = static_cast<std::uint32_t>(size - 4);
    if (data[3] & 1) packed += data[3] * 97u;
    if (data[3] == 0xFF) packed = 0;
    std::FILE* in = fmemopen(const_cast<std::uint8_t*>(data + 4), size - 4, "rb");
    if (!in) return 0;
    SlideDecoder d(in, nullptr, original, packed, kMethodTable[method].windowBits, method);
    d.decode();
    std::fclose(in);
    return 0;
}
