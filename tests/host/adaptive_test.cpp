// lh2 over long members: an encoder that walks the decoder's own adaptive trees from
// leaf to root writes a stream; decoding it must give the data back. Every tree update
// (run moves, rebuilds at 32,768, position leaves added up to 128) must keep the parent
// and child links consistent, or the two walks disagree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/adaptive_trees.h"
#include "decode/crc16.h"
#include "decode/lha_format.h"
#include "decode/slide_decoder.h"
#include "tests/host/bit_writer.h"

namespace {

void writePath(BitWriter& w, const AdaptiveTrees& t, int leaf, int root) {
    std::vector<unsigned> bits;
    for (int x = leaf; x != root;) {
        int p = t.parent[x];
        bits.push_back(t.child[p] == x ? 0u : 1u);  // child v is bit 0, v - 1 is bit 1
        x = p;
    }
    for (auto it = bits.rbegin(); it != bits.rend(); ++it) w.put(*it, 1);
}

struct Lh2Stream {
    std::vector<std::uint8_t> packed;
    int codes = 0, matches = 0;
    int positionSymbols = 0;
};

// Greedy LZ77 over `data` with lh2's limits: lengths 3..287, positions as far back as
// the position tree has symbols for.
Lh2Stream encodeLh2(const std::vector<std::uint8_t>& data) {
    static AdaptiveTrees t;  // large: not on the stack
    t.initCodeTree(286, 256);
    t.initPositionTree(13);
    BitWriter w;
    Lh2Stream out;
    std::uint32_t produced = 0;
    while (produced < data.size()) {
        unsigned bestLength = 0, bestDistance = 0;
        unsigned reach = static_cast<unsigned>(t.positionSymbols()) * 64;
        for (unsigned d = 1; d <= produced && d <= reach && d <= 8192; d += (d < 64 ? 1 : 61)) {
            unsigned l = 0;
            while (l < 287 && produced + l < data.size() &&
                   data[produced + l] == data[produced + l - d])
                ++l;
            if (l > bestLength) {
                bestLength = l;
                bestDistance = d;
            }
        }
        ++out.codes;
        if (bestLength < 3) {
            writePath(w, t, t.leafOf[data[produced]], 0);
            t.countCode(data[produced]);
            ++produced;
            continue;
        }
        ++out.matches;
        unsigned code = bestLength + 253, symbol = code >= 285 ? 285 : code;
        writePath(w, t, t.leafOf[symbol], 0);
        t.countCode(symbol);
        if (symbol == 285) w.put(code - 285, 8);
        t.growPositions(produced);
        unsigned position = bestDistance - 1, p = position / 64;
        writePath(w, t, t.leafOf[kPositionSymbolBase + p], kPositionRoot);
        t.countPosition(p);
        w.put(position % 64, 6);
        produced += bestLength;
    }
    out.positionSymbols = t.positionSymbols();
    out.packed = w.bytes;
    return out;
}

}  // namespace

TEST(Lh2, LongMembersGrowThePositionTreeAndRebuildBothTrees) {
    // Text with repeats near and far: literals, short and long matches.
    std::vector<std::uint8_t> data;
    std::uint32_t x = 77;
    std::vector<std::string> words = {"archive ", "folder ", "Vopa ", "installer ", "the ", "\n"};
    while (data.size() < 1500000) {
        x = x * 1103515245u + 12345u;
        if ((x >> 28) == 0 && data.size() > 9000) {
            std::size_t from = data.size() - 1 - (x >> 8) % 8000, n = 20 + (x >> 4) % 260;
            for (std::size_t i = 0; i < n; ++i) data.push_back(data[from + i]);
        } else {
            const std::string& w = words[(x >> 16) % words.size()];
            data.insert(data.end(), w.begin(), w.end());
            if ((x >> 12) % 7 == 0) data.push_back(static_cast<std::uint8_t>('0' + (x >> 20) % 10));
        }
    }
    Lh2Stream s = encodeLh2(data);
    EXPECT_EQ(s.positionSymbols, 128) << "the position alphabet grew to its limit";
    EXPECT_GT(s.codes, 4 * 32483) << "the code tree was rebuilt several times";
    EXPECT_GT(s.matches, 2 * 32768) << "the position tree was rebuilt";

    initCrcTable();
    std::FILE* in = std::tmpfile();
    std::fwrite(s.packed.data(), 1, s.packed.size(), in);
    std::rewind(in);
    std::FILE* out = std::tmpfile();
    SlideDecoder d(in, out, static_cast<std::uint32_t>(data.size()),
                   static_cast<std::uint32_t>(s.packed.size()), kMethodTable[2].windowBits, 2);
    EXPECT_EQ(d.decode(), DecodeResult::complete);
    std::vector<std::uint8_t> back(data.size());
    std::rewind(out);
    ASSERT_EQ(std::fread(back.data(), 1, back.size(), out), back.size());
    EXPECT_TRUE(back == data);
    std::fclose(in);
    std::fclose(out);
}

namespace {

std::vector<std::uint8_t> decodeMember(const std::vector<std::uint8_t>& packed, std::size_t size,
                                       int method) {
    initCrcTable();
    std::FILE* in = std::tmpfile();
    std::fwrite(packed.data(), 1, packed.size(), in);
    std::rewind(in);
    std::FILE* out = std::tmpfile();
    SlideDecoder d(in, out, static_cast<std::uint32_t>(size),
                   static_cast<std::uint32_t>(packed.size()), kMethodTable[method].windowBits,
                   method);
    DecodeResult r = d.decode();
    std::vector<std::uint8_t> back(static_cast<std::size_t>(std::ftell(out)));
    std::rewind(out);
    if (!back.empty() && std::fread(back.data(), 1, back.size(), out) != back.size()) back.clear();
    std::fclose(in);
    std::fclose(out);
    if (r != DecodeResult::complete) back.push_back('!');
    return back;
}

}  // namespace

TEST(Lh1AndLz5, MembersOfZeroOneAndSixtyFourKilobytes) {
    for (std::size_t size : {0u, 1u, 65536u}) {
        std::vector<std::uint8_t> data(size);
        std::uint32_t x = 5;
        for (auto& b : data) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 25);
        // lh1, literals only: 65,536 codes pass the code tree's first rebuild.
        static AdaptiveTrees t;
        t.initCodeTree(314, 60);
        BitWriter lh1;
        for (std::uint8_t b : data) {
            writePath(lh1, t, t.leafOf[b], 0);
            t.countCode(b);
        }
        EXPECT_TRUE(decodeMember(lh1.bytes, size, 1) == data) << "lh1 " << size;
        // lz5, literals only: flag bytes of 0xFF, eight literals each.
        std::vector<std::uint8_t> lz5;
        for (std::size_t i = 0; i < size; ++i) {
            if (i % 8 == 0) lz5.push_back(0xFF);
            lz5.push_back(data[i]);
        }
        EXPECT_TRUE(decodeMember(lz5, size, 9) == data) << "lz5 " << size;
    }
}
