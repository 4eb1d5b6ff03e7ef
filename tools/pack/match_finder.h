// Match finders over one input buffer. Positions are absolute offsets into the buffer;
// a finder may be started part-way in and primed with the window before its start.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tools/pack/block_writer.h"
#include "tools/pack/large_memory.h"

struct Match {
    std::uint16_t length;
    std::uint16_t distance;
};

// The tables a finder works in, kept by the caller from one finder to the next: a run
// over many small files then maps their memory once. Entries are positions + base + 1,
// and each finder's base lies its window past every entry of the ones before and past 0
// (no entry): those count as out of reach, and no table is cleared between finders. The optimal
// parser keeps its arrays here too.
struct FinderTables {
    LargeVector<std::uint32_t> head3, head, links;
    LargeVector<std::uint32_t> first, cost;
    LargeVector<Match> matches, steps;
    // The base of a finder over positions below `end` with a window of `window` bytes.
    std::uint32_t reserve(std::size_t end, std::uint32_t window);

private:
    std::uint64_t next_ = 0;  // past every entry so far
};

// Hash chains of 3-byte prefixes: cheap to keep, for the greedy and lazy levels.
class ChainFinder {
public:
    // Matches end at `end`; positions from `begin` on are inserted as they are passed.
    ChainFinder(FinderTables& tables, const std::uint8_t* data, std::size_t begin, std::size_t end,
                unsigned windowBits, unsigned depth, unsigned nice);

    // The longest match at `pos` (length 0 when none of 3 or more); `pos` only grows.
    // Every candidate is compared from its first byte, so a match found holds.
    Match find(std::size_t pos);

private:
    static constexpr unsigned kHashBits = 16;
    const std::uint8_t* data_;
    std::size_t end_, inserted_;
    unsigned maxDistance_, depth_, nice_;
    std::uint32_t base_;
    LargeVector<std::uint32_t>&head_, &prev_;  // positions + base + 1
};

// A binary tree of the window's strings per 4-byte prefix (newest at the root, ordered
// by their bytes): one walk finds the nearest match of every length and inserts the
// position. The nearest 3-byte match comes from a table of its own.
//
// Invariants:
// - Order. A walk that collects compares up to `ordered` bytes, one that only inserts up
//   to `skipOrdered`; a string equal to a node that far takes the node's place. So each
//   tree is a search tree of its strings' first min(ordered, skipOrdered) bytes only:
//   beyond them, strings that agree that far may stand in any order. A walk may skip
//   the bytes that every string below shares with the new one (the lesser of what the
//   nearest smaller and larger nodes passed share with it), but never more than that
//   common order: trusting a longer shared prefix reported matches the bytes did not
//   hold.
// - Reports. Every match reported has `length` bytes equal at `distance` (a match that
//   reaches the compared limit is measured on, up to kMaxMatch or the end), each longer
//   than the one before. Builds with VOPA_CHECK_MATCHES compare them.
class TreeFinder {
public:
    // Walks order strings by `ordered` bytes, or by `skipOrdered` when they only insert.
    TreeFinder(FinderTables& tables, const std::uint8_t* data, std::size_t end, unsigned windowBits,
               unsigned depth, unsigned ordered, unsigned skipOrdered);

    // Most matches findAll reports at one position.
    unsigned maxMatches() const { return depth_ + 1; }
    // Writes the matches at `pos` to `out`, each longer than the one before, and returns
    // their number; inserts `pos`. Positions are passed in order, each once, through
    // findAll or skip.
    unsigned findAll(std::size_t pos, Match* out) { return walk<true>(pos, out); }
    void skip(std::size_t pos) { walk<false>(pos, nullptr); }

private:
    template <bool kCollect>
    unsigned walk(std::size_t pos, Match* out);

    static constexpr unsigned kHashBits = 16;
    static constexpr unsigned kAhead = 4;  // positions
    const std::uint8_t* data_;
    std::size_t end_;
    unsigned maxDistance_, mask_, depth_, ordered_, skipOrdered_;
    unsigned orderedByAll_;  // bytes every tree is a search tree of (see above)
    std::uint32_t base_;
    LargeVector<std::uint32_t>&head3_, &head_, &son_;  // positions + base + 1
};
