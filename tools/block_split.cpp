#include "tools/block_split.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "tools/bit_price.h"

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
    auto keyOf = [&](const Code& c, bool position) {
        return position ? kLiteralSymbols + positionSymbol(c.position) : c.symbol;
    };
    // A column per symbol the codes use, literal/length symbols first.
    std::vector<std::uint32_t> column(kLiteralSymbols + positionSymbols, 0);
    for (std::size_t q = 0; q < n; ++q) {
        column[keyOf(codes[q], false)] = 1;
        if (codes[q].symbol >= 256) column[keyOf(codes[q], true)] = 1;
    }
    std::size_t columns = 0, literalColumns = 0;
    for (std::size_t k = 0; k < column.size(); ++k) {
        if (column[k]) column[k] = static_cast<std::uint32_t>(columns++);
        if (k + 1 == kLiteralSymbols) literalColumns = columns;
    }
    // Row k: the counts of the codes before part k.
    auto start = [&](std::size_t k) { return n * k / parts; };
    std::vector<std::uint32_t> before((parts + 1) * columns, 0);
    for (std::size_t k = 0; k < parts; ++k) {
        std::uint32_t* row = &before[(k + 1) * columns];
        std::copy_n(row - columns, columns, row);
        for (std::size_t q = start(k); q < start(k + 1); ++q) {
            ++row[column[keyOf(codes[q], false)]];
            if (codes[q].symbol >= 256) ++row[column[keyOf(codes[q], true)]];
        }
    }
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
