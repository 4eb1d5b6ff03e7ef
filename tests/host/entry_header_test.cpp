// Member headers from bytes: every level, extended headers, names, times, and the
// damaged layouts that must be refused.
#include <gtest/gtest.h>

#include <string>

#include "extract/archive_walk.h"
#include "extract/entry_header.h"

namespace {

using Bytes = std::string;

Bytes le16(unsigned v) { return Bytes{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
Bytes le32(std::uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }

struct Read {
    HeaderRead result;
    EntryHeader h;
    long position;
};

Read read(const Bytes& bytes, long timezone = 0) {
    std::FILE* f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    Read r;
    r.result = readEntryHeader(f, r.h, timezone);
    r.position = std::ftell(f);
    std::fclose(f);
    return r;
}

// Level 0 or 1 header: H counts the bytes after the first two.
Bytes level01(int level, const Bytes& name, const Bytes& tail, std::uint32_t packed = 10,
              const Bytes& method = "-lh5-", std::uint32_t stamp = 0x2B1E2A6D) {
    Bytes body = method + le32(packed) + le32(26948) + le32(stamp) + "\x20" +
                 static_cast<char>(level) + static_cast<char>(name.size()) + name + tail;
    return static_cast<char>(body.size()) + Bytes("\x00", 1) + body;
}

// Level 2 header with extended headers `ext` (each already with its size field before).
Bytes level2(const Bytes& ext, std::uint32_t packed = 10) {
    Bytes tail = Bytes("-lh5-") + le32(packed) + le32(3) + le32(999148766) + Bytes("\x20\x02", 2) +
                 le16(0xBEEF) + "U";
    Bytes withExt = tail + ext;
    std::size_t total = 2 + withExt.size();
    return le16(static_cast<unsigned>(total)) + withExt;
}

Bytes extended(char type, const Bytes& data) {
    return le16(static_cast<unsigned>(data.size() + 3)) + type + data;
}

}  // namespace

TEST(EntryHeader, WorkedLevelOneExample) {
    Bytes bytes("\x24\xA1-lh5-\x2F\x26\x00\x00\x44\x69\x00\x00\x6D\x2A\x1E\x2B\x20\x01\x0B", 22);
    bytes += "copying.txt";
    bytes += Bytes("\x86\xD6\x4D\x00\x00", 5);
    Read r = read(bytes + "DATA");
    ASSERT_EQ(r.result, HeaderRead::member);
    EXPECT_EQ(r.h.headerSize, 36);
    EXPECT_STREQ(r.h.method, "-lh5-");
    EXPECT_EQ(r.h.packedSize, 9775u);
    EXPECT_EQ(r.h.originalSize, 26948u);
    EXPECT_EQ(r.h.rawTime, 723397229u);
    EXPECT_EQ(r.h.modifiedTime, 999148766u);
    EXPECT_EQ(r.h.attribute, 0x20);
    EXPECT_EQ(r.h.level, 1);
    EXPECT_STREQ(r.h.name, "copying.txt");
    EXPECT_EQ(r.h.crc, 0xD686);
    EXPECT_TRUE(r.h.hasCrc);
    EXPECT_EQ(r.h.osId, 'M');
    EXPECT_EQ(r.position, 38);
}

TEST(EntryHeader, LayoutByHeaderMinusName) {
    Read none = read(level01(0, "A.TXT", ""));  // D = 20
    ASSERT_EQ(none.result, HeaderRead::member);
    EXPECT_FALSE(none.h.hasCrc);
    EXPECT_EQ(none.h.osId, 0);
    Read crc = read(level01(0, "A.TXT", le16(0x1234)));  // D = 22
    ASSERT_EQ(crc.result, HeaderRead::member);
    EXPECT_TRUE(crc.h.hasCrc);
    EXPECT_EQ(crc.h.crc, 0x1234);
    EXPECT_EQ(crc.h.osId, 0);
    EXPECT_EQ(read(level01(0, "A.TXT", "x")).result, HeaderRead::unknown);    // D = 21
    EXPECT_EQ(read(level01(0, "A.TXT", "xyz")).result, HeaderRead::unknown);  // D = 23
}

TEST(EntryHeader, NamesAndSeparators) {
    Read dos = read(level01(0, "DIR\\FILE.TXT", le16(1)));
    EXPECT_STREQ(dos.h.name, "DIR/FILE.TXT");
    Read kanji = read(level01(0, "\x95\x5C\\x", le16(1)));  // 0x5C after a lead byte stays
    EXPECT_STREQ(kanji.h.name, "\x95\x5C/x");
    // Level 1 with a directory extended header using 0xFF separators.
    Bytes dir = extended(0x02, "docs\xFFimg\xFF");
    Bytes h = level01(1, "a.txt", le16(1) + "M" + dir.substr(0, 2),
                      100 + static_cast<std::uint32_t>(dir.size()));
    // The first size field is part of the base header; the rest follows it.
    Read r = read(h + dir.substr(2) + le16(0));
    ASSERT_EQ(r.result, HeaderRead::member) << static_cast<int>(r.result);
    EXPECT_STREQ(r.h.name, "docs/img/a.txt");
    EXPECT_EQ(r.h.packedSize, 100u);
}

TEST(EntryHeader, LevelTwoWithExtendedHeaders) {
    Bytes ext = extended(0x01, "name.bin") +
                extended(0x02,
                         "a\xFF"
                         "b\xFF") +
                extended(0x40, le16(0x21)) + le16(0);
    Read r = read(level2(ext, 77) + "DATA");
    ASSERT_EQ(r.result, HeaderRead::member);
    EXPECT_STREQ(r.h.name, "a/b/name.bin");
    EXPECT_EQ(r.h.packedSize, 77u);
    EXPECT_EQ(r.h.modifiedTime, 999148766u);
    EXPECT_EQ(r.h.crc, 0xBEEF);
    EXPECT_EQ(r.h.osId, 'U');
    EXPECT_EQ(r.h.attribute, 0x20) << "attribute only taken for MS-DOS-like systems";
    EXPECT_EQ(r.position, static_cast<long>(level2(ext).size()));
}

TEST(EntryHeader, LevelTwoOf256BytesOrMoreIsReadWhole) {
    Bytes ext = extended(0x02, "d/") + extended(0x01, Bytes(230, 'f')) + le16(0);
    Bytes header = level2(ext);
    ASSERT_GE(header.size(), 256u);
    ASSERT_NE(header[0], 0) << "a low length byte of 0 would read as the archive's end";
    Read r = read(header + "DATA");
    ASSERT_EQ(r.result, HeaderRead::member);
    EXPECT_EQ(std::string(r.h.name), "d/" + Bytes(230, 'f'));
    EXPECT_EQ(r.position, static_cast<long>(header.size()));
}

TEST(EntryHeader, DamagedLayoutsAreRefused) {
    // Level above 2.
    Bytes l3 = level01(0, "A", le16(1));
    l3[20] = 3;
    EXPECT_EQ(read(l3).result, HeaderRead::unknown);
    // Level 2 too short for its own fields.
    Bytes shortL2 = level2(le16(0));
    shortL2[0] = 25;
    shortL2[1] = 0;
    EXPECT_EQ(read(shortL2).result, HeaderRead::unknown);
    // Extended header of size 1 or 2 cannot be walked.
    EXPECT_EQ(read(level2(le16(2) + Bytes("\x01\x00", 2))).result, HeaderRead::unknown);
    // An extended header that claims more than the header length holds.
    EXPECT_EQ(read(level2(le16(200) + "\x01" + "abc" + le16(0))).result, HeaderRead::unknown);
    // Level 1: extended headers larger than the packed size.
    Bytes ext = extended(0x01, "x.txt");
    Bytes h = level01(1, "", le16(1) + "M" + ext.substr(0, 2), 3);
    EXPECT_EQ(read(h + ext.substr(2) + le16(0)).result, HeaderRead::unknown);
    // Name longer than the header.
    Bytes n = level01(0, "ABC", "");
    n[21] = 100;
    EXPECT_EQ(read(n).result, HeaderRead::unknown);
}

TEST(EntryHeader, EndAndTruncation) {
    EXPECT_EQ(read("").result, HeaderRead::end);
    EXPECT_EQ(read(Bytes("\0rest", 5)).result, HeaderRead::end);
    Bytes whole = level01(0, "FILE.TXT", le16(1));
    for (std::size_t cut = 1; cut < whole.size(); ++cut)
        EXPECT_EQ(read(whole.substr(0, cut)).result, HeaderRead::truncated) << cut;
    Bytes l2 = level2(extended(0x01, "n") + le16(0));
    for (std::size_t cut = 1; cut < l2.size(); ++cut)
        EXPECT_EQ(read(l2.substr(0, cut)).result, HeaderRead::truncated) << cut;
}

TEST(EntryHeader, OverlongNamesAreMarked) {
    Bytes ext = extended(0x02, Bytes(200, 'd') + "/") + extended(0x01, Bytes(100, 'f')) + le16(0);
    Read r = read(level2(ext));
    ASSERT_EQ(r.result, HeaderRead::member);
    EXPECT_TRUE(r.h.nameTooLong);
    EXPECT_LT(std::string(r.h.name).size(), 260u);
    Bytes fits = extended(0x02, Bytes(150, 'd') + "/") + extended(0x01, Bytes(108, 'f')) + le16(0);
    EXPECT_FALSE(read(level2(fits)).h.nameTooLong);
}

TEST(DosTime, Conversion) {
    EXPECT_EQ(dosTimeToUnixTime(0x2B1E2A6D, 0), 999148766u);
    EXPECT_EQ(dosTimeToUnixTime(0x2B1E2A6D, -32400), 999116366u);
    // 2000-03-01 12:00:00 and the day before (leap day).
    auto stamp = [](unsigned y, unsigned mo, unsigned d, unsigned h) {
        return ((y - 1980) << 25) | (mo << 21) | (d << 16) | (h << 11);
    };
    EXPECT_EQ(dosTimeToUnixTime(stamp(2000, 3, 1, 12), 0), 951912000u);
    EXPECT_EQ(dosTimeToUnixTime(stamp(2000, 2, 29, 12), 0), 951825600u);
    EXPECT_EQ(dosTimeToUnixTime(0, 0), 0u);
    // Month 0 and 13..15 stay ordered around their neighbours.
    EXPECT_EQ(dosTimeToUnixTime(stamp(2001, 0, 1, 0), 0),
              dosTimeToUnixTime(stamp(2001, 1, 1, 0), 0));
    EXPECT_GT(dosTimeToUnixTime(stamp(2001, 13, 1, 0), 0),
              dosTimeToUnixTime(stamp(2001, 12, 1, 0), 0));
}

TEST(ArchiveWalk, SumsSizesAndEndsOnBackwardOrBadHeaders) {
    Bytes member = level01(0, "A", le16(1), 4) + "abcd";
    Bytes archive = member + member + Bytes("\0", 1);
    std::FILE* f = std::tmpfile();
    std::fputs("PREFIX", f);
    std::fwrite(archive.data(), 1, archive.size(), f);
    std::fseek(f, 6, SEEK_SET);
    EXPECT_EQ(summarizeArchive(f, 0).totalOriginalSize, 2u * 26948u);
    EXPECT_EQ(std::ftell(f), 6L) << "the stream is left where it was";
    std::fclose(f);
    // A header whose level byte is 7 ends the walk instead of steering it.
    Bytes bad = level01(0, "B", le16(1), 0);
    bad[20] = 7;
    f = std::tmpfile();
    Bytes all = member + bad + member;
    std::fwrite(all.data(), 1, all.size(), f);
    std::rewind(f);
    EXPECT_EQ(summarizeArchive(f, 0).totalOriginalSize, 26948u);
    std::fclose(f);
}
