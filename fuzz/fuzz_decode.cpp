// Shared by the decoder fuzz targets: the first bytes choose the member's sizes, the
// rest is its packed data; output goes nowhere, since the property is "never crashes,
// never reads or writes outside a buffer, always ends".
#pragma once
#include <cstdint>
#include <cstdio>

#include "decode/crc16.h"
#include "decode/lha_format.h"
#include "decode/slide_decoder.h"

inline void decodeFuzzInput(const std::uint8_t* data, std::size_t size, const int* methods,
                            int methodCount) {
    if (size < 4) return;
    static std::FILE* sink = std::fopen("/dev/null", "wb");
    static bool crc = (initCrcTable(), true);
    (void)crc;
    int method = methods[data[0] % methodCount];
    // Original sizes up to 512 KiB (past the decoder's 256 KiB ring) keep each run
    // short; packed sizes may claim more than there is, like a cut archive.
    std::uint32_t original = (static_cast<std::uint32_t>(data[1]) << 11) | (data[2] << 3);
    std::uint32_t packed = static_cast<std::uint32_t>(size - 4);
    if (data[3] & 1) packed += data[3] * 97u;
    if (data[3] == 0xFF) packed = 0;
    std::FILE* in = fmemopen(const_cast<std::uint8_t*>(data + 4), size - 4, "rb");
    if (!in) return;
    SlideDecoder d(in, sink, original, packed, kMethodTable[method].windowBits, method);
    d.decode();
    std::fclose(in);
}
