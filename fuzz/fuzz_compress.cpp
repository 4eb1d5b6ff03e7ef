// The compressor's property: whatever the input, our decoder gives back exactly its
// bytes, and the packer's own check agrees. The fuzz build also compares every match a
// finder reports with its bytes.
//
// Byte 0 picks the method and level. Bytes 1 and 2 say how the rest grows into the input
// (byte 1 zero: it does not): into records of a few kinds cut from it, in an order of
// their own, each with a counter that rises from record to record, up to 16 KiB to 1 MiB
// in all. Programs are full of such tables (unwind records, relocations, imports): they
// run past the window and into deep trees of long near-repeats, where the default level
// once reported matches that the bytes did not hold.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "decode/lha_format.h"
#include "decode/slide_decoder.h"
#include "tools/pack/lha_compressor.h"
#include "tools/pack/pack_check.h"

namespace {

std::vector<std::uint8_t> grown(const std::uint8_t* data, std::size_t size, unsigned how,
                                unsigned sizeClass) {
    std::vector<std::uint8_t> input(data, data + size);
    const unsigned kinds = 1 + (how & 3);
    if (!how || size < kinds * 16) return input;
    const std::size_t most = std::size_t(16) << 10 << (sizeClass % 7);
    const std::size_t length = size / kinds;
    const std::size_t field = 8 + (how >> 2 & 7) * 3;
    const std::uint32_t step = 16u << (how >> 5 & 3);
    std::uint32_t counter = 0x1000, order = how;
    while (input.size() + length <= most) {
        order = order * 1103515245u + 12345u;
        const unsigned kind = (order >> 16) % kinds;
        const std::size_t at = input.size();
        const std::size_t n = length - kind * 7 % (length / 2);
        input.insert(input.end(), data + kind * length, data + kind * length + n);
        counter += step;
        if (field + 4 <= n) std::memcpy(&input[at + field], &counter, 4);
    }
    return input;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const int method = findMethod("-lh5-") + data[0] % 3;  // to -lh7-
    const int level = 1 + data[0] / 3 % 9;
    const std::vector<std::uint8_t> input = grown(data + 3, size - 3, data[1], data[2]);
    const CompressOptions options{kMethodTable[method].windowBits, level};
    std::vector<std::uint8_t> packed = compressLha(input.data(), input.size(), options);

    // Decoded as the installer reads a member, through a stream, into a buffer of one
    // byte more than the input: a byte too many shows.
    std::vector<std::uint8_t> out(input.size() + 1);
    std::FILE* in = fmemopen(packed.data(), packed.size() + 1, "rb");  // +1: fmemopen refuses 0
    std::FILE* to = fmemopen(out.data(), out.size(), "wb");
    std::setvbuf(to, nullptr, _IONBF, 0);
    SlideDecoder d(in, to, static_cast<std::uint32_t>(input.size()),
                   static_cast<std::uint32_t>(packed.size()), kMethodTable[method].windowBits,
                   method);
    const bool complete = d.decode() == DecodeResult::complete;
    const long written = std::ftell(to);
    std::fclose(in);
    std::fclose(to);
    if (!complete || written != static_cast<long>(input.size()) ||
        (!input.empty() && std::memcmp(out.data(), input.data(), input.size()) != 0))
        std::abort();
    // The packer's check, which decodes in memory, must say the same.
    if (!givesBack(packed, method, input.data(), input.size())) std::abort();
    return 0;
}
