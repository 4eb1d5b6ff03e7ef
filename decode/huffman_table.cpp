#include "decode/huffman_table.h"

bool buildHuffmanTable(const HuffmanTableParts& t, const std::uint8_t* lengths,
                       unsigned symbolCount) {
    std::memset(t.lengthCount, 0, (kMaxCodeLength + 1) * sizeof *t.lengthCount);
    for (unsigned s = 0; s < symbolCount; ++s) {
        if (lengths[s] > kMaxCodeLength) return false;
        ++t.lengthCount[lengths[s]];
    }
    t.lengthCount[0] = 0;
    std::int32_t left = 1;
    unsigned code = 0, index = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
        left = 2 * left - t.lengthCount[len];
        if (left < 0) return false;
        t.firstCode[len] = static_cast<std::uint16_t>(code);
        t.firstIndex[len] = static_cast<std::uint16_t>(index);
        code = (code + t.lengthCount[len]) << 1;
        index += t.lengthCount[len];
    }
    std::uint16_t nextIndex[kMaxCodeLength + 1];
    std::memcpy(nextIndex, t.firstIndex, sizeof nextIndex);
    for (unsigned k = 0; k < 1u << t.tableBits; ++k) t.entries[k] = kHuffmanNoCode;
    for (unsigned s = 0; s < symbolCount; ++s) {
        unsigned len = lengths[s];
        if (!len) continue;
        unsigned rank = nextIndex[len]++;
        t.sortedSymbols[rank] = static_cast<std::uint16_t>(s);
        unsigned c = t.firstCode[len] + (rank - t.firstIndex[len]);
        if (len <= t.tableBits) {
            unsigned shift = t.tableBits - len;
            std::uint16_t e = static_cast<std::uint16_t>((s << 5) | len);
            for (unsigned k = c << shift, last = (c + 1) << shift; k < last; ++k) t.entries[k] = e;
        } else {
            t.entries[c >> (len - t.tableBits)] = kHuffmanLongCode;
        }
    }
    return true;
}
