#include "tools/lha_compressor.h"

#include <algorithm>
#include <cstring>
#include <queue>

namespace {

constexpr unsigned kLiteralSymbols = 510;   // 256 literals + matches of 3..256
constexpr unsigned kLengthCodeSymbols = 19;
constexpr unsigned kMinMatch = 3, kMaxMatch = 256;
constexpr unsigned kMaxCodeLength = 16;
constexpr unsigned kBlockCodes = 32768;     // codes per block (a 16-bit count)
constexpr unsigned kHashBits = 16;

struct BitWriter {
    std::vector<std::uint8_t> bytes;
    std::uint64_t acc = 0;
    unsigned bits = 0;
    void put(std::uint32_t value, unsigned n) {
        if (!n) return;
        acc = (acc << n) | (value & ((1ull << n) - 1));
        bits += n;
        while (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<std::uint8_t>(acc >> bits));
        }
    }
    void flush() {
        if (bits) bytes.push_back(static_cast<std::uint8_t>(acc << (8 - bits)));
        bits = 0;
    }
};

// Code lengths of at most 16 bits for `freq`; unused symbols get 0.
std::vector<std::uint8_t> codeLengths(std::vector<std::uint32_t> freq) {
    const std::size_t n = freq.size();
    std::vector<std::uint8_t> lengths(n, 0);
    for (;;) {
        using Node = std::pair<std::uint64_t, int>;
        std::priority_queue<Node, std::vector<Node>, std::greater<Node>> heap;
        std::vector<int> parent(2 * n, -1);
        int next = static_cast<int>(n);
        for (std::size_t s = 0; s < n; ++s)
            if (freq[s]) heap.push({freq[s], static_cast<int>(s)});
        if (heap.size() < 2) return lengths;  // 0 or 1 symbol: the caller sends an escape
        while (heap.size() > 1) {
            Node a = heap.top(); heap.pop();
            Node b = heap.top(); heap.pop();
            parent[a.second] = parent[b.second] = next;
            heap.push({a.first + b.first, next++});
        }
        unsigned longest = 0;
        for (std::size_t s = 0; s < n; ++s) {
            if (!freq[s]) continue;
            unsigned depth = 0;
            for (int p = static_cast<int>(s); parent[p] >= 0; p = parent[p]) ++depth;
            lengths[s] = static_cast<std::uint8_t>(depth);
            longest = std::max(longest, depth);
        }
        if (longest <= kMaxCodeLength) return lengths;
        // Too deep: flatten the counts and build again (rare; costs a little size).
        for (auto& f : freq)
            if (f) f = (f + 1) / 2;
    }
}

// Canonical codes in the decoder's order: by length, then symbol.
std::vector<std::uint16_t> canonicalCodes(const std::vector<std::uint8_t>& lengths) {
    unsigned count[kMaxCodeLength + 2] = {}, next[kMaxCodeLength + 2] = {};
    for (std::uint8_t l : lengths) ++count[l];
    count[0] = 0;
    unsigned code = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
        next[len] = code;
        code = (code + count[len]) << 1;
    }
    std::vector<std::uint16_t> codes(lengths.size(), 0);
    for (std::size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s]) codes[s] = static_cast<std::uint16_t>(next[lengths[s]]++);
    return codes;
}

unsigned positionSymbol(unsigned p) {  // p = distance - 1
    unsigned j = 0;
    while (p) { ++j; p >>= 1; }
    return j;
}

struct Code {
    std::uint16_t symbol;    // literal/length symbol
    std::uint16_t position;  // distance - 1 (matches)
};

class BlockWriter {
public:
    BlockWriter(BitWriter& out, unsigned positionSymbols, unsigned positionCountBits)
        : out_(out), positionSymbols_(positionSymbols), positionCountBits_(positionCountBits) {}

    // Writes one block; leaves its code lengths in literalLengths / positionLengths.
    void write(const std::vector<Code>& codes) {
        std::vector<std::uint32_t> litFreq(kLiteralSymbols), posFreq(positionSymbols_);
        for (const Code& c : codes) {
            ++litFreq[c.symbol];
            if (c.symbol >= 256) ++posFreq[positionSymbol(c.position)];
        }
        std::vector<std::uint8_t> litLen = codeLengths(litFreq), posLen = codeLengths(posFreq);
        out_.put(static_cast<std::uint32_t>(codes.size()), 16);
        writeLiteralLengths(litFreq, litLen);
        writeSmallLengths(posFreq, posLen, positionCountBits_, -1);

        std::vector<std::uint16_t> litCode = canonicalCodes(litLen), posCode = canonicalCodes(posLen);
        literalLengths = litLen;
        positionLengths = posLen;
        for (const Code& c : codes) {
            out_.put(litCode[c.symbol], litLen[c.symbol]);
            if (c.symbol < 256) continue;
            unsigned j = positionSymbol(c.position);
            out_.put(posCode[j], posLen[j]);
            if (j > 1) out_.put(c.position - (1u << (j - 1)), j - 1);
        }
    }

    std::vector<std::uint8_t> literalLengths, positionLengths;

private:
    // The small format: 0..6 in three bits, 7 and more as 111, (length - 7) ones, 0.
    // An alphabet of one symbol is sent as a count of 0 and the symbol.
    void writeSmallLengths(const std::vector<std::uint32_t>& freq, const std::vector<std::uint8_t>& len,
                           unsigned countBits, int specialIndex) {
        int used = 0, only = 0;
        for (std::size_t s = 0; s < freq.size(); ++s)
            if (freq[s]) { ++used; only = static_cast<int>(s); }
        if (used <= 1) {
            out_.put(0, countBits);
            out_.put(static_cast<std::uint32_t>(only), countBits);
            return;
        }
        int n = static_cast<int>(len.size());
        while (n > 0 && len[n - 1] == 0) --n;
        out_.put(static_cast<std::uint32_t>(n), countBits);
        for (int i = 0; i < n;) {
            unsigned k = len[i++];
            if (k <= 6) out_.put(k, 3);
            else out_.put((1u << (k - 3)) - 2, k - 3);
            if (i == specialIndex) {
                int z = 0;
                while (i + z < n && z < 3 && len[i + z] == 0) ++z;
                out_.put(static_cast<std::uint32_t>(z), 2);
                i += z;
            }
        }
    }

    // Literal/length lengths go through the length code, with runs of zeros.
    void writeLiteralLengths(const std::vector<std::uint32_t>& freq, const std::vector<std::uint8_t>& len) {
        int used = 0, only = 0;
        for (std::size_t s = 0; s < freq.size(); ++s)
            if (freq[s]) { ++used; only = static_cast<int>(s); }
        if (used <= 1) {
            std::vector<std::uint32_t> none(kLengthCodeSymbols);
            none[0] = 1;
            writeSmallLengths(none, std::vector<std::uint8_t>(kLengthCodeSymbols), 5, 3);
            out_.put(0, 9);
            out_.put(static_cast<std::uint32_t>(only), 9);
            return;
        }
        int n = kLiteralSymbols;
        while (n > 0 && len[n - 1] == 0) --n;
        // Length-code symbols: 0 = one zero, 1 = 3..18 zeros (4 bits), 2 = 20..531 zeros
        // (9 bits), c + 2 = length c.
        struct Item { unsigned symbol, extra, extraBits; };
        std::vector<Item> items;
        for (int i = 0; i < n;) {
            if (len[i]) { items.push_back({len[i] + 2u, 0, 0}); ++i; continue; }
            int run = 0;
            while (i + run < n && len[i + run] == 0) ++run;
            i += run;
            while (run > 0) {
                if (run <= 2) { items.push_back({0, 0, 0}); --run; }
                else if (run <= 18) { items.push_back({1, static_cast<unsigned>(run - 3), 4}); run = 0; }
                else if (run == 19) { items.push_back({0, 0, 0}); items.push_back({1, 15, 4}); run = 0; }
                else {
                    int take = std::min(run, 531);
                    items.push_back({2, static_cast<unsigned>(take - 20), 9});
                    run -= take;
                }
            }
        }
        std::vector<std::uint32_t> tFreq(kLengthCodeSymbols);
        for (const Item& it : items) ++tFreq[it.symbol];
        std::vector<std::uint8_t> tLen = codeLengths(tFreq);
        writeSmallLengths(tFreq, tLen, 5, 3);
        std::vector<std::uint16_t> tCode = canonicalCodes(tLen);
        out_.put(static_cast<std::uint32_t>(n), 9);
        for (const Item& it : items) {
            out_.put(tCode[it.symbol], tLen[it.symbol]);  // a single-symbol code takes no bits
            out_.put(it.extra, it.extraBits);
        }
    }

    BitWriter& out_;
    unsigned positionSymbols_, positionCountBits_;
};

struct Level {
    unsigned chain;   // candidates looked at per position
    unsigned nice;    // a match this long ends the search (and, optimal: is taken at once)
    bool lazy;
    bool optimal;     // choose codes by their price in bits instead of greedily
};
constexpr Level kLevels[10] = {{4, 16, false, false},   {4, 16, false, false},  {8, 32, false, false},
                               {16, 32, true, false},   {32, 64, true, false},  {12, 48, true, true},
                               {16, 64, true, true},    {32, 96, true, true},   {64, 160, true, true},
                               {256, 256, true, true}};

class MatchFinder {
public:
    MatchFinder(const std::uint8_t* data, std::size_t size, unsigned windowBits, const Level& level)
        : data_(data), size_(size), maxDistance_((1u << windowBits) - 1), mask_((1u << 16) - 1),
          level_(level), head_(1u << kHashBits, -1), prev_(1u << 16, -1) {}

    // Inserts positions up to `pos` (exclusive) into the chains.
    void insertUpTo(std::size_t pos) {
        for (; inserted_ < pos; ++inserted_) {
            if (inserted_ + kMinMatch > size_) continue;
            std::uint32_t h = hash(inserted_);
            prev_[inserted_ & mask_] = head_[h];
            head_[h] = static_cast<std::int64_t>(inserted_);
        }
    }

    // Every match at `pos` that is longer than all nearer ones, shortest first.
    void findAll(std::size_t pos, std::vector<std::pair<unsigned, unsigned>>& out) {
        out.clear();
        insertUpTo(pos);
        if (pos + kMinMatch > size_) return;
        unsigned best = kMinMatch - 1;
        unsigned limit = static_cast<unsigned>(std::min<std::size_t>(kMaxMatch, size_ - pos));
        std::int64_t c = head_[hash(pos)];
        const std::uint8_t* a = data_ + pos;
        for (unsigned chain = level_.chain; c >= 0 && chain; --chain) {
            std::size_t distance = pos - static_cast<std::size_t>(c);
            if (distance > maxDistance_ || distance == 0) break;
            const std::uint8_t* b = data_ + c;
            if (b[best] == a[best] && b[0] == a[0] && b[1] == a[1]) {
                unsigned len = 0;
                while (len < limit && a[len] == b[len]) ++len;
                if (len > best) {
                    best = len;
                    out.push_back({len, static_cast<unsigned>(distance)});
                    if (len >= level_.nice || len == limit) break;
                }
            }
            c = prev_[static_cast<std::size_t>(c) & mask_];
        }
    }

    // Longest match at `pos` (length 0 when none of 3 or more).
    std::pair<unsigned, unsigned> find(std::size_t pos) {
        insertUpTo(pos);
        unsigned best = 0, bestDistance = 0;
        if (pos + kMinMatch > size_) return {0, 0};
        unsigned limit = static_cast<unsigned>(std::min<std::size_t>(kMaxMatch, size_ - pos));
        std::int64_t c = head_[hash(pos)];
        for (unsigned chain = level_.chain; c >= 0 && chain; --chain) {
            std::size_t distance = pos - static_cast<std::size_t>(c);
            if (distance > maxDistance_) break;
            const std::uint8_t* a = data_ + pos;
            const std::uint8_t* b = data_ + c;
            if (b[best] == a[best] && b[0] == a[0]) {
                unsigned len = 0;
                while (len < limit && a[len] == b[len]) ++len;
                if (len > best) {
                    best = len;
                    bestDistance = static_cast<unsigned>(distance);
                    if (len >= level_.nice || len == limit) break;
                }
            }
            c = prev_[static_cast<std::size_t>(c) & mask_];
        }
        return best >= kMinMatch ? std::make_pair(best, bestDistance) : std::make_pair(0u, 0u);
    }

private:
    std::uint32_t hash(std::size_t p) const {
        std::uint32_t v = data_[p] | (data_[p + 1] << 8) | (data_[p + 2] << 16);
        return (v * 2654435761u) >> (32 - kHashBits);
    }

    const std::uint8_t* data_;
    std::size_t size_;
    unsigned maxDistance_, mask_;
    Level level_;
    std::vector<std::int64_t> head_, prev_;
    std::size_t inserted_ = 0;
};

// Chooses codes by their price in bits: a forward pass over a segment of positions
// keeps the cheapest way to reach each one (a literal, or any length of any match
// found there), then walks back. Prices come from the code lengths of the block
// written last, so they follow the data.
class OptimalParser {
public:
    OptimalParser(MatchFinder& finder, const std::uint8_t* data, std::size_t size, const Level& level,
                  unsigned positionSymbols)
        : finder_(finder), data_(data), size_(size), level_(level), positionSymbols_(positionSymbols) {
        std::vector<std::uint8_t> lit(kLiteralSymbols, 9), pos(positionSymbols, 4);
        for (unsigned s = 0; s < 256; ++s) lit[s] = 8;
        setPrices(lit, pos);
    }

    void setPrices(const std::vector<std::uint8_t>& lit, const std::vector<std::uint8_t>& pos) {
        // A symbol the last block did not use costs as much as a rare one.
        for (unsigned s = 0; s < kLiteralSymbols; ++s) symbolPrice_[s] = lit[s] ? lit[s] : 14;
        for (unsigned j = 0; j < positionSymbols_; ++j)
            positionPrice_[j] = (pos[j] ? pos[j] : 10) + (j > 1 ? j - 1 : 0);
    }

    // Parses [pos, end) into codes; returns where it stopped (it may stop early after a
    // long match, which it has already emitted).
    template <class Emit>
    std::size_t parseSegment(std::size_t start, std::size_t end, Emit emit) {
        const std::size_t n = end - start;
        cost_.assign(n + kMaxMatch + 1, 0xFFFFFFFFu);
        length_.assign(n + kMaxMatch + 1, 0);
        distance_.assign(n + kMaxMatch + 1, 0);
        cost_[0] = 0;
        std::size_t stop = n;
        std::pair<unsigned, unsigned> forced{0, 0};
        for (std::size_t i = 0; i < n; ++i) {
            std::uint32_t here = cost_[i];
            if (here == 0xFFFFFFFFu) continue;
            std::uint32_t lit = here + symbolPrice_[data_[start + i]];
            if (lit < cost_[i + 1]) {
                cost_[i + 1] = lit;
                length_[i + 1] = 1;
            }
            finder_.findAll(start + i, matches_);
            unsigned from = kMinMatch;
            for (const auto& [len, dist] : matches_) {
                std::uint32_t base = here + positionPrice_[positionSymbol(dist - 1)];
                for (unsigned l = from; l <= len; ++l) {
                    // Of a long range only the shortest and the longest lengths are
                    // worth pricing: the middle rarely wins and costs the most time.
                    if (l == from + 8 && len > from + 24) l = len - 15;
                    std::uint32_t c = base + symbolPrice_[256 + l - kMinMatch];
                    if (c < cost_[i + l]) {
                        cost_[i + l] = c;
                        length_[i + l] = static_cast<std::uint16_t>(l);
                        distance_[i + l] = dist;
                    }
                }
                from = len + 1;
            }
            // A long match is taken at once: the choice rarely matters and it saves time.
            if (!matches_.empty() && matches_.back().first >= level_.nice) {
                stop = i;
                forced = matches_.back();
                break;
            }
        }
        // Walk back from the stop point and emit in order.
        path_.clear();
        for (std::size_t at = stop; at > 0;) {
            unsigned l = length_[at];
            at -= l;
            path_.push_back(l == 1 ? Code{data_[start + at], 0}
                                   : Code{static_cast<std::uint16_t>(256 + l - kMinMatch),
                                          static_cast<std::uint16_t>(distance_[at + l] - 1)});
        }
        for (auto it = path_.rbegin(); it != path_.rend(); ++it) emit(*it);
        std::size_t next = start + stop;
        if (forced.first) {
            emit(Code{static_cast<std::uint16_t>(256 + forced.first - kMinMatch),
                      static_cast<std::uint16_t>(forced.second - 1)});
            next += forced.first;
        }
        return next;
    }

private:
    MatchFinder& finder_;
    const std::uint8_t* data_;
    std::size_t size_;
    Level level_;
    unsigned positionSymbols_;
    std::uint32_t symbolPrice_[kLiteralSymbols];
    std::uint32_t positionPrice_[kMaxCodeLength + 2];
    std::vector<std::uint32_t> cost_;
    std::vector<std::uint16_t> length_;
    std::vector<unsigned> distance_;
    std::vector<std::pair<unsigned, unsigned>> matches_;
    std::vector<Code> path_;
};

}  // namespace

std::vector<std::uint8_t> compressLha(const std::uint8_t* data, std::size_t size,
                                      const CompressOptions& options) {
    const unsigned positionSymbols = options.windowBits <= 14 ? 14 : options.windowBits + 1;
    const unsigned positionCountBits = options.windowBits <= 14 ? 4 : 5;
    const Level& level = kLevels[std::clamp(options.level, 1, 9)];
    BitWriter out;
    BlockWriter blocks(out, positionSymbols, positionCountBits);
    MatchFinder finder(data, size, static_cast<unsigned>(options.windowBits), level);
    std::vector<Code> codes;
    codes.reserve(kBlockCodes);
    auto emit = [&](Code c) {
        codes.push_back(c);
        if (codes.size() == kBlockCodes) {
            blocks.write(codes);
            codes.clear();
        }
    };
    if (level.optimal) {
        OptimalParser parser(finder, data, size, level, positionSymbols);
        auto emitPriced = [&](Code c) {
            codes.push_back(c);
            if (codes.size() == kBlockCodes) {
                blocks.write(codes);
                codes.clear();
                parser.setPrices(blocks.literalLengths, blocks.positionLengths);
            }
        };
        constexpr std::size_t kSegment = 4096;
        for (std::size_t pos = 0; pos < size;)
            pos = parser.parseSegment(pos, std::min(size, pos + kSegment), emitPriced);
        if (!codes.empty()) blocks.write(codes);
        out.flush();
        return out.bytes;
    }
    std::size_t pos = 0;
    std::pair<unsigned, unsigned> match = finder.find(0);
    while (pos < size) {
        if (match.first == 0) {
            emit({data[pos], 0});
            ++pos;
            match = finder.find(pos);
            continue;
        }
        if (level.lazy && match.first < level.nice && pos + 1 < size) {
            std::pair<unsigned, unsigned> next = finder.find(pos + 1);
            if (next.first > match.first) {
                emit({data[pos], 0});
                ++pos;
                match = next;
                continue;
            }
        }
        emit({static_cast<std::uint16_t>(256 + match.first - kMinMatch),
              static_cast<std::uint16_t>(match.second - 1)});
        pos += match.first;
        match = finder.find(pos);
    }
    if (!codes.empty()) blocks.write(codes);
    out.flush();
    return out.bytes;
}
