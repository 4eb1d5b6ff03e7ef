#include "tools/pack/block_writer.h"

#include <algorithm>

namespace {

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

}  // namespace

void BitWriter::append(const BitWriter& other) {
    if (bits == 0) {
        bytes.insert(bytes.end(), other.bytes.begin(), other.bytes.end());
    } else {
        // Each byte of `other` shifted in behind the bits pending here.
        const std::size_t at = bytes.size(), n = other.bytes.size();
        bytes.resize(at + n);
        std::uint8_t* out = bytes.data() + at;
        const std::uint8_t* in = other.bytes.data();
        unsigned pending = static_cast<unsigned>(acc) & ((1u << bits) - 1);
        for (std::size_t i = 0; i < n; ++i) {
            out[i] = static_cast<std::uint8_t>((pending << (8 - bits)) | (in[i] >> bits));
            pending = in[i] & ((1u << bits) - 1);
        }
        acc = pending;
    }
    put(static_cast<std::uint32_t>(other.acc), other.bits);
}

// Code lengths of at most 16 bits for `freq`; unused symbols get 0.
std::vector<std::uint8_t> codeLengths(std::vector<std::uint32_t> freq) {
    const std::size_t n = freq.size();
    std::vector<std::uint8_t> lengths(n, 0);
    std::vector<std::size_t> leaves, parent(2 * n);  // nodes: the symbols, then the joined
    std::vector<std::uint64_t> weight(2 * n);
    for (;;) {
        leaves.clear();
        for (std::size_t s = 0; s < n; ++s)
            if (freq[s]) leaves.push_back(s);
        if (leaves.size() < 2) return lengths;  // 0 or 1 symbol: the caller sends an escape
        // Two queues: the leaves by count (then symbol), and the joined nodes, which are
        // made in order of their counts. The lighter front is taken, a leaf on a tie.
        std::stable_sort(leaves.begin(), leaves.end(),
                         [&](std::size_t a, std::size_t b) { return freq[a] < freq[b]; });
        std::copy(freq.begin(), freq.end(), weight.begin());
        std::size_t leaf = 0, joined = n, next = n;
        auto lightest = [&] {
            if (leaf < leaves.size() && (joined == next || weight[leaves[leaf]] <= weight[joined]))
                return leaves[leaf++];
            return joined++;
        };
        for (std::size_t k = 1; k < leaves.size(); ++k) {
            const std::size_t a = lightest(), b = lightest();
            weight[next] = weight[a] + weight[b];
            parent[a] = parent[b] = next++;
        }
        const std::size_t root = next - 1;
        unsigned longest = 0;
        for (std::size_t s : leaves) {
            unsigned depth = 0;
            for (std::size_t p = s; p != root; p = parent[p]) ++depth;
            lengths[s] = static_cast<std::uint8_t>(depth);
            longest = std::max(longest, depth);
        }
        if (longest <= kMaxCodeLength) return lengths;
        // Too deep: flatten the counts and build again (rare; costs a little size).
        for (auto& f : freq)
            if (f) f = (f + 1) / 2;
    }
}

SymbolCounts::SymbolCounts(const Code* codes, std::size_t n, unsigned positionSymbols)
    : literal(kLiteralSymbols), position(positionSymbols) {
    for (const Code* c = codes; c != codes + n; ++c) {
        ++literal[c->symbol];
        if (c->symbol >= 256) ++position[positionSymbol(c->position)];
    }
}

BlockWriter::BlockWriter(BitWriter& out, unsigned windowBits)
    : out_(out),
      positionSymbols_(positionSymbolCount(windowBits)),
      positionCountBits_(positionCountBits(windowBits)) {}

void BlockWriter::write(const Code* codes, std::size_t n) {
    const SymbolCounts counts(codes, n, positionSymbols_);
    std::vector<std::uint8_t> litLen = codeLengths(counts.literal),
                              posLen = codeLengths(counts.position);
    out_.put(static_cast<std::uint32_t>(n), kBlockCountBits);
    writeLiteralLengths(counts.literal, litLen);
    writeSmallLengths(counts.position, posLen, positionCountBits_, -1);

    std::vector<std::uint16_t> litCode = canonicalCodes(litLen), posCode = canonicalCodes(posLen);
    for (std::size_t q = 0; q < n; ++q) {
        const Code c = codes[q];
        out_.put(litCode[c.symbol], litLen[c.symbol]);
        if (c.symbol < 256) continue;
        unsigned j = positionSymbol(c.position);
        out_.put(posCode[j], posLen[j]);
        if (j > 1) out_.put(c.position - (1u << (j - 1)), j - 1);
    }
    literalLengths = std::move(litLen);
    positionLengths = std::move(posLen);
}

namespace {

// The one symbol `freq` counts (0 when none), or -1 when it counts more than one.
int soleSymbol(const std::vector<std::uint32_t>& freq) {
    int used = 0, only = 0;
    for (std::size_t s = 0; s < freq.size(); ++s)
        if (freq[s]) {
            ++used;
            only = static_cast<int>(s);
        }
    return used <= 1 ? only : -1;
}

}  // namespace

// The small format: 0..6 in three bits, 7 and more as 111, (length - 7) ones, 0.
// An alphabet of one symbol is sent as a count of 0 and the symbol.
void BlockWriter::writeSmallLengths(const std::vector<std::uint32_t>& freq,
                                    const std::vector<std::uint8_t>& len, unsigned countBits,
                                    int zeroRunAfter) {
    if (const int only = soleSymbol(freq); only >= 0) {
        out_.put(0, countBits);
        out_.put(static_cast<std::uint32_t>(only), countBits);
        return;
    }
    int n = static_cast<int>(len.size());
    while (n > 0 && len[n - 1] == 0) --n;
    out_.put(static_cast<std::uint32_t>(n), countBits);
    for (int i = 0; i < n;) {
        unsigned k = len[i++];
        if (k <= 6) out_.put(k, kSmallLengthBits);
        else out_.put((1u << (k - 3)) - 2, k - 3);  // 111, (k - 7) ones, a zero
        if (i == zeroRunAfter) {
            int z = 0;
            const int most = (1 << kLengthCodeZeroRunBits) - 1;
            while (i + z < n && z < most && len[i + z] == 0) ++z;
            out_.put(static_cast<std::uint32_t>(z), kLengthCodeZeroRunBits);
            i += z;
        }
    }
}

// Literal/length lengths go through the length code, with runs of zeros.
void BlockWriter::writeLiteralLengths(const std::vector<std::uint32_t>& freq,
                                      const std::vector<std::uint8_t>& len) {
    if (const int only = soleSymbol(freq); only >= 0) {
        std::vector<std::uint32_t> none(kLengthCodeSymbols);
        none[0] = 1;
        writeSmallLengths(none, std::vector<std::uint8_t>(kLengthCodeSymbols), kLengthCodeCountBits,
                          kLengthCodeZeroRunAfter);
        out_.put(0, kLiteralCountBits);
        out_.put(static_cast<std::uint32_t>(only), kLiteralCountBits);
        return;
    }
    int n = kLiteralSymbols;
    while (n > 0 && len[n - 1] == 0) --n;
    // Length-code symbols: 0 = one zero, 1 = a short run, 2 = a long run, c + 2 =
    // length c. A run of 19 has no code of its own: one zero and a run of 18.
    struct Item {
        unsigned symbol, extra, extraBits;
    };
    std::vector<Item> items;
    for (int i = 0; i < n;) {
        if (len[i]) {
            items.push_back({len[i] + kZeroRunSymbols - 1, 0, 0});
            ++i;
            continue;
        }
        int run = 0;
        while (i + run < n && len[i + run] == 0) ++run;
        i += run;
        while (run > 0) {
            if (run <= 2) {
                items.push_back({0, 0, 0});
                --run;
            } else if (run <= static_cast<int>(kShortZeroRunMost)) {
                items.push_back({1, run - kShortZeroRunBase, kShortZeroRunBits});
                run = 0;
            } else if (run < static_cast<int>(kLongZeroRunBase)) {
                items.push_back({0, 0, 0});
                items.push_back({1, kShortZeroRunMost - kShortZeroRunBase, kShortZeroRunBits});
                run = 0;
            } else {
                int take = std::min(run, static_cast<int>(kLongZeroRunMost));
                items.push_back({2, take - kLongZeroRunBase, kLongZeroRunBits});
                run -= take;
            }
        }
    }
    std::vector<std::uint32_t> tFreq(kLengthCodeSymbols);
    for (const Item& it : items) ++tFreq[it.symbol];
    std::vector<std::uint8_t> tLen = codeLengths(tFreq);
    writeSmallLengths(tFreq, tLen, kLengthCodeCountBits, kLengthCodeZeroRunAfter);
    std::vector<std::uint16_t> tCode = canonicalCodes(tLen);
    out_.put(static_cast<std::uint32_t>(n), kLiteralCountBits);
    for (const Item& it : items) {
        out_.put(tCode[it.symbol], tLen[it.symbol]);  // a single-symbol code takes no bits
        out_.put(it.extra, it.extraBits);
    }
}
