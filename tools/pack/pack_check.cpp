#include "tools/pack/pack_check.h"

#include <cstring>

#include "decode/lha_format.h"
#include "decode/slide_decoder.h"

namespace {

// The file's bytes not yet met, as the decoder produces its output.
struct Expected {
    const std::uint8_t* next;
    std::size_t left;

    static bool compare(void* context, const std::uint8_t* data, std::uint32_t length) {
        auto& e = *static_cast<Expected*>(context);
        if (length > e.left || std::memcmp(e.next, data, length) != 0) return false;
        e.next += length;
        e.left -= length;
        return true;
    }
};

}  // namespace

bool givesBack(const std::vector<std::uint8_t>& packed, int methodIndex,
               const std::uint8_t* original, std::size_t size) {
    const DecodeMethod& method = kMethodTable[methodIndex];
    // Sizes the header cannot hold are not ours to prove.
    if (method.kind != MemberKind::compressed || size > 0xFFFFFFFFu || packed.size() > 0xFFFFFFFFu)
        return false;
    SlideDecoder d(nullptr, nullptr, static_cast<std::uint32_t>(size),
                   static_cast<std::uint32_t>(packed.size()), method.windowBits, methodIndex);
    d.packedData = packed.data();
    Expected expected{original, size};
    d.emit = Expected::compare;
    d.emitContext = &expected;
    return d.decode() == DecodeResult::complete && expected.left == 0;
}
