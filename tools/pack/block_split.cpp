#include "tools/pack/block_split.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "tools/pack/bit_price.h"

namespace {

// A block's tables, as estimated: a fixed part, and each symbol whose length they send.
constexpr std::uint64_t kTableBits = 150 * kBit;
constexpr std::uint64_t kLiteralEntryBits = kBit * 9 / 2, kPositionEntryBits = 3 * kBit;

// log2Price of every count a block can hold.
const std::vector<std::uint16_t>& log2Table() {
    static const std::vector<std::uint16_t> table = [] {
        std::vector<std::uint16_t> t(kMaxBlockCodes + 1, 0);
        for (std::uint32_t c = 1; c <= kMaxBlockCodes; ++c)
            t[c] = static_cast<std::uint16_t>(log2Price(c));
        return t;
    }();
    return table;
}

}  // namespace

std::vector<std::size_t> blockEnds(const Code* codes, std::size_t n, unsigned positionSymbols) {
    const std::size_t parts = std::min(kSplitParts, n / kSplitPartCodes);
    if (parts < 2) return {n};
    auto start = [&](std::size_t k) { return n * k / parts; };
    std::vector<SymbolCounts> counts;
    for (std::size_t k = 0; k < parts; ++k)
        counts.emplace_back(codes + start(k), start(k + 1) - start(k), positionSymbols);
    auto countOf = [](const SymbolCounts& c, std::size_t key) {  // literal/length symbols first
        return key < kLiteralSymbols ? c.literal[key] : c.position[key - kLiteralSymbols];
    };
    // A column per symbol the codes use, literal/length symbols first.
    std::vector<std::size_t> used;
    std::size_t literalColumns = 0;
    for (std::size_t key = 0; key < kLiteralSymbols + positionSymbols; ++key) {
        if (key == kLiteralSymbols) literalColumns = used.size();
        for (const SymbolCounts& c : counts)
            if (countOf(c, key)) {
                used.push_back(key);
                break;
            }
    }
    const std::size_t columns = used.size();
    // Row k: the counts of the codes before part k.
    std::vector<std::uint32_t> before((parts + 1) * columns, 0);
    for (std::size_t k = 0; k < parts; ++k)
        for (std::size_t c = 0; c < columns; ++c)
            before[(k + 1) * columns + c] = before[k * columns + c] + countOf(counts[k], used[c]);
    // The estimated bits of parts i..j-1 as one block: their order-0 information, and
    // their tables.
    const std::uint16_t* lg = log2Table().data();
    auto bits = [&](std::size_t i, std::size_t j) {
        const std::uint32_t *a = &before[i * columns], *b = &before[j * columns];
        auto alphabet = [&](std::size_t from, std::size_t to, std::uint64_t entryBits) {
            std::uint64_t total = 0, sum = 0, entries = 0;
            for (std::size_t c = from; c < to; ++c) {
                const std::uint32_t k = b[c] - a[c];
                total += k;
                sum += std::uint64_t{k} * lg[k];
                entries += k != 0;
            }
            return total * lg[total] - sum + entries * entryBits;
        };
        return kTableBits + alphabet(0, literalColumns, kLiteralEntryBits) +
               alphabet(literalColumns, columns, kPositionEntryBits);
    };
    // The cheapest cuts: fewest[j] is the least the first j parts cost, cut after from[j].
    std::vector<std::uint64_t> fewest(parts + 1, 0);
    std::vector<std::size_t> from(parts + 1, 0);
    for (std::size_t j = 1; j <= parts; ++j) {
        fewest[j] = std::numeric_limits<std::uint64_t>::max();
        for (std::size_t i = 0; i < j; ++i) {
            const std::uint64_t b = fewest[i] + bits(i, j);
            if (b < fewest[j]) fewest[j] = b, from[j] = i;
        }
    }
    std::vector<std::size_t> ends;
    for (std::size_t j = parts; j; j = from[j]) ends.push_back(start(j));
    std::reverse(ends.begin(), ends.end());
    return ends;
}
