// The decoder on hand-made streams: bit input, CRC, the window, matches, damage.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "decode/crc16.h"
#include "decode/lha_format.h"
#include "decode/slide_decoder.h"
#include "extract/progress.h"
#include "tests/host/bit_writer.h"

namespace {

struct Decoded {
    DecodeResult result;
    std::string bytes;
    std::uint16_t crc;
};

Decoded decodeBytes(const std::vector<std::uint8_t>& packed, std::uint32_t originalSize,
                    int method = 5, std::uint32_t packedSize = ~0u) {
    initCrcTable();
    std::FILE* in = std::tmpfile();
    std::fwrite(packed.data(), 1, packed.size(), in);
    std::fputs("NEXT MEMBER BYTES THAT MUST NOT BE READ", in);
    std::rewind(in);
    std::FILE* out = std::tmpfile();
    SlideDecoder d(in, out, originalSize,
                   packedSize == ~0u ? static_cast<std::uint32_t>(packed.size()) : packedSize,
                   kMethodTable[method].windowBits, method);
    d.continueFlag = &continueFlag;
    d.progress = reportMemberProgress;
    Decoded r;
    r.result = d.decode();
    r.crc = runningCrc;
    long n = std::ftell(out);
    r.bytes.resize(static_cast<std::size_t>(n));
    std::rewind(out);
    if (n) {
        EXPECT_EQ(std::fread(r.bytes.data(), 1, r.bytes.size(), out), r.bytes.size());
    }
    std::fclose(in);
    std::fclose(out);
    return r;
}

// A static-Huffman block in which every code is `symbol` (zero bits each) and every
// position symbol is `positionSymbol`; `extra` holds the extra position bits per match.
void singleSymbolBlock(BitWriter& w, unsigned codes, unsigned symbol, unsigned positionSymbol = 0,
                       unsigned positionCountBits = 4) {
    w.put(codes, 16);
    w.put(0, 5);  // length code: n = 0
    w.put(0, 5);  //   single symbol 0
    w.put(0, 9);  // literal/length code: n = 0
    w.put(symbol, 9);
    w.put(0, positionCountBits);  // position code: n = 0
    w.put(positionSymbol, positionCountBits);
}

}  // namespace

TEST(Crc16, KnownValuesAndSlicingAgreesWithBytewise) {
    initCrcTable();
    runningCrc = 0;
    updateCrc(reinterpret_cast<const std::uint8_t*>("123456789"), 9);
    EXPECT_EQ(runningCrc, 0xBB3D);  // CRC-16/ARC check value
    updateCrc(nullptr, 0);
    EXPECT_EQ(runningCrc, 0xBB3D);
    std::vector<std::uint8_t> data(1000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + (i >> 3));
    for (std::size_t split : {0u, 1u, 7u, 8u, 9u, 500u, 999u}) {
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

TEST(BitInput, ReadsAcrossRefillsAndFeedsCountedZerosPastTheEnd) {
    std::FILE* f = std::tmpfile();
    const std::uint8_t bytes[] = {0xA5, 0x0F, 0xF0, 0x33, 0xCC, 0x81, 0x7E, 0x12, 0x34, 0x56, 0x78};
    std::fwrite(bytes, 1, sizeof bytes, f);
    std::fputs("after", f);
    std::rewind(f);
    std::vector<std::uint8_t> buffer(3);  // a small buffer forces refills from the stream
    BitInput in;
    in.start(f, buffer.data(), 3, sizeof bytes);
    EXPECT_EQ(in.readBits(0), 0u);
    EXPECT_EQ(in.readBits(4), 0xAu);
    EXPECT_EQ(in.readBits(8), 0x50u);
    EXPECT_EQ(in.readBits(16), 0xFF03u);
    for (std::size_t i = 4; i < sizeof bytes; ++i)
        EXPECT_EQ(in.readBits(8), ((bytes[i - 1] & 0xFu) << 4) | (bytes[i] >> 4u)) << i;
    EXPECT_EQ(in.readBits(4), 0x8u);
    EXPECT_FALSE(in.damaged);
    // The packed size is the limit: "after" is never read, zeros come instead.
    for (int i = 0; i < 4; ++i) EXPECT_EQ(in.readBits(16), 0u);
    for (int i = 0; i < 4 && !in.damaged; ++i) in.readBits(16);
    EXPECT_TRUE(in.damaged) << "a stream that keeps asking is stopped";
    std::fclose(f);
}

TEST(BitInput, PackedSizeZeroReadsNothing) {
    std::FILE* f = std::tmpfile();
    std::fputs("XYZ", f);
    std::rewind(f);
    BitInput in;
    in.start(f, nullptr, 0, 0);
    EXPECT_EQ(in.readBits(16), 0u);
    EXPECT_EQ(std::ftell(f), 0L);
    std::fclose(f);
}

TEST(StaticHuffman, LiteralsMatchesAndTheInitialSpaces) {
    BitWriter w;
    singleSymbolBlock(w, 2, 'x');
    singleSymbolBlock(w, 1, 256 + 7, 0);  // length 10, distance 1: repeats "x"
    singleSymbolBlock(w, 1, 256, 13);     // length 3 at distance 4096 + extra + 1
    w.put(4095, 12);                      // extra bits: distance 8192 reaches initial spaces
    Decoded d = decodeBytes(w.bytes, 15);
    EXPECT_EQ(d.result, DecodeResult::complete);
    EXPECT_EQ(d.bytes, std::string(12, 'x') + "   ");
}

TEST(StaticHuffman, BlockSizeZeroMeans65536Codes) {
    BitWriter w;
    singleSymbolBlock(w, 0, 'q');
    Decoded d = decodeBytes(w.bytes, 70000);
    // One block of 65536 codes, then a block header read from exhausted input.
    EXPECT_GE(d.bytes.size(), 65536u);
    EXPECT_EQ(d.bytes.substr(0, 65536), std::string(65536, 'q'));
}

TEST(StaticHuffman, LastMatchIsClippedAtTheOriginalSize) {
    BitWriter w;
    singleSymbolBlock(w, 1, 509, 0);  // a 256-byte match
    Decoded d = decodeBytes(w.bytes, 5);
    EXPECT_EQ(d.result, DecodeResult::complete);
    EXPECT_EQ(d.bytes, "     ");
}

TEST(StaticHuffman, MatchesWrapTheWindowOnBothSides) {
    // 300 distinct-ish literals, then matches at distance 300 run past the 8 KiB ring.
    BitWriter w;
    std::string expected;
    for (int i = 0; i < 300; ++i) {
        unsigned c = 'a' + (i * 7) % 26;
        singleSymbolBlock(w, 1, c);
        expected += static_cast<char>(c);
    }
    const unsigned matches = 40;
    singleSymbolBlock(w, matches, 509, 9);  // position symbol 9: 256 + 8 extra bits
    for (unsigned i = 0; i < matches; ++i) w.put(300 - 1 - 256, 8);
    while (expected.size() < 300 + 256 * matches) expected += expected[expected.size() - 300];
    Decoded d = decodeBytes(w.bytes, static_cast<std::uint32_t>(expected.size()));
    EXPECT_EQ(d.result, DecodeResult::complete);
    EXPECT_EQ(d.bytes, expected);
    EXPECT_GT(expected.size(), 8192u * 1);
}

TEST(StaticHuffman, SizesThatAreAndAreNotMultiplesOfTheWindow) {
    for (std::uint32_t size : {8192u, 8193u, 16384u, 8191u}) {
        for (int method : {4, 5, 6, 7}) {
            BitWriter w;
            singleSymbolBlock(w, 0, 'z', 0, method >= 6 ? 5 : 4);
            Decoded d = decodeBytes(w.bytes, size, method);
            EXPECT_EQ(d.bytes, std::string(size, 'z')) << size << " method " << method;
        }
    }
}

TEST(StaticHuffman, DamagedHeadersStopTheMember) {
    {  // Over-full length code: three symbols of length 1.
        BitWriter w;
        w.put(10, 16);
        w.put(3, 5);
        for (int i = 0; i < 3; ++i) w.put(1, 3);
        w.put(0, 2);
        Decoded d = decodeBytes(w.bytes, 100);
        EXPECT_EQ(d.result, DecodeResult::damaged);
        EXPECT_TRUE(d.bytes.empty());
    }
    {  // Single-symbol escape outside the literal/length alphabet.
        BitWriter w;
        w.put(10, 16);
        w.put(0, 5);
        w.put(0, 5);
        w.put(0, 9);
        w.put(510, 9);
        EXPECT_EQ(decodeBytes(w.bytes, 100).result, DecodeResult::damaged);
    }
    {  // Position escape outside the alphabet (14 symbols for lh5).
        BitWriter w;
        singleSymbolBlock(w, 10, 'a', 14);
        EXPECT_EQ(decodeBytes(w.bytes, 100).result, DecodeResult::damaged);
    }
    {  // Length above 16 in the small format: three ones then fourteen more.
        BitWriter w;
        w.put(10, 16);
        w.put(1, 5);
        w.put(0x1FFFF, 17);
        EXPECT_EQ(decodeBytes(w.bytes, 100).result, DecodeResult::damaged);
    }
}

TEST(StaticHuffman, IncompleteCodeIsFineUntilAnUnusedCodeArrives) {
    // Literal code: symbol 'k' alone with length 1; the code "1" means nothing.
    BitWriter good;
    good.put(2, 16);
    good.put(4, 5);
    good.put(0, 3);
    good.put(0, 3);
    good.put(1, 3);
    good.put(0, 2);
    good.put(1, 3);
    good.put('k' + 1, 9);
    good.put(0, 1);
    good.put('k' - 20, 9);
    good.put(1, 1);
    good.put(0, 4);
    good.put(0, 4);
    good.put(0, 1);
    good.put(0, 1);
    Decoded ok = decodeBytes(good.bytes, 2);
    EXPECT_EQ(ok.result, DecodeResult::complete);
    EXPECT_EQ(ok.bytes, "kk");

    BitWriter bad = good;
    bad.bytes.back() |= static_cast<std::uint8_t>(0x80 >> (bad.used - 1));  // last code "1"
    Decoded broken = decodeBytes(bad.bytes, 2);
    EXPECT_EQ(broken.result, DecodeResult::damaged);
    EXPECT_EQ(broken.bytes, "k");
}

TEST(StaticHuffman, TruncatedOrEmptyInputEndsAndNeverReadsTheNextMember) {
    BitWriter w;
    singleSymbolBlock(w, 5, 'A');
    Decoded whole = decodeBytes(w.bytes, 5);
    EXPECT_EQ(whole.bytes, "AAAAA");
    // A packed size of 0: everything reads as zero bits; output stays within its size.
    Decoded empty = decodeBytes({}, 1000, 5, 0);
    EXPECT_LE(empty.bytes.size(), 1000u);
    EXPECT_EQ(empty.bytes.find_first_not_of('\0'), std::string::npos);
    // A member that needs a new block header per code runs dry and stops.
    BitWriter many;
    singleSymbolBlock(many, 1, 'B');
    Decoded dry = decodeBytes(many.bytes, 1u << 30);
    EXPECT_EQ(dry.result, DecodeResult::damaged);
    EXPECT_LT(dry.bytes.size(), 1000000u);
}

TEST(Lz5, PresetWindowAndGroups) {
    // Flag byte 0x00: eight matches; the first copies window bytes 18..35.
    std::vector<std::uint8_t> packed = {0x00, 0x00, 0x0F};
    Decoded d = decodeBytes(packed, 18, 9);
    EXPECT_EQ(d.result, DecodeResult::complete);
    EXPECT_EQ(d.bytes, std::string(13, '\0') + std::string(5, '\1'));
    // Flag byte 0xFF: eight literals. Then a match at index 0xF00 of length 3.
    packed = {0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x00, 0x00, 0xF0};
    d = decodeBytes(packed, 11, 9);
    // Index 0xF00 + 18 = 3858: the zero bytes of the preset.
    EXPECT_EQ(d.bytes, std::string("abcdefgh") + std::string(3, '\0'));
}

TEST(Lzs, IndexIsAbsoluteAndCode256IsTwoBytes) {
    BitWriter w;
    for (char c : std::string("hello")) {
        w.put(1, 1);
        w.put(static_cast<unsigned char>(c), 8);
    }
    // Match: window index (f + 17) mod 2048 = 1 ("ello"), length field 2 -> 4 bytes.
    w.put(0, 1);
    w.put(2048 - 16, 11);
    w.put(2, 4);
    // Length field 0: two bytes from index 0 ("he").
    w.put(0, 1);
    w.put(2048 - 17, 11);
    w.put(0, 4);
    Decoded d = decodeBytes(w.bytes, 11, 8);
    EXPECT_EQ(d.bytes, "helloellohe");
}

TEST(Progress, NextChangeIsTheFirstCountWithAnotherPosition) {
    for (std::uint32_t total : {1u, 7u, 100u, 800u, 1000u, 1001u, 1999u, 123457u}) {
        for (std::uint32_t done : {0u, total / 3}) {
            totalOriginalSize = total;
            doneOriginalSize = done;
            std::uint32_t limit = total - done + 5;
            for (std::uint32_t cur = 0; cur < limit; ++cur) {
                std::uint32_t x = cur + 1;
                const std::uint32_t bound = limit + 2000;
                while (x < bound && progressPosition(x) == progressPosition(cur)) ++x;
                if (x == bound) continue;  // beyond what the search looks at
                ASSERT_EQ(nextProgressChange(cur), x) << total << " " << done << " " << cur;
            }
        }
    }
    totalOriginalSize = 1999;
    doneOriginalSize = 0;
    EXPECT_EQ(progressPosition(1999), 105u);
    totalOriginalSize = 800;
    EXPECT_EQ(progressPosition(400), 50u);
}

namespace {
std::vector<std::uint32_t> sent;
void record(std::uint32_t position) { sent.push_back(position); }
}  // namespace

TEST(Progress, EachChangeIsSentOnceAndAbortStopsAfterTheCode) {
    progressSink = record;
    sent.clear();
    totalOriginalSize = 70000;
    doneOriginalSize = 0;
    lastProgressPosition = 0;
    BitWriter w;
    singleSymbolBlock(w, 0, 'q');
    singleSymbolBlock(w, 0, 'r');
    Decoded d = decodeBytes(w.bytes, 70000);
    EXPECT_EQ(d.result, DecodeResult::complete);
    ASSERT_EQ(sent.size(), 100u);
    for (std::size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(sent[i], i + 1);

    // Abort as soon as the bar reaches 10: the member stops right there.
    sent.clear();
    lastProgressPosition = 0;
    progressSink = [](std::uint32_t p) {
        if (p == 10) continueFlag = 0;
    };
    Decoded aborted = decodeBytes(w.bytes, 70000);
    continueFlag = 1;
    progressSink = nullptr;
    totalOriginalSize = 0;
    EXPECT_EQ(aborted.result, DecodeResult::aborted);
    EXPECT_EQ(aborted.bytes.size() % 8192, 0u) << "only whole windows are on disk";
    EXPECT_LT(aborted.bytes.size(), 8000u);
}

namespace {

// An lh3 block whose literal/length code is the escape: every code is `symbol`.
void lh3EscapeBlock(BitWriter& w, unsigned codes, unsigned symbol) {
    w.put(codes, 16);
    for (int i = 0; i < 3; ++i) {
        w.put(1, 1);  // length present
        w.put(0, 4);  // length 1
    }
    w.put(symbol, 9);
    w.put(0, 1);  // positions: preset list 1
}

}  // namespace

TEST(FixedTable, EscapeCodesAndPresetPositions) {
    BitWriter w;
    lh3EscapeBlock(w, 1, 'Q');
    lh3EscapeBlock(w, 1, 285);
    w.put(0, 8);  // 285 + 0: a match of 32
    w.put(0, 2);  // preset symbol 0 ("00")
    w.put(0, 6);  // position 0: distance 1
    Decoded d = decodeBytes(w.bytes, 33, 3);
    EXPECT_EQ(d.result, DecodeResult::complete);
    EXPECT_EQ(d.bytes, std::string(33, 'Q'));

    BitWriter bad;  // escape value outside the 286 symbols
    lh3EscapeBlock(bad, 1, 300);
    EXPECT_EQ(decodeBytes(bad.bytes, 10, 3).result, DecodeResult::damaged);

    BitWriter badPosition;  // a sent position code whose escape names symbol 200
    badPosition.put(1, 16);
    for (int i = 0; i < 3; ++i) {
        badPosition.put(1, 1);
        badPosition.put(0, 4);
    }
    badPosition.put(256, 9);
    badPosition.put(1, 1);
    for (int i = 0; i < 3; ++i) badPosition.put(1, 4);
    badPosition.put(200, 10);
    EXPECT_EQ(decodeBytes(badPosition.bytes, 10, 3).result, DecodeResult::damaged);
}

TEST(Adaptive, EmptyMembersAndStreamsThatRunDry) {
    for (int method : {1, 2}) {
        Decoded empty = decodeBytes({0x12, 0x34}, 0, method);
        EXPECT_EQ(empty.result, DecodeResult::complete);
        EXPECT_TRUE(empty.bytes.empty());
        EXPECT_EQ(empty.crc, 0);
        // No packed data at all: zero bits decode to something, then the input runs dry.
        Decoded dry = decodeBytes({}, 1u << 24, method, 0);
        EXPECT_EQ(dry.result, DecodeResult::damaged) << method;
        EXPECT_LT(dry.bytes.size(), 1u << 24);
    }
}
