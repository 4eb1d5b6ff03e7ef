#include "tools/pack/lha_compressor.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "tools/pack/bit_price.h"
#include "tools/pack/block_split.h"
#include "tools/pack/match_finder.h"

namespace {

struct Level {
    unsigned depth;  // candidates (chain links or tree nodes) looked at per position
    unsigned nice;   // a match this long ends the search (optimal: and is taken at once)
    bool lazy;       // greedy levels: look one position ahead for a cheaper match
    bool optimal;    // choose codes by their price in bits, over a binary tree
    int passes;      // optimal: parses per block, each priced by the one before
    // Optimal: bytes the tree orders its strings by, at least `nice`. Ordering beyond
    // what is taken at once keeps the older strings of a long repeat, and their longer
    // matches, in the tree. The positions inside a match taken at once are ordered by
    // `nice` bytes only (a fifth of the walks on text): every tree is then ordered by
    // `nice` bytes alone, which its walks must not forget (match_finder.h).
    unsigned ordered = 0;
};
constexpr Level kLevels[10] = {  // by level number
    {4, 16, false, false, 1},    // (0: not a level)
    {4, 16, false, false, 1},      {8, 32, false, false, 1},
    {16, 32, true, false, 1},      {64, 256, true, false, 1},
    {12, 24, true, true, 1, 24},   {16, 64, true, true, 1, 128},  // 6, the default
    {32, 48, true, true, 2, 48},   {48, 96, true, true, 2, 96},
    {128, 256, true, true, 2, 256}};
constexpr bool treesOrderEnough() {
    for (const Level& l : kLevels)
        if (l.optimal && (l.ordered < l.nice || l.ordered > kMaxMatch)) return false;
    return true;
}
static_assert(treesOrderEnough(), "a tree orders at least the bytes taken at once");

constexpr unsigned kGreedyBlockCodes = 32768;  // written at once, in one block or more
// Lazy levels price matches shorter than this against their bytes as literals; longer
// ones always pay.
constexpr unsigned kPricedBelow = 8;
// Parsed at once (then written in one block or more): of input, ending after its last match.
constexpr std::size_t kOptimalBlockBytes = 49152;
static_assert(kGreedyBlockCodes <= kMaxBlockCodes && kOptimalBlockBytes + 1 <= kMaxBlockCodes,
              "a block's codes must fit its 16-bit count");
// Pieces of about this size, their number rounded up so that threads come out even.
constexpr std::size_t kPieceBytes = 2u << 20;
constexpr std::size_t kPiecesRoundedTo = 4;

// The parse offers this many lengths of a match at a time.
constexpr unsigned kLanes = 4;

// Prices of every literal/length symbol and position slot (extra bits included).
struct Prices {
    std::uint32_t symbol[kLiteralSymbols + kLanes - 1] = {};  // room for the parse's last lanes
    std::uint32_t position[kMaxCodeLength + 2];

    // Before any block is written: literals 8 bits, lengths 9, positions 4 + extra.
    explicit Prices(unsigned positionSymbols) {
        std::vector<std::uint8_t> lit(kLiteralSymbols, 9), pos(positionSymbols, 4);
        std::fill(lit.begin(), lit.begin() + 256, 8);
        set(lit, pos);
    }
    // Prices of codes of these lengths.
    void set(const std::vector<std::uint8_t>& lit, const std::vector<std::uint8_t>& pos) {
        // A symbol the lengths leave out costs as much as a rare one.
        for (unsigned s = 0; s < kLiteralSymbols; ++s) symbol[s] = kBit * (lit[s] ? lit[s] : 14);
        for (unsigned j = 0; j < pos.size(); ++j)
            position[j] = kBit * ((pos[j] ? pos[j] : 10u) + extraBits(j));
    }
    // Prices a block would have if it were coded with its own codes: half its code's length
    // and half the information in its count, which the next parse's codes follow more
    // closely than the lengths alone (about 0.07% smaller).
    void setFrom(const std::vector<Code>& codes, unsigned positionSymbols) {
        const SymbolCounts counts(codes.data(), codes.size(), positionSymbols);
        set(codeLengths(counts.literal), codeLengths(counts.position));
        auto blend = [](const std::vector<std::uint32_t>& count, std::uint32_t* price, auto extra) {
            std::uint32_t all = 0;
            for (std::uint32_t c : count) all += c;
            for (unsigned s = 0; s < count.size(); ++s)
                if (count[s])
                    price[s] =
                        (price[s] - extra(s) + log2Price(all) - log2Price(count[s])) / 2 + extra(s);
        };
        blend(counts.literal, symbol, [](unsigned) { return 0u; });
        blend(counts.position, position, [](unsigned j) { return kBit * extraBits(j); });
    }

private:
    static unsigned extraBits(unsigned positionSymbol) {
        return positionSymbol > 1 ? positionSymbol - 1 : 0;
    }
};

// Chooses codes by their price in bits. A block's matches are found once; a forward
// pass over them keeps the cheapest way to reach each position (a literal, or any
// length of any match found there), then walks back.
class OptimalParser {
public:
    OptimalParser(FinderTables& tables, const std::uint8_t* data, std::size_t begin,
                  std::size_t end, unsigned windowBits, const Level& level)
        : data_(data),
          end_(end),
          nice_(level.nice),
          finder_(tables, data, end, windowBits, level.depth, level.ordered, level.nice),
          matches_(tables.matches),
          first_(tables.first),
          cost_(tables.cost),
          step_(tables.steps) {
        for (std::size_t p = begin > (1u << windowBits) ? begin - (1u << windowBits) : 0; p < begin;
             ++p)
            finder_.skip(p);
    }

    // Finds the matches of the block that starts at `start`; returns where it ends.
    std::size_t gather(std::size_t start) {
        start_ = start;
        const std::size_t end = std::min(end_, start + kOptimalBlockBytes);
        first_.resize(kOptimalBlockBytes + kMaxMatch + 1);
        std::uint32_t* first = first_.data();  // by offset in the block
        std::uint32_t used = 0;
        std::size_t p = start;
        while (p < end) {
            first[p - start] = used;
            if (matches_.size() < used + finder_.maxMatches())
                matches_.resize(2 * matches_.size() + finder_.maxMatches());
            const unsigned found = finder_.findAll(p, &matches_[used]);
            used += found;
            if (found && matches_[used - 1].length >= nice_) {
                // Taken at once (see parse): its inner positions only join the tree.
                const unsigned len = matches_[used - 1].length;
                for (unsigned k = 1; k < len; ++k) {
                    finder_.skip(p + k);
                    first[p - start + k] = used;
                }
                p += len;
            } else {
                ++p;
            }
        }
        positions_ = p - start;
        first[positions_] = used;
        return p;
    }

    // Codes that take the longest match at each position, unless the next position's is
    // longer or it is a 3-byte match too far to pay for itself: much cheaper than a parse,
    // and close enough to it to price a block with no block before it.
    void lazyCodes(std::vector<Code>& codes) const {
        codes.resize(positions_);  // room for a code per position
        Code* out = codes.data();
        auto longest = [&](std::size_t i) {
            const Match none{0, 0};
            if (i >= positions_ || first_[i] == first_[i + 1]) return none;
            const Match m = matches_[first_[i + 1] - 1];
            return m.length == kMinMatch && m.distance > kFarthestThree ? none : m;
        };
        Match m = longest(0);
        for (std::size_t i = 0; i < positions_;) {
            const Match next = m.length ? longest(i + 1) : Match{0, 0};
            if (m.length && next.length <= m.length) {
                *out++ = matchCode(m.length, m.distance);
                i += m.length;
                m = longest(i);
            } else {
                *out++ = {data_[start_ + i], 0};
                m = m.length ? next : longest(i + 1);
                ++i;
            }
        }
        codes.resize(static_cast<std::size_t>(out - codes.data()));
    }

    // Codes for the gathered block at `prices`.
    void parse(const Prices& prices, std::vector<Code>& codes) {
        const std::size_t n = positions_;
        cost_.assign(n + kMaxMatch + kLanes, kUnreached);
        step_.resize(n + kMaxMatch + kLanes);
        codes.clear();
        std::uint32_t* cost = cost_.data();
        Match* step = step_.data();
        const std::uint8_t* bytes = data_ + start_;
        const std::uint32_t* lengthPrice = prices.symbol + 256 - kMinMatch;
        std::size_t stretch = 0;  // where the current stretch of free choice began
        cost[0] = 0;
        step[0] = {1, 0};
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t here = cost[i];
            const Match* m = &matches_[first_[i]];
            const Match* mEnd = &matches_[first_[i + 1]];
            if (m != mEnd && mEnd[-1].length >= nice_) {
                // A long match is taken at once: the choice rarely matters and it saves time.
                walkBack(stretch, i, codes);
                codes.push_back(matchCode(mEnd[-1].length, mEnd[-1].distance));
                stretch = i + mEnd[-1].length;
                // Nothing may reach past the match from before it: a new stretch starts.
                std::fill(cost + i + 1, cost + i + kMaxMatch + 1, kUnreached);
                cost[stretch] = here;
                step[stretch] = {1, 0};  // a fresh start: no match to go on from (see below)
                i = stretch - 1;
                continue;
            }
            const std::uint32_t literal = here + prices.symbol[bytes[i]];
            if (literal < cost[i + 1]) {
                cost[i + 1] = literal;
                step[i + 1] = {1, 0};
            }
            std::uint32_t* target = cost + i;
            // A match going on from the one that reached here: that one, made longer, reaches
            // the same places a code cheaper (literals have no distance).
            const Match via = step[i];
            for (unsigned from = kMinMatch; m != mEnd; ++m) {
                const Match match = *m;  // not reread after each store to `step`
                if (match.distance != via.distance || via.length + match.length > kMaxMatch) {
                    const std::uint32_t base =
                        here + prices.position[positionSymbol(match.distance - 1u)];
                    offer(target, step + i, lengthPrice, base, from, match.length, match.distance);
                }
                from = match.length + 1u;
            }
        }
        if (stretch < n) walkBack(stretch, n, codes);
    }

private:
    // Farther, a 3-byte match costs more than its bytes as literals, about.
    static constexpr unsigned kFarthestThree = 1024;
    // Compared as signed numbers: a block's costs stay far below (no code costs 64 bits).
    static constexpr std::uint32_t kUnreached = 0x7FFFFFFFu;
    static_assert((kOptimalBlockBytes + kMaxMatch) * 64 * kBit < kUnreached, "");

    // Offers lengths `from`..`to` of a match of `distance`, each at `base` plus the price
    // of its length, to the places they reach from `cost` and `step` (the match's start).
    static void offer(std::uint32_t* cost, Match* step, const std::uint32_t* lengthPrice,
                      std::uint32_t base, unsigned from, unsigned to, std::uint16_t distance) {
#if defined(__SSE2__)
        // Four lengths at a time, stored whether or not one is cheaper (a branch here costs
        // more); lanes past `to` keep what they hold (the arrays have room for them). A
        // lane's step is its length in the low half and the distance in the high half.
        static_assert(sizeof(Match) == 4 && offsetof(Match, length) == 0, "");
        const __m128i lane = _mm_setr_epi32(0, 1, 2, 3);
        const __m128i vbase = _mm_set1_epi32(static_cast<int>(base));
        const __m128i last = _mm_set1_epi32(static_cast<int>(to));
        const __m128i dist = _mm_set1_epi32(static_cast<int>(distance) << 16);
        for (unsigned l = from; l <= to; l += kLanes) {
            const __m128i len = _mm_add_epi32(_mm_set1_epi32(static_cast<int>(l)), lane);
            const __m128i c = _mm_add_epi32(
                vbase, _mm_loadu_si128(reinterpret_cast<const __m128i*>(lengthPrice + l)));
            auto* t = reinterpret_cast<__m128i*>(cost + l);
            auto* s = reinterpret_cast<__m128i*>(step + l);
            const __m128i old = _mm_loadu_si128(t);
            const __m128i take =
                _mm_andnot_si128(_mm_cmpgt_epi32(len, last), _mm_cmpgt_epi32(old, c));
            _mm_storeu_si128(t, _mm_or_si128(_mm_and_si128(take, c), _mm_andnot_si128(take, old)));
            const __m128i was = _mm_loadu_si128(s);
            _mm_storeu_si128(s, _mm_or_si128(_mm_and_si128(take, _mm_or_si128(len, dist)),
                                             _mm_andnot_si128(take, was)));
        }
#else
        for (unsigned l = from; l <= to; ++l) {
            const std::uint32_t c = base + lengthPrice[l];
            if (c < cost[l]) {
                cost[l] = c;
                step[l] = {static_cast<std::uint16_t>(l), distance};
            }
        }
#endif
    }

    // Appends the cheapest codes from `from` to `to` (block offsets): found last to first,
    // into room for a code per position, then moved down.
    void walkBack(std::size_t from, std::size_t to, std::vector<Code>& codes) {
        const std::size_t old = codes.size(), room = to - from;
        codes.resize(old + room);
        Code* const start = codes.data() + old;
        Code* out = start + room;
        for (std::size_t at = to; at > from;) {
            const Match s = step_[at];
            at -= s.length;
            *--out = s.length == 1 ? Code{data_[start_ + at], 0} : matchCode(s.length, s.distance);
        }
        const auto used = static_cast<std::size_t>(start + room - out);
        std::memmove(start, out, used * sizeof(Code));
        codes.resize(old + used);
    }

    const std::uint8_t* data_;
    std::size_t end_;
    unsigned nice_;
    TreeFinder finder_;
    std::size_t start_ = 0, positions_ = 0;  // the gathered block
    LargeVector<Match>& matches_;
    LargeVector<std::uint32_t>& first_;  // per position of the block: its first match
    LargeVector<std::uint32_t>& cost_;
    LargeVector<Match>& step_;  // per position: the code that reaches it cheapest
};

// Writes `codes` (one or more) as the blocks they cost the fewest bits in.
void writeBlocks(BlockWriter& blocks, const std::vector<Code>& codes) {
    std::size_t from = 0;
    for (std::size_t end : blockEnds(codes.data(), codes.size(), blocks.positionSymbols())) {
        blocks.write(codes.data() + from, end - from);
        from = end;
    }
}

void packOptimal(FinderTables& tables, const std::uint8_t* data, std::size_t begin, std::size_t end,
                 unsigned windowBits, const Level& level, BlockWriter& blocks) {
    OptimalParser parser(tables, data, begin, end, windowBits, level);
    Prices prices(blocks.positionSymbols());
    std::vector<Code> codes;
    for (std::size_t pos = begin; pos < end;) {
        // The first block has no block before it to price it (a small file is all first
        // block): codes chosen without prices do.
        const bool first = pos == begin;
        pos = parser.gather(pos);
        if (first) {
            parser.lazyCodes(codes);
            prices.setFrom(codes, blocks.positionSymbols());
        }
        parser.parse(prices, codes);
        for (int pass = 1; pass < level.passes; ++pass) {
            prices.setFrom(codes, blocks.positionSymbols());
            parser.parse(prices, codes);
        }
        writeBlocks(blocks, codes);
        if (pos < end) prices.setFrom(codes, blocks.positionSymbols());  // the next is much like it
    }
}

void packGreedy(FinderTables& tables, const std::uint8_t* data, std::size_t begin, std::size_t end,
                unsigned windowBits, const Level& level, BlockWriter& blocks) {
    ChainFinder finder(tables, data, begin, end, windowBits, level.depth, level.nice);
    Prices prices(blocks.positionSymbols());
    std::vector<Code> codes;
    codes.reserve(kGreedyBlockCodes);
    auto emit = [&](Code c) {
        codes.push_back(c);
        if (codes.size() == kGreedyBlockCodes) {
            writeBlocks(blocks, codes);
            codes.clear();
            prices.set(blocks.literalLengths, blocks.positionLengths);
        }
    };
    // Lazy levels weigh a match by its price in the previous block's codes.
    auto matchPrice = [&](Match m) {
        return prices.symbol[256 + m.length - kMinMatch] +
               prices.position[positionSymbol(m.distance - 1u)];
    };
    auto literalPrice = [&](std::size_t p, unsigned n) {
        std::uint32_t c = 0;
        for (unsigned i = 0; i < n; ++i) c += prices.symbol[data[p + i]];
        return c;
    };
    // A short match that costs more than its bytes as literals is no match.
    auto find = [&](std::size_t p) {
        Match m = finder.find(p);
        if (level.lazy && m.length && m.length < kPricedBelow &&
            matchPrice(m) >= literalPrice(p, m.length))
            m.length = 0;
        return m;
    };
    std::size_t pos = begin;
    Match match = find(pos);
    while (pos < end) {
        if (match.length == 0) {
            emit({data[pos], 0});
            match = find(++pos);
            continue;
        }
        if (level.lazy && match.length < level.nice && pos + 1 < end) {
            Match next = find(pos + 1);
            // A literal and the next match, or this match: whichever costs fewer bits per
            // byte it covers.
            if (next.length && next.length + 1 >= match.length &&
                (prices.symbol[data[pos]] + matchPrice(next)) * match.length <
                    matchPrice(match) * (next.length + 1u)) {
                emit({data[pos], 0});
                ++pos;
                match = next;
                continue;
            }
        }
        emit(matchCode(match.length, match.distance));
        pos += match.length;
        match = find(pos);
    }
    if (!codes.empty()) writeBlocks(blocks, codes);
}

}  // namespace

std::size_t pieceCount(std::size_t size) {
    std::size_t pieces = (size + kPieceBytes - 1) / kPieceBytes;
    return pieces > 1 ? (pieces + kPiecesRoundedTo - 1) / kPiecesRoundedTo * kPiecesRoundedTo
                      : pieces;
}

std::size_t pieceLength(std::size_t size, std::size_t piece) {
    const std::size_t pieces = pieceCount(size);
    const std::size_t most = pieces ? (size + pieces - 1) / pieces : 0;
    return std::min(size - std::min(size, piece * most), most);
}

BitWriter compressPiece(const std::uint8_t* data, std::size_t size, std::size_t piece,
                        const CompressOptions& options, FinderTables& tables) {
    const Level& level = kLevels[std::clamp(options.level, 1, 9)];
    const unsigned windowBits = static_cast<unsigned>(options.windowBits);
    const std::size_t begin = piece * pieceLength(size, 0);
    const std::size_t end = begin + pieceLength(size, piece);
    BitWriter bits;
    bits.bytes.reserve(end - begin);  // mapped as it is written, and never moved
    BlockWriter blocks(bits, windowBits);
    if (level.optimal) packOptimal(tables, data, begin, end, windowBits, level, blocks);
    else packGreedy(tables, data, begin, end, windowBits, level, blocks);
    return bits;
}

std::vector<std::uint8_t> joinPieces(const std::vector<BitWriter>& pieces) {
    // Sized once: memory fresh to a process costs more than the copy into it.
    std::size_t bytes = 1;
    for (const BitWriter& s : pieces) bytes += s.bytes.size() + 1;
    BitWriter out;
    out.bytes.reserve(bytes);
    for (const BitWriter& s : pieces) out.append(s);
    out.flush();
    return std::move(out.bytes);
}

std::vector<std::uint8_t> compressLha(const std::uint8_t* data, std::size_t size,
                                      const CompressOptions& options) {
    std::vector<BitWriter> pieces;
    FinderTables tables;
    for (std::size_t k = 0; k < pieceCount(size); ++k)
        pieces.push_back(compressPiece(data, size, k, options, tables));
    return joinPieces(pieces);
}
