// The decoder on hand-made streams: bit input, CRC, the window and matches, the rows of
// the method table, progress and abort, and every guard against damaged streams. A
// damaged case is built so that without its guard the member would decode complete.
#include <gtest/gtest.h>

#include <string>

#include "decode/adaptive_trees.h"
#include "decode/crc16.h"
#include "decode/lha_format.h"
#include "extract/progress.h"
#include "tests/host/test_support.h"

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

// A list in the small length format; a code-length code has its 2-bit zero run after
// the third length (sent as 0 here).
void smallList(BitWriter& w, const std::vector<unsigned>& lengths, unsigned countBits,
               bool lengthCode) {
    w.put(static_cast<std::uint32_t>(lengths.size()), countBits);
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        unsigned k = lengths[i];
        if (k <= 6) w.put(k, 3);
        else w.put((1u << (k - 3)) - 2, k - 3);
        if (lengthCode && i == 2) w.put(0, 2);
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

}  // namespace

TEST(Crc16, KnownValueAndSlicingAgreesWithBytewise) {
    initCrcTable();
    runningCrc = 0;
    updateCrc(reinterpret_cast<const std::uint8_t*>("123456789"), 9);
    EXPECT_EQ(runningCrc, 0xBB3D);  // CRC-16/ARC check value
    Bytes data = noise(1000, 3);
    for (std::size_t split : {0u, 1u, 15u, 16u, 17u, 500u, 999u}) {
        runningCrc = 0;
        updateCrc(data.data(), split);
        updateCrc(data.data() + split, data.size() - split);
        unsigned ref = 0;
        for (std::uint8_t b : data) {
            ref ^= b;
            for (int k = 0; k < 8; ++k) ref = (ref & 1) ? (ref >> 1) ^ 0xA001 : ref >> 1;
        }
        EXPECT_EQ(runningCrc, ref) << split;
    }
}

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
    EXPECT_EQ(zeroBytes, static_cast<int>(BitInput::kZeroByteSlack) + 1);
    std::fclose(f);

    f = streamOf({}, "XYZ");
    in.start(f, nullptr, 0, 0);
    EXPECT_EQ(in.readBits(16), 0u);
    EXPECT_EQ(std::ftell(f), 0L) << "a packed size of 0 reads nothing";
    std::fclose(f);
}

TEST(BitInput, AWriterMayLeaveOffTwoBytesOfZeroBits) {
    // -lz5-: a flag byte and eight literals, the last ones zero bytes that the packed
    // size leaves out; the decoder supplies them as zeros.
    const Bytes whole = {0xFF, 'V', 0, 0, 0, 0, 0, 0, 0};
    for (std::uint32_t cut : {0u, 1u, 2u}) {
        Decoded d = decodeMember(whole, 8, 9, static_cast<std::uint32_t>(whole.size() - cut));
        EXPECT_EQ(d.result, DecodeResult::complete) << cut;
        EXPECT_EQ(d.bytes, std::string("V") + std::string(7, '\0')) << cut;
    }
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

TEST(StaticHuffman, MatchesOfEveryDistanceClassAndAcrossTheRingsEnd) {
    // 300 distinct-ish literals, then matches at distances 300, 5 and 1, the long ones
    // running past the 256 KiB ring.
    BitWriter w;
    std::string expected;
    for (int i = 0; i < 300; ++i) {
        unsigned c = 'a' + (i * 7) % 26;
        singleSymbolBlock(w, 1, c);
        expected += static_cast<char>(c);
    }
    const unsigned matches = 1200;
    singleSymbolBlock(w, matches, 509, 9);  // position symbol 9: 256 + 8 extra bits
    for (unsigned i = 0; i < matches; ++i) w.put(300 - 1 - 256, 8);
    singleSymbolBlock(w, 2, 256 + 40, 3);  // distance 5: position 4, symbol 3 + 2 bits
    w.put(0, 2);
    w.put(0, 2);
    singleSymbolBlock(w, 1, 256 + 40, 0);  // distance 1
    while (expected.size() < 300 + 256 * matches) expected += expected[expected.size() - 300];
    for (int i = 0; i < 86; ++i) expected += expected[expected.size() - 5];
    expected += std::string(43, expected.back());
    Decoded d = decodeMember(finished(w), static_cast<std::uint32_t>(expected.size()), 5);
    EXPECT_EQ(d.result, DecodeResult::complete);
    EXPECT_TRUE(d.bytes == expected);
    EXPECT_GT(expected.size(), SlideDecoder::kRingSize);
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
    BitWriter lh4;  // window 4 KiB: position 4097 = symbol 13 + 12 bits of 1
    singleSymbolBlock(lh4, 1, 'a');
    singleSymbolBlock(lh4, 1, 'b');
    singleSymbolBlock(lh4, 1, 256, 13);
    lh4.put(1, 12);
    EXPECT_EQ(decodeMember(finished(lh4), 5, 4).bytes, "ababa");
    BitWriter lh3;  // window 8 KiB: sent position symbol 64 (4096 + 6 bits) + 1 = 4097
    lh3EscapeBlock(lh3, 1, 'a');
    lh3EscapeBlock(lh3, 1, 'b');
    lh3EscapeBlock(lh3, 1, 256, 64);
    lh3.put(1, 6);
    EXPECT_EQ(decodeMember(finished(lh3), 5, 3).bytes, "ab   ");
    BitWriter lh7;  // window 64 KiB: position 32769 = symbol 16 + 15 bits of 1
    singleSymbolBlock(lh7, 1, 'a', 0, 5);
    singleSymbolBlock(lh7, 1, 'b', 0, 5);
    singleSymbolBlock(lh7, 1, 256, 16, 5);
    lh7.put(1, 15);
    EXPECT_EQ(decodeMember(finished(lh7), 5, 7).bytes, "ab   ");
}

TEST(StaticHuffman, EveryDamagedHeaderStopsTheMemberBeforeItsCodes) {
    // Each case: one fault in a block of three literal codes 'k'; without the fault's
    // check the member decodes "kkk" complete. An empty list stands for an escape.
    struct Case {
        const char* what;
        std::vector<unsigned> lengthCode, positions;
        unsigned lengthEscape, literalEscape, positionEscape;
        int method = 5;
    };
    const Case cases[] = {
        {"valid", {}, {}, 0, 'k', 0},
        {"code-length code over-full", {1, 1, 1}, {}, 0, 'k', 0},
        {"code-length code length 17", {1, 1, 17}, {}, 0, 'k', 0},
        {"code-length escape outside its 19 symbols", {}, {}, 19, 'k', 0},
        {"literal escape outside its 510 symbols", {}, {}, 0, 510, 0},
        {"position escape outside lh5's 14 symbols", {}, {}, 0, 'k', 14},
        {"position code over-full", {}, {1, 1, 1}, 0, 'k', 0},
        {"position code length 17", {}, {1, 1, 17}, 0, 'k', 0},
        {"position escape outside lh6's 16 symbols", {}, {}, 0, 'k', 16, 6},
    };
    for (const Case& c : cases) {
        BitWriter w;
        w.put(3, 16);
        if (c.lengthCode.empty()) w.put(0, 5), w.put(c.lengthEscape, 5);
        else smallList(w, c.lengthCode, 5, true);
        w.put(0, 9);
        w.put(c.literalEscape, 9);
        const unsigned countBits = c.method == 5 ? 4 : 5;
        if (c.positions.empty()) w.put(0, countBits), w.put(c.positionEscape, countBits);
        else smallList(w, c.positions, countBits, false);
        Decoded d = decodeMember(finished(w), 3, c.method);
        bool valid = &c == cases;
        EXPECT_EQ(d.result, valid ? DecodeResult::complete : DecodeResult::damaged) << c.what;
        EXPECT_EQ(d.bytes, valid ? "kkk" : "") << c.what;
    }
}

TEST(StaticHuffman, LiteralLengthsThroughTheCodeLengthCode) {
    // The code-length code {3: length 1, 4: length 1}: bit 0 sends length 1, bit 1
    // length 2. Its list has 20 entries; the 20th lies past the alphabet and is dropped.
    auto block = [](BitWriter& w, const std::vector<unsigned>& literalBits, unsigned codes) {
        w.put(codes, 16);
        std::vector<unsigned> lengthCode(20, 0);
        lengthCode[3] = lengthCode[4] = 1;
        lengthCode[19] = 5;
        smallList(w, lengthCode, 5, true);
        w.put(static_cast<std::uint32_t>(literalBits.size()), 9);
        for (unsigned bit : literalBits) w.put(bit, 1);
        w.put(0, 4);
        w.put(0, 4);
    };
    struct Case {
        std::vector<unsigned> literalBits;
        unsigned codes, codeBits;  // three codes: 1 is byte 0x00, 0 byte 0x01
        DecodeResult result;
        std::string bytes;
    };
    const Case cases[] = {
        {{0, 0}, 0b101, 3, DecodeResult::complete, std::string("\1\0\1", 3)},  // lengths 1, 1
        {{0, 0, 0}, 0b101, 3, DecodeResult::damaged, ""},                      // 1, 1, 1: over-full
        // Lengths 1 and 2: the code "11" reaches no symbol; the bytes before it are written.
        {{0, 1}, 0b10011, 5, DecodeResult::damaged, std::string("\1\0", 2)},
    };
    for (const Case& c : cases) {
        BitWriter w;
        block(w, c.literalBits, 3);
        w.put(c.codes, c.codeBits);
        Decoded d = decodeMember(finished(w), 3, 5);
        EXPECT_EQ(d.result, c.result) << c.literalBits.size();
        EXPECT_EQ(d.bytes, c.bytes) << c.literalBits.size();
    }
}

TEST(StaticHuffman, InputThatRunsDryEndsAndNeverReadsTheNextMember) {
    // A packed size of 0: zero bits decode to something, then the input runs dry.
    for (int method : {1, 2, 3, 5}) {
        Decoded dry = decodeMember({}, 1u << 24, method, 0);
        EXPECT_EQ(dry.result, DecodeResult::damaged) << method;
        EXPECT_LT(dry.bytes.size(), 1u << 20) << method;
    }
    // A member that needs a new block header per code stops when the headers run out.
    BitWriter many;
    singleSymbolBlock(many, 1, 'B');
    Decoded d = decodeMember(finished(many), 1u << 30, 5);
    EXPECT_EQ(d.result, DecodeResult::damaged);
    EXPECT_LT(d.bytes.size(), 1000000u);
    Decoded empty = decodeMember({0x12, 0x34}, 0, 2);
    EXPECT_EQ(empty.result, DecodeResult::complete);
    EXPECT_EQ(empty.crc, 0);
}

TEST(Decoder, AnOutputThatRefusesBytesIsAWriteFailure) {
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

TEST(Lz5, PresetWindowAndGroups) {
    // Flag byte 0x00: matches; index field 0 (window index 18) of length 18 copies the
    // runs' first thirteen 0 bytes and five 1 bytes.
    Decoded d = decodeMember({0x00, 0x00, 0x0F}, 18, 9);
    EXPECT_EQ(d.result, DecodeResult::complete);
    EXPECT_EQ(d.bytes, std::string(13, '\0') + std::string(5, '\1'));
    // Eight literals, then matches into the rising values (index 3346), the falling
    // values (3602), the lead that literals have not reached yet (15) and the zeros
    // (3858); the index field is the window index - 18.
    d = decodeMember({0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x00, 0x00, 0xD0, 0x00, 0xE0,
                      0xFD, 0xF0, 0x00, 0xF0},
                     20, 9);
    EXPECT_EQ(d.bytes, std::string("abcdefgh") + std::string("\0\1\2\xFF\xFE\xFD", 6) +
                           std::string(6, '\0'));
    // The window's last 110 bytes are spaces (index 4000, length 18); index 255's run
    // starts at 18 + 13 * 255.
    d = decodeMember({0x00, 0x8E, 0xFF, 0xF3, 0xC0}, 21, 9);
    EXPECT_EQ(d.bytes, std::string(18, ' ') + std::string(3, '\xFF'));
}

TEST(Lzs, IndexIsAbsoluteAndCode256IsTwoBytes) {
    BitWriter w;
    for (char c : std::string("hello")) w.put(0x100 | static_cast<unsigned char>(c), 9);
    w.put(0, 1);  // match: window index (f + 17) mod 2048 = 1 ("ello"), length field 2
    w.put(2048 - 16, 11);
    w.put(2, 4);
    w.put(0, 1);  // length field 0: two bytes from index 0 ("he")
    w.put(2048 - 17, 11);
    w.put(0, 4);
    EXPECT_EQ(decodeMember(finished(w), 11, 8).bytes, "helloellohe");
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
    BitWriter bad;
    lh3EscapeBlock(bad, 1, 286);
    EXPECT_EQ(decodeMember(finished(bad), 1, 3).result, DecodeResult::damaged);
    BitWriter badPosition;
    lh3EscapeBlock(badPosition, 1, 'x', 128);
    EXPECT_EQ(decodeMember(finished(badPosition), 1, 3).result, DecodeResult::damaged);
}

namespace {

// An encoder that walks the decoder's own adaptive trees from leaf to root.
void writePath(BitWriter& w, const AdaptiveTrees& t, int leaf, int root) {
    std::vector<unsigned> bits;
    for (int x = leaf; x != root;) {
        int p = t.parent[x];
        bits.push_back(t.child[p] == x ? 0u : 1u);  // child v is bit 0, v - 1 is bit 1
        x = p;
    }
    for (auto it = bits.rbegin(); it != bits.rend(); ++it) w.put(*it, 1);
}

}  // namespace

TEST(Adaptive, LongMembersRebuildBothTreesAndGrowThePositions) {
    // Greedy LZ77 with lh2's limits over text with near and far repeats. The encoder
    // and the decoder walk the same trees, so the round trip checks their links; the
    // stream's CRC pins every tree update (run moves, rebuilds at 32,768, position
    // leaves added up to 128) as the corpus's lh2 member confirmed them.
    Bytes data;
    std::uint32_t x = 77;
    Bytes words = textLike(1500000, 77);
    for (std::size_t i = 0; data.size() < 1500000; ++i) {
        x = x * 1103515245u + 12345u;
        if ((x >> 28) == 0 && data.size() > 9000) {
            std::size_t from = data.size() - 1 - (x >> 8) % 8000, n = 20 + (x >> 4) % 260;
            for (std::size_t k = 0; k < n; ++k) data.push_back(data[from + k]);
        } else {
            data.insert(data.end(), words.begin() + static_cast<long>(i % 100000) * 8,
                        words.begin() + static_cast<long>(i % 100000) * 8 + 8);
        }
    }
    static AdaptiveTrees t;  // large: not on the stack
    t.initCodeTree(286, 256);
    t.initPositionTree(13);
    BitWriter w;
    int codes = 0, matches = 0;
    for (std::uint32_t produced = 0; produced < data.size(); ++codes) {
        unsigned best = 0, bestDistance = 0;
        unsigned reach = static_cast<unsigned>(t.positionSymbols()) * 64;
        for (unsigned d = 1; d <= produced && d <= reach && d <= 8192; d += d < 64 ? 1 : 61) {
            unsigned l = 0;
            while (l < 287 && produced + l < data.size() &&
                   data[produced + l] == data[produced + l - d])
                ++l;
            if (l > best) best = l, bestDistance = d;
        }
        if (best < 3) {
            writePath(w, t, t.leafOf[data[produced]], 0);
            t.countCode(data[produced++]);
            continue;
        }
        ++matches;
        unsigned code = best + 253, symbol = code >= 285 ? 285 : code;
        writePath(w, t, t.leafOf[symbol], 0);
        t.countCode(symbol);
        if (symbol == 285) w.put(code - 285, 8);
        t.growPositions(produced);
        unsigned position = bestDistance - 1, p = position / 64;
        writePath(w, t, t.leafOf[kPositionSymbolBase + p], kPositionRoot);
        t.countPosition(p);
        w.put(position % 64, 6);
        produced += best;
    }
    EXPECT_EQ(t.positionSymbols(), 128) << "the position alphabet grew to its limit";
    EXPECT_GT(codes, 4 * 32483) << "the code tree was rebuilt several times";
    EXPECT_GT(matches, 2 * 32768) << "the position tree was rebuilt";
    Bytes packed = finished(w);
    runningCrc = 0;
    updateCrc(packed.data(), packed.size());
    EXPECT_EQ(runningCrc, 0x351E) << "the stream the trees make";
    Decoded d = decodeMember(packed, static_cast<std::uint32_t>(data.size()), 2);
    EXPECT_EQ(d.result, DecodeResult::complete);
    EXPECT_TRUE(d.bytes == std::string(data.begin(), data.end()));
}

TEST(Adaptive, Lh1AndLz5MembersOfZeroOneAnd64KiB) {
    for (std::size_t size : {0u, 1u, 65536u}) {
        Bytes data = noise(size, 5);
        for (auto& b : data) b >>= 1;  // fewer symbols: deeper trees
        // lh1, literals only: 65,536 codes pass the code tree's first rebuild.
        static AdaptiveTrees t;
        t.initCodeTree(314, 60);
        BitWriter lh1;
        for (std::uint8_t b : data) {
            writePath(lh1, t, t.leafOf[b], 0);
            t.countCode(b);
        }
        const std::string expected(data.begin(), data.end());
        EXPECT_TRUE(decodeMember(finished(lh1), static_cast<std::uint32_t>(size), 1).bytes ==
                    expected);
        Bytes lz5;  // lz5, literals only: flag bytes of 0xFF, eight literals each
        for (std::size_t i = 0; i < size; ++i) {
            if (i % 8 == 0) lz5.push_back(0xFF);
            lz5.push_back(data[i]);
        }
        EXPECT_TRUE(decodeMember(lz5, static_cast<std::uint32_t>(size), 9).bytes == expected);
    }
}

TEST(Progress, NextChangeIsTheFirstCountWithAnotherPosition) {
    for (std::uint32_t total : {1u, 7u, 100u, 800u, 1000u, 1001u, 1999u, 123457u}) {
        for (std::uint32_t done : {0u, total / 3}) {
            totalOriginalSize = total;
            doneOriginalSize = done;
            std::uint32_t limit = total - done + 5;
            for (std::uint32_t cur = 0; cur < limit; ++cur) {
                std::uint32_t next = cur + 1;
                const std::uint32_t bound = limit + 2000;
                while (next < bound && progressPosition(next) == progressPosition(cur)) ++next;
                if (next == bound) continue;  // beyond what the search looks at
                ASSERT_EQ(nextProgressChange(cur), next) << total << " " << done << " " << cur;
            }
        }
    }
    doneOriginalSize = 0;
    totalOriginalSize = 1999;
    EXPECT_EQ(progressPosition(1999), 105u);
    totalOriginalSize = 1000;
    EXPECT_EQ(progressPosition(999), 99u);
    totalOriginalSize = 800;
    EXPECT_EQ(progressPosition(400), 50u);
}

namespace {
std::vector<std::uint32_t> sent;
void record(std::uint32_t position) { sent.push_back(position); }
}  // namespace

TEST(Progress, EachChangeIsSentOnceAndAbortStopsAfterTheCode) {
    progressSink = record;
    totalOriginalSize = 70000;
    doneOriginalSize = lastProgressPosition = 0;
    BitWriter w;
    singleSymbolBlock(w, 0, 'q');
    singleSymbolBlock(w, 0, 'r');
    Bytes packed = finished(w);
    EXPECT_EQ(decodeMember(packed, 70000, 5).result, DecodeResult::complete);
    ASSERT_EQ(sent.size(), 100u);
    for (std::size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(sent[i], i + 1);
    // Stored data: a progress call per 2,048-byte chunk.
    sent.clear();
    totalOriginalSize = 5000;
    lastProgressPosition = 0;
    decodeMember(Bytes(5000, 's'), 5000, 0);
    EXPECT_EQ(sent, (std::vector<std::uint32_t>{40, 81, 100}));
    // Nothing at all for an archive of empty members.
    sent.clear();
    totalOriginalSize = 0;
    reportProgress(0);
    EXPECT_TRUE(sent.empty());

    // Abort as soon as the bar reaches 10: the member stops right there.
    totalOriginalSize = 70000;
    lastProgressPosition = 0;
    progressSink = [](std::uint32_t p) {
        if (p >= 10) continueFlag = 0;
    };
    Decoded aborted = decodeMember(packed, 70000, 5);
    continueFlag = 1;
    lastProgressPosition = 0;
    progressSink = [](std::uint32_t) { continueFlag = 0; };
    Decoded stored = decodeMember(Bytes(70000, 's'), 70000, 0);
    continueFlag = 1;
    progressSink = nullptr;
    totalOriginalSize = 0;
    EXPECT_EQ(aborted.result, DecodeResult::aborted);
    EXPECT_EQ(aborted.bytes.size(), 0u) << "only whole rings are on disk";
    EXPECT_EQ(stored.result, DecodeResult::aborted);
    EXPECT_EQ(stored.bytes.size(), 2048u);
}
