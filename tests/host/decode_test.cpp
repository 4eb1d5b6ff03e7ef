// The decoder on hand-made streams (the corpus covers -lz5- and -lzs-). A damaged case is
// built so that without its guard the member would decode complete.
#include <gtest/gtest.h>

#include <algorithm>

#include "decode/adaptive_trees.h"
#include "decode/crc16.h"
#include "decode/lha_format.h"
#include "extract/lha/progress.h"
#include "tests/host/test_support.h"
#include "tools/pack/match_finder.h"

using namespace std::string_literals;

namespace {

// A static-Huffman block in which every code is `symbol` (no bits) and every position
// is symbol `positionSymbol`, whose extra bits the caller writes after the block.
void singleSymbolBlock(BitWriter& w, unsigned codes, unsigned symbol, unsigned positionSymbol = 0,
                       unsigned countBits = 4) {
    w.put(codes, 16);
    w.put(0, 5);  // code-length code: a count of 0 and its one symbol
    w.put(0, 5);
    w.put(0, 9);  // literal/length code: the same
    w.put(symbol, 9);
    w.put(0, countBits);  // position code: the same
    w.put(positionSymbol, countBits);
}

// A code-length code in the small length format, with its 2-bit zero run after the third
// length sent as 0.
void lengthCodeList(BitWriter& w, const std::vector<unsigned>& lengths) {
    w.put(static_cast<std::uint32_t>(lengths.size()), 5);
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        unsigned k = lengths[i];
        if (k <= 6) w.put(k, 3);
        else w.put((1u << (k - 3)) - 2, k - 3);
        if (i == 2) w.put(0, 2);
    }
}

// An lh3 block whose codes are all `symbol`; positions from preset list 1, or all the
// one sent symbol `position`.
void lh3EscapeBlock(BitWriter& w, unsigned codes, unsigned symbol, int position = -1) {
    w.put(codes, 16);
    for (int i = 0; i < 3; ++i) w.put(0b10000, 5);  // present, length 1: the escape
    w.put(symbol, 9);
    w.put(position >= 0, 1);
    if (position < 0) return;
    for (int i = 0; i < 3; ++i) w.put(1, 4);
    w.put(static_cast<std::uint32_t>(position), 10);
}

// An encoder that walks the decoder's own adaptive trees from leaf to root.
void writePath(BitWriter& w, const AdaptiveTrees& t, int node, int root) {
    if (node == root) return;
    const int p = t.parent[node];
    writePath(w, t, p, root);
    w.put(t.child[p] == node ? 0u : 1u, 1);  // child v is bit 0, v - 1 is bit 1
}

std::vector<std::uint32_t> sent;
std::uint32_t abortAt;  // the position at which the sink clears the continue flag

void record(std::uint32_t position) {
    sent.push_back(position);
    if (position >= abortAt) continueFlag = 0;
}

// The member alone in an archive, with the positions it sends.
Decoded withProgress(const Bytes& packed, std::uint32_t size, int method,
                     std::uint32_t stop = ~0u) {
    sent.clear();
    totalOriginalSize = size;
    doneOriginalSize = lastProgressPosition = 0;
    abortAt = stop;
    progressSink = record;
    Decoded d = decodeMember(packed, size, method);
    continueFlag = 1;
    progressSink = nullptr;
    totalOriginalSize = 0;
    return d;
}

}  // namespace

TEST(BitInput, ReadsAcrossRefillsThenCountedZerosUpToTheSlack) {
    const Bytes bytes = {0xA5, 0x0F, 0xF0, 0x33, 0xCC, 0x81, 0x7E, 0x12, 0x34, 0x56, 0x78};
    std::FILE* f = streamOf(bytes, "after");
    std::vector<std::uint8_t> buffer(3);  // a small buffer forces refills from the stream
    BitInput in;
    in.start(f, buffer.data(), 3, static_cast<std::uint32_t>(bytes.size()));
    EXPECT_EQ(in.readBits(0), 0u);
    EXPECT_EQ(in.readBits(4), 0xAu);
    EXPECT_EQ(in.readBits(8), 0x50u);
    EXPECT_EQ(in.readBits(16), 0xFF03u);
    for (std::size_t i = 4; i < bytes.size(); ++i)
        EXPECT_EQ(in.readBits(8), ((bytes[i - 1] & 0xFu) << 4) | (bytes[i] >> 4u)) << i;
    EXPECT_EQ(in.readBits(4), 0x8u);
    // The packed size is the limit: "after" is never read, zeros come instead, and a
    // stream that keeps asking is stopped.
    int zeroBytes = 0;
    while (!in.damaged && zeroBytes < 100) zeroBytes += in.readBits(8) == 0;
    EXPECT_EQ(zeroBytes, 8 + 2 + 1) << "a full accumulator and two bytes of slack";
    std::fclose(f);
}

TEST(StaticHuffman, LiteralsMatchesTheInitialSpacesAndBlockCounts) {
    BitWriter w;
    singleSymbolBlock(w, 2, 'x');
    singleSymbolBlock(w, 1, 256 + 7, 0);  // length 10, distance 1: repeats "x"
    singleSymbolBlock(w, 1, 256, 1);      // length 3, distance 2 (symbol 1: no extra bits)
    singleSymbolBlock(w, 1, 256, 13);     // length 3 at distance 4096 + extra + 1
    w.put(4095, 12);                      // extra bits: distance 8192 reaches initial spaces
    singleSymbolBlock(w, 0, 'q');         // a count of 0 is 65,536 codes
    singleSymbolBlock(w, 1, 'r');
    singleSymbolBlock(w, 1, 509, 0);  // a 256-byte match, clipped at the original size
    Decoded d = decodeMember(finished(w), 18 + 65536 + 5, 5);
    EXPECT_EQ(d.result, DecodeResult::complete);
    EXPECT_TRUE(d.bytes == std::string(15, 'x') + "   " + std::string(65536, 'q') + "rrrrr");
}

TEST(MethodTable, UnknownIdentifiersStoredRowsAndWindows) {
    // (The corpus pins each row's identifier and kind.)
    EXPECT_EQ(kFolderMethod, findMethod("-lhd-"));
    for (const char* unknown : {"-lh8-", "-lh5x", "-lhd ", "-LH5-", "-pm1-", "-lhx-"})
        EXPECT_EQ(findMethod(unknown), -1) << unknown;
    SlideDecoder stored(nullptr, nullptr, 10, 0, 13, 0);
    EXPECT_EQ(stored.decode(), DecodeResult::damaged) << "a stored row has no decode loop";

    // The window masks distances: "ab", then a match whose distance is the window plus
    // 2 reads "ab" again in a window of that size, and the initial spaces in a larger.
    // Position 4097: symbol 13 and 12 bits of 1; 32769: symbol 16 and 15 bits.
    for (auto [method, extraBits, bytes] : {std::tuple{4, 12u, "ababa"}, {7, 15u, "ab   "}}) {
        const unsigned countBits = method == 4 ? 4 : 5;
        BitWriter w;
        singleSymbolBlock(w, 1, 'a', 0, countBits);
        singleSymbolBlock(w, 1, 'b', 0, countBits);
        singleSymbolBlock(w, 1, 256, extraBits + 1, countBits);
        w.put(1, extraBits);
        EXPECT_EQ(decodeMember(finished(w), 5, method).bytes, bytes) << method;
    }
}

TEST(StaticHuffman, CodeLengthsAndEveryDamagedHeaderOfABlock) {
    // A block of three codes: its code-length code, then as bits (spaces aside) the
    // literal list, the position list and the codes; an empty code-length code leaves
    // the whole header to the bits.
    struct Case {
        std::vector<unsigned> lengthCode;
        const char* bits;
        std::string bytes;
        bool damaged;
        int method = 5;
    };
    // Over-full by one 16-bit code: a check that waits for 16 bits misses it.
    const std::vector<unsigned> overFull = {1,  2,  3,  4,  5,  6,  7,  8,  9,
                                            10, 11, 12, 13, 14, 15, 16, 16, 16};
    // Symbol 3 is "0" (length 1), 4 is "1" (length 2); the 20th entry lies past the
    // alphabet and is dropped.
    const std::vector<unsigned> short34 = {0, 0, 0, 1, 1, 0, 0, 0, 0, 0,
                                           0, 0, 0, 0, 0, 0, 0, 0, 0, 5};
    const Case cases[] = {
        // Three escapes: a count of 0 and the one symbol ('A', position 0).
        {{}, "00000 00000 000000000 001000001 0000 0000", "AAA", false},
        // One fault each in that block, which without its check decodes complete: a
        // code-length code over-full or with a length of 17, escapes outside the
        // code-length code's 19 symbols, the literals' 510, lh5's 14 positions, lh6's 16.
        {overFull, "000000000 001000001 0000 0000", "", true},
        {{1, 1, 17}, "000000000 001000001 0000 0000", "", true},
        {{}, "00000 10011 000000000 001000001 0000 0000", "", true},
        {{}, "00000 00000 000000000 111111110 0000 0000", "", true},
        {{}, "00000 00000 000000000 001000001 0000 1110", "", true},
        {{}, "00000 00000 000000000 001000001 00000 10000", "", true, 6},
        // Literal lengths 1, 1; then 1, 1, 1: over-full; then 1, 2, whose code "11"
        // reaches no symbol: the bytes before it are written.
        {short34, "000000010 0 0 00000000 101", "\1\0\1"s, false},
        {short34, "000000011 0 0 0 00000000 101", "", true},
        {short34, "000000010 0 1 00000000 10011", "\1\0"s, true},
        // 3 is "0", 1 "10", 2 "11": 65 zeros (20 + 45), 'A', 18 zeros (3 + 15), 'T'.
        {{0, 2, 2, 1}, "001010101 11 000101101 0 10 1111 0 00000000 010", "ATA", false},
        // 0 is "0", 2 "10", 3 "11": byte 1 is "0", a 3-byte match "1"; the position code
        // has only symbol 0, "0". A position "1" writes nothing of its match.
        {{1, 0, 2, 2}, "100000001 0 11 10 011101010 11 0001 001 011", "\1", true},
    };
    for (const Case& c : cases) {
        BitWriter w;
        w.put(3, 16);
        if (!c.lengthCode.empty()) lengthCodeList(w, c.lengthCode);
        for (const char* p = c.bits; *p; ++p)
            if (*p != ' ') w.put(*p == '1', 1);
        Decoded d = decodeMember(finished(w), 3, c.method);
        const auto row = &c - cases;
        EXPECT_EQ(d.result, c.damaged ? DecodeResult::damaged : DecodeResult::complete) << row;
        EXPECT_EQ(d.bytes, c.bytes) << row;
    }
}

TEST(Decoder, InputThatRunsDryIsDamageAndAnOutputThatRefusesBytesAWriteFailure) {
    // A packed size of 0: zero bits decode to something, then the input runs dry.
    for (int method : {1, 2, 3, 5}) {
        Decoded dry = decodeMember({}, 1u << 24, method, 0);
        EXPECT_EQ(dry.result, DecodeResult::damaged) << method;
        EXPECT_LT(dry.bytes.size(), 1u << 20) << method;
    }
    BitWriter w;
    for (int i = 0; i < 4; ++i) singleSymbolBlock(w, 0, 'w');  // 256 KiB: the whole ring
    Bytes packed = finished(w);
    // A last flush, and the ring's flush of a member that ends with the ring.
    for (std::uint32_t size : {100u, SlideDecoder::kRingSize}) {
        std::FILE* in = streamOf(packed);
        std::FILE* readOnly = std::fopen("/dev/null", "rb");
        SlideDecoder d(in, readOnly, size, static_cast<std::uint32_t>(packed.size()), 13, 5);
        EXPECT_EQ(d.decode(), DecodeResult::writeFailed) << size;
        std::fclose(in);
        std::fclose(readOnly);
    }
}

TEST(FixedTable, EscapeCodesSentAndPresetPositions) {
    BitWriter w;
    lh3EscapeBlock(w, 1, 'Q');
    lh3EscapeBlock(w, 1, 285);  // 285 + 8 bits 1: a match of 33
    w.put(1, 8);
    w.put(0, 2);                // preset symbol 0 ("00")
    w.put(0, 6);                // position 0: distance 1
    lh3EscapeBlock(w, 0, 'R');  // 65,536 codes, then a block of its own
    lh3EscapeBlock(w, 1, 'S');
    Decoded d = decodeMember(finished(w), 34 + 65536 + 1, 3);
    EXPECT_EQ(d.result, DecodeResult::complete);
    EXPECT_TRUE(d.bytes == std::string(34, 'Q') + std::string(65536, 'R') + "S");

    // Preset list 1: symbol 78 has the first 9-bit code, 462. Position 78 * 64 reaches
    // back to the "Q" 4,993 bytes before.
    BitWriter preset;
    lh3EscapeBlock(preset, 1, 'Q');
    lh3EscapeBlock(preset, 4992, 'P');
    lh3EscapeBlock(preset, 1, 256);
    preset.put(462, 9);
    preset.put(0, 6);
    d = decodeMember(finished(preset), 4996, 3);
    EXPECT_EQ(d.bytes, "Q" + std::string(4992, 'P') + "QPP");

    // Escapes outside the alphabets; a member with no more packed data after them.
    for (auto [symbol, position] : {std::pair{286, -1}, {'x', 128}}) {
        BitWriter bad;
        lh3EscapeBlock(bad, 1, static_cast<unsigned>(symbol), position);
        EXPECT_EQ(decodeMember(finished(bad), 1, 3).result, DecodeResult::damaged) << symbol;
    }
}

TEST(Adaptive, LongMembersRebuildBothTreesAndGrowThePositions) {
    // lh2 of the packer's matches over text and runs. The encoder and the decoder walk
    // the same trees, so the round trip checks their links; the stream's CRC pins every
    // tree update (run moves, rebuilds at 32,768, position leaves added up to 128).
    Bytes data = textLike(1500000, 77), tail = runs(300000);
    data.insert(data.end(), tail.begin(), tail.end());
    static AdaptiveTrees t;  // large: not on the stack
    t.initCodeTree(286, 256);
    t.initPositionTree(13);
    FinderTables tables;
    ChainFinder finder(tables, data.data(), 0, data.size(), 13, 16, 256);
    BitWriter w;
    int codes = 0, matches = 0;
    for (std::uint32_t produced = 0; produced < data.size(); ++codes) {
        const Match m = finder.find(produced);
        const unsigned symbol = m.length ? std::min(m.length + 253u, 285u) : data[produced];
        writePath(w, t, t.leafOf[symbol], 0);
        t.countCode(symbol);
        if (!m.length) {
            ++produced;
            continue;
        }
        ++matches;
        if (symbol == 285) w.put(m.length + 253 - 285, 8);
        t.growPositions(produced);
        const unsigned position = m.distance - 1u, p = position / 64;
        writePath(w, t, t.leafOf[kPositionSymbolBase + p], kPositionRoot);
        t.countPosition(p);
        w.put(position % 64, 6);
        produced += m.length;
    }
    EXPECT_EQ(t.positionSymbols(), 128) << "the position alphabet grew to its limit";
    EXPECT_GT(codes, 4 * 32483) << "the code tree was rebuilt several times";
    EXPECT_GT(matches, 2 * 32768) << "the position tree was rebuilt";
    Bytes packed = finished(w);
    EXPECT_EQ(crcOf(packed.data(), packed.size()), 0x1FCC) << "the stream the trees make";
    Decoded d = decodeMember(packed, static_cast<std::uint32_t>(data.size()), 2);
    EXPECT_EQ(d.result, DecodeResult::complete);
    EXPECT_TRUE(d.bytes == std::string(data.begin(), data.end()));
}

TEST(Progress, NextChangeIsTheFirstCountWithAnotherPosition) {
    for (std::uint32_t total : {1u, 7u, 100u, 301u, 800u, 1000u, 1001u, 1999u, 123457u}) {
        totalOriginalSize = total;
        for (std::uint32_t done : {0u, total / 3}) {
            doneOriginalSize = done;
            for (std::uint32_t cur = 0; cur < total - done + 5; ++cur) {
                std::uint32_t next = cur + 1;
                while (next < cur + 2000 && progressPosition(next) == progressPosition(cur)) ++next;
                if (next == cur + 2000) continue;  // beyond what the search looks at
                ASSERT_EQ(nextProgressChange(cur), next) << total << " " << done << " " << cur;
            }
        }
    }
    // Members stay under 2 GiB, but not their sum: 4.5 of 6 GiB done is 75.
    totalOriginalSize = 6ull << 30;
    doneOriginalSize = 9ull << 29;
    EXPECT_EQ(progressPosition(0), 75u);
    EXPECT_EQ(progressPosition(1u << 30), 91u);
    const std::uint32_t next = nextProgressChange(0);
    EXPECT_EQ(progressPosition(next - 1), 75u);
    EXPECT_EQ(progressPosition(next), 76u);
    totalOriginalSize = doneOriginalSize = 0;
}

TEST(Progress, EachChangeIsSentOnceAndAbortStopsAfterTheCode) {
    BitWriter w;
    singleSymbolBlock(w, 0, 'q');
    singleSymbolBlock(w, 0, 'r');
    Bytes packed = finished(w);
    EXPECT_EQ(withProgress(packed, 70000, 5).result, DecodeResult::complete);
    ASSERT_EQ(sent.size(), 100u);
    for (std::size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(sent[i], i + 1);
    // Stored data: a progress call per 2,048-byte chunk.
    withProgress(Bytes(5000, 's'), 5000, 0);
    EXPECT_EQ(sent, (std::vector<std::uint32_t>{40, 81, 100}));

    // Abort as soon as the bar reaches 10: the member stops right there.
    Decoded aborted = withProgress(packed, 70000, 5, 10);
    EXPECT_EQ(aborted.result, DecodeResult::aborted);
    EXPECT_EQ(sent.back(), 10u);
    EXPECT_EQ(aborted.bytes.size(), 0u) << "only whole rings are on disk";
    Decoded stored = withProgress(Bytes(70000, 's'), 70000, 0, 0);
    EXPECT_EQ(stored.result, DecodeResult::aborted);
    EXPECT_EQ(stored.bytes.size(), 2048u);
}
