#include "tools/pack/match_finder.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Bytes `a` and `b` agree on, counting on from `from` up to `limit`.
unsigned matchLength(const std::uint8_t* a, const std::uint8_t* b, unsigned from,
                            unsigned limit) {
    unsigned len = from;
#if defined(__SSE2__)
    while (len + 16 <= limit) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + len));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + len));
        const unsigned differ =
            0xFFFFu ^ static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y)));
        if (differ) return len + static_cast<unsigned>(__builtin_ctz(differ));
        len += 16;
    }
#endif
    while (len + 8 <= limit) {
        std::uint64_t x, y;
        std::memcpy(&x, a + len, 8);
        std::memcpy(&y, b + len, 8);
        if (x != y) return len + static_cast<unsigned>(__builtin_ctzll(x ^ y) >> 3);
        len += 8;
    }
    while (len < limit && a[len] == b[len]) ++len;
    return len;
}

// Builds with VOPA_CHECK_MATCHES (the tests' and the fuzzers') compare every match a
// finder reports with the bytes it stands for, and stop at once on a wrong one: the
// decoder would give back other bytes than the file's.
void checkMatch(const std::uint8_t* at, unsigned length, unsigned distance) {
#if defined(VOPA_CHECK_MATCHES)
    if (std::memcmp(at, at - distance, length) != 0) __builtin_trap();
#else
    (void)at, (void)length, (void)distance;
#endif
}

inline std::uint32_t hashBytes(std::uint32_t v, unsigned bits) {
    return (v * 2654435761u) >> (32 - bits);
}
inline std::uint32_t first3(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
}

constexpr std::size_t kHeads = 1u << 16;  // both finders hash into 16 bits

}  // namespace

std::uint32_t FinderTables::reserve(std::size_t end, std::uint32_t window) {
    if (head.size() != kHeads || next_ + window + end + 1 > 0xFFFFFFFFu) {  // files are < 2 GiB
        head3.assign(kHeads, 0);
        head.assign(kHeads, 0);
        next_ = 0;
    }
    // A window past every entry so far, and past 0 (none): the walks need no test of
    // their own for either.
    const std::uint64_t base = next_ + window;
    next_ = base + end + 1;
    return static_cast<std::uint32_t>(base);
}

ChainFinder::ChainFinder(FinderTables& tables, const std::uint8_t* data, std::size_t begin,
                         std::size_t end, unsigned windowBits, unsigned depth, unsigned nice)
    : data_(data),
      end_(end),
      maxDistance_((1u << windowBits) - 1),
      depth_(depth),
      nice_(nice),
      base_(tables.reserve(end, 1u << windowBits)),
      head_(tables.head),
      prev_(tables.links) {
    static_assert(kHeads == 1u << kHashBits, "");
    inserted_ = begin > maxDistance_ ? begin - maxDistance_ : 0;
    prev_.resize(1u << windowBits);  // a link is read only once written: no zeros needed
}

Match ChainFinder::find(std::size_t pos) {
    const std::size_t mask = prev_.size() - 1;
    for (; inserted_ < pos; ++inserted_) {
        if (inserted_ + kMinMatch > end_) continue;
        const auto self = static_cast<std::uint32_t>(base_ + inserted_ + 1);
        std::uint32_t h = hashBytes(first3(data_ + inserted_), kHashBits);
        prev_[(self - 1) & mask] = head_[h];
        head_[h] = self;
    }
    if (pos + kMinMatch > end_) return {0, 0};
    const unsigned limit = static_cast<unsigned>(std::min<std::size_t>(kMaxMatch, end_ - pos));
    const std::uint8_t* a = data_ + pos;
    unsigned best = 0, bestDistance = 0;
    std::uint32_t c = head_[hashBytes(first3(a), kHashBits)];
    for (unsigned chain = depth_; chain; --chain) {
        const std::size_t distance = static_cast<std::uint32_t>(base_ + pos + 1) - c;
        if (distance > maxDistance_) break;
        const std::uint8_t* b = a - distance;
        if (b[best] == a[best] && b[0] == a[0]) {
            unsigned len = matchLength(a, b, 0, limit);
            if (len > best) {
                best = len;
                bestDistance = static_cast<unsigned>(distance);
                if (len >= nice_ || len == limit) break;
            }
        }
        c = prev_[(c - 1) & mask];
    }
    if (best < kMinMatch) return {0, 0};
    checkMatch(a, best, bestDistance);
    return {static_cast<std::uint16_t>(best), static_cast<std::uint16_t>(bestDistance)};
}

TreeFinder::TreeFinder(FinderTables& tables, const std::uint8_t* data, std::size_t end,
                       unsigned windowBits, unsigned depth, unsigned ordered, unsigned skipOrdered)
    : data_(data),
      end_(end),
      maxDistance_((1u << windowBits) - 1),
      mask_((1u << windowBits) - 1),
      depth_(depth),
      ordered_(ordered),
      skipOrdered_(skipOrdered),
      orderedByAll_(std::min(ordered, skipOrdered)),
      base_(tables.reserve(end, 1u << windowBits)),
      head3_(tables.head3),
      head_(tables.head),
      son_(tables.links) {
    static_assert(kHeads == 1u << kHashBits, "");
    son_.resize(2u << windowBits);  // a node's links are written when it is inserted
}

template <bool kCollect>
unsigned TreeFinder::walk(std::size_t pos, Match* out) {
    if (pos + kMinMatch > end_) return 0;
    Match* const first = out;
    const std::uint8_t* a = data_ + pos;
    const std::uint32_t self = static_cast<std::uint32_t>(base_ + pos + 1);
    const unsigned most = static_cast<unsigned>(std::min<std::size_t>(kMaxMatch, end_ - pos));
    unsigned best = kMinMatch - 1;

    if (pos + kAhead + 4 <= end_) {  // the table entries of a coming position, in flight meanwhile
        std::uint32_t ahead;
        std::memcpy(&ahead, a + kAhead, 4);
        __builtin_prefetch(&head3_[hashBytes(first3(a + kAhead), kHashBits)]);
        __builtin_prefetch(&head_[hashBytes(ahead, kHashBits)]);
    }
    std::uint32_t* root = nullptr;  // of the tree of a's 4-byte prefix
    if (pos + 4 <= end_) {
        std::uint32_t v4;
        std::memcpy(&v4, a, 4);
        root = &head_[hashBytes(v4, kHashBits)];
    }
    std::uint32_t& near3 = head3_[hashBytes(first3(a), kHashBits)];
    // The nearest 3-byte match is often the tree's newest string: then the walk finds it.
    if (kCollect && self - near3 <= maxDistance_ && !(root && *root == near3)) {
        const std::uint32_t distance = self - near3;
        unsigned len = matchLength(a, a - distance, 0, most);
        if (len >= kMinMatch) {
            checkMatch(a, len, distance);
            best = len;
            *out++ = {static_cast<std::uint16_t>(len), static_cast<std::uint16_t>(distance)};
        }
    }
    near3 = self;
    if (!root) return static_cast<unsigned>(out - first);

    std::uint32_t cur = *root;
    *root = self;
    std::uint32_t* larger = &son_[2 * ((self - 1) & mask_)];  // where the next larger string hangs
    std::uint32_t* smaller = larger + 1;                      // and the next smaller one
    const unsigned limit = std::min(kCollect ? ordered_ : skipOrdered_, most);
    // What every string still below shares with `a`: as much as the nearest smaller and
    // larger strings passed share, but no more than all walks order by (see the header).
    unsigned lenSmaller = 0, lenLarger = 0;
    for (unsigned depth = depth_;; --depth) {
        const std::uint32_t distance = self - cur;
        if (distance > maxDistance_ || depth == 0) {
            *smaller = *larger = 0;
            return static_cast<unsigned>(out - first);
        }
        const std::uint8_t* b = a - distance;
        std::uint32_t* pair = &son_[2 * ((cur - 1) & mask_)];
        const unsigned len =
            matchLength(a, b, std::min({lenSmaller, lenLarger, orderedByAll_}), limit);
        if (kCollect && len > best) {
            best = len;
            const unsigned full = len == limit ? matchLength(a, b, len, most) : len;
            checkMatch(a, full, distance);
            *out++ = {static_cast<std::uint16_t>(full), static_cast<std::uint16_t>(distance)};
        }
        if (len == limit) {  // equal as far as the tree looks: the new string takes b's place
            *larger = pair[0];
            *smaller = pair[1];
            return static_cast<unsigned>(out - first);
        }
        // No branch on the comparison: it is as likely one way as the other.
        const bool toSmaller = b[len] < a[len];
        std::uint32_t* slot = toSmaller ? smaller : larger;
        *slot = cur;
        std::uint32_t* nextSlot = pair + (toSmaller ? 0 : 1);
        smaller = toSmaller ? nextSlot : smaller;
        larger = toSmaller ? larger : nextSlot;
        lenSmaller = toSmaller ? len : lenSmaller;
        lenLarger = toSmaller ? lenLarger : len;
        cur = *nextSlot;
    }
}

template unsigned TreeFinder::walk<true>(std::size_t, Match*);
template unsigned TreeFinder::walk<false>(std::size_t, Match*);
