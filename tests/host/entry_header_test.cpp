// Member headers from bytes: every level and layout, extended headers at their
// bounds, names, times (against the C library's own calendar), and the walk over a
// whole archive.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "extract/entry_header.h"
#include "tests/host/test_support.h"

namespace {

using Text = std::string;

Text le16(unsigned v) { return Text{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
Text le32(std::uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }

struct Read {
    HeaderRead result;
    EntryHeader h;
    long position;
};

Read read(const Text& bytes) {
    std::FILE* f = streamOf(Bytes(bytes.begin(), bytes.end()));
    Read r;
    r.result = readEntryHeader(f, r.h, 0);
    r.position = std::ftell(f);
    std::fclose(f);
    return r;
}

// Byte 1 of a level 0 or 1 header: the sum of the H bytes after the first two.
Text withChecksum(Text h) {
    unsigned sum = 0;
    for (std::size_t i = 2; i < static_cast<unsigned char>(h[0]) + 2u && i < h.size(); ++i)
        sum += static_cast<unsigned char>(h[i]);
    h[1] = static_cast<char>(sum);
    return h;
}

// Level 0 or 1: H counts the bytes after the first two; `tail` follows the name.
Text level01(int level, const Text& name, const Text& tail, std::uint32_t packed = 10) {
    Text body = "-lh5-" + le32(packed) + le32(26948) + le32(0x2B1E2A6D) + "\x20" +
                static_cast<char>(level) + static_cast<char>(name.size()) + name + tail;
    return withChecksum(static_cast<char>(body.size()) + Text("\x00", 1) + body);
}

// Level 2 with extended headers `ext` (each with its size field before it).
Text level2(const Text& ext, std::uint32_t packed = 10, char os = 'U') {
    Text withExt = Text("-lh5-") + le32(packed) + le32(3) + le32(999148766) + Text("\x20\x02", 2) +
                   le16(0xBEEF) + os + ext;
    return le16(static_cast<unsigned>(2 + withExt.size())) + withExt;
}

Text extended(char type, const Text& data) {
    return le16(static_cast<unsigned>(data.size() + 3)) + type + data;
}

}  // namespace

TEST(EntryHeader, LevelOneHeaderOfThirtyEightBytes) {
    Text bytes("\x24\xA1-lh5-\x2F\x26\x00\x00\x44\x69\x00\x00\x6D\x2A\x1E\x2B\x20\x01\x0B", 22);
    bytes += "copying.txt" + Text("\x86\xD6\x4D\x00\x00", 5);
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

TEST(EntryHeader, WhatFollowsTheNameIsToldByHeaderMinusName) {
    struct Case {
        const char* tail;
        std::size_t length;
        HeaderRead result;
        bool hasCrc;
        std::uint8_t os;
    };
    const Case cases[] = {
        {"", 0, HeaderRead::member, false, 0},             // D = 20
        {"x", 1, HeaderRead::unknown, false, 0},           // 21
        {"\x34\x12", 2, HeaderRead::member, true, 0},      // 22
        {"\x34\x12M", 3, HeaderRead::unknown, false, 0},   // 23
        {"\x34\x12MZ", 4, HeaderRead::member, true, 'M'},  // 24
        {"\x34\x12MZZZ", 6, HeaderRead::member, true, 'M'},
    };
    for (const Case& c : cases) {
        Read r = read(level01(0, "A.TXT", Text(c.tail, c.length)));
        ASSERT_EQ(r.result, c.result) << c.length;
        if (r.result != HeaderRead::member) continue;
        EXPECT_EQ(r.h.hasCrc, c.hasCrc) << c.length;
        EXPECT_EQ(r.h.crc, c.hasCrc ? 0x1234 : 0) << c.length;
        EXPECT_EQ(r.h.osId, c.os) << c.length;
        EXPECT_EQ(r.position, static_cast<long>(27 + c.length)) << "at the data";
    }
}

TEST(EntryHeader, NamesSeparatorsAndLimits) {
    EXPECT_STREQ(read(level01(0, "DIR\\FILE.TXT", le16(1))).h.name, "DIR/FILE.TXT");
    EXPECT_STREQ(read(level01(0, "\x95\x5C\\x", le16(1))).h.name, "\x95\x5C/x")
        << "a second byte 0x5C stays";
    EXPECT_STREQ(read(level01(0, Text("AB\0CD", 5), le16(1))).h.name, "AB") << "cut at a NUL";
    // Level 1: the folder in an extended header with 0xFF separators; the first size
    // field belongs to the base header, and the packed size loses the extended headers.
    Text dir = extended(0x02, "docs\xFFimg\xFF");
    Text h = level01(1, "a.txt", le16(1) + "M" + dir.substr(0, 2),
                     100 + static_cast<std::uint32_t>(dir.size()));
    Read r = read(h + dir.substr(2) + le16(0));
    ASSERT_EQ(r.result, HeaderRead::member);
    EXPECT_STREQ(r.h.name, "docs/img/a.txt");
    EXPECT_EQ(r.h.packedSize, 100u);
    // 259 bytes fit the name buffer; 260 are marked too long (kept cut, for the message).
    for (std::size_t file : {108u, 109u}) {
        Text ext = extended(0x02, Text(150, 'd') + "/") + extended(0x01, Text(file, 'f')) + le16(0);
        Read n = read(level2(ext));
        ASSERT_EQ(n.result, HeaderRead::member);
        EXPECT_EQ(n.h.nameTooLong, file == 109) << file;
        EXPECT_EQ(Text(n.h.name).size(), 259u);
    }
}

TEST(EntryHeader, LevelTwoExtendedHeadersAndAttributes) {
    Text ext = extended(0x01, "name.bin") +
               extended(0x02,
                        "a\xFF"
                        "b\xFF") +
               extended(0x40, le16(0x21)) + le16(0);
    Read r = read(level2(ext, 77) + "DATA");
    ASSERT_EQ(r.result, HeaderRead::member);
    EXPECT_STREQ(r.h.name, "a/b/name.bin");
    EXPECT_EQ(r.h.packedSize, 77u);
    EXPECT_EQ(r.h.modifiedTime, 999148766u) << "seconds since 1970 as stored";
    EXPECT_EQ(r.h.crc, 0xBEEF);
    EXPECT_EQ(r.h.osId, 'U');
    EXPECT_EQ(r.h.attribute, 0x20) << "an attribute header counts only for MS-DOS-like systems";
    for (char os : {'M', 'H', '\0'}) EXPECT_EQ(read(level2(ext, 77, os)).h.attribute, 0x21) << os;
    // 256 bytes or more are read whole; the writer never leaves a low length byte 0.
    Text big = level2(extended(0x02, "d/") + extended(0x01, Text(230, 'f')) + le16(0));
    ASSERT_GE(big.size(), 256u);
    r = read(big + "DATA");
    ASSERT_EQ(r.result, HeaderRead::member);
    EXPECT_EQ(Text(r.h.name), "d/" + Text(230, 'f'));
    EXPECT_EQ(r.position, static_cast<long>(big.size()));
}

TEST(EntryHeader, DamagedLayoutsAreRefused) {
    Text l3 = level01(0, "A", le16(1));
    l3[20] = 3;
    EXPECT_EQ(read(l3).result, HeaderRead::unknown) << "level 3";
    Text tiny = level01(0, "", "");
    tiny[0] = 19;
    EXPECT_EQ(read(tiny).result, HeaderRead::unknown) << "no room for the name length";
    Text n = level01(0, "ABC", "");
    n[21] = 100;
    EXPECT_EQ(read(withChecksum(n)).result, HeaderRead::unknown) << "name longer than the header";
    // Level 2 shorter than its own fields, then exactly as long.
    Text shortL2 = level2(le16(0));
    for (unsigned length : {24u, 25u}) {
        shortL2[0] = static_cast<char>(length);
        EXPECT_EQ(read(shortL2).result, HeaderRead::unknown) << length;
    }
    EXPECT_EQ(read(level2(le16(0))).result, HeaderRead::member);
    // Extended headers of size 1 or 2 cannot be walked.
    for (unsigned size : {1u, 2u})
        EXPECT_EQ(read(level2(le16(size) + Text("\x01\x00\x00", 3))).result, HeaderRead::unknown);
    // A level-2 extended header may end exactly at the header's length, not past it.
    Text last = level2(extended(0x01, "abc") + le16(0));
    EXPECT_EQ(read(last).result, HeaderRead::member);
    last[last.size() - 8] = 7;  // its size claims one byte more
    EXPECT_EQ(read(last + "X").result, HeaderRead::unknown);
    // Level 1: extended headers may take all of the packed size, not more, and not more
    // than the 64 KiB header buffer.
    Text ext = extended(0x01, "x.txt");
    for (std::uint32_t packed : {8u, 7u}) {
        Text h = level01(1, "", le16(1) + "M" + ext.substr(0, 2), packed);
        Read r = read(h + ext.substr(2) + le16(0));
        EXPECT_EQ(r.result, packed == 8 ? HeaderRead::member : HeaderRead::unknown) << packed;
        if (packed == 8) EXPECT_EQ(r.h.packedSize, 0u);
    }
    Text chain;
    for (int i = 0; i < 2; ++i) chain += extended(0x50, Text(40000, 'e'));
    Text h = level01(1, "", le16(1) + "M" + chain.substr(0, 2), 90000);
    EXPECT_EQ(read(h + chain.substr(2) + le16(0)).result, HeaderRead::unknown);
}

TEST(EntryHeader, EndAndTruncation) {
    EXPECT_EQ(read("").result, HeaderRead::end);
    EXPECT_EQ(read(Text("\0rest", 5)).result, HeaderRead::end);
    for (const Text& whole :
         {level01(0, "FILE.TXT", le16(1)), level2(extended(0x01, "n") + le16(0))})
        for (std::size_t cut = 1; cut < whole.size(); ++cut)
            EXPECT_EQ(read(whole.substr(0, cut)).result, HeaderRead::truncated) << cut;
}

TEST(DosTime, AgreesWithTheCalendarAsLocalStandardTime) {
    // Every month's first and last days, in leap and common years: the C library's own
    // calendar (timegm) is the reference.
    for (int year : {1980, 1999, 2000, 2001, 2024, 2099}) {
        for (int month = 1; month <= 12; ++month) {
            for (int day : {1, 28}) {
                std::tm t{};
                t.tm_year = year - 1900;
                t.tm_mon = month - 1;
                t.tm_mday = day;
                t.tm_hour = 13;
                t.tm_min = 59;
                t.tm_sec = 58;
                std::uint32_t stamp = static_cast<std::uint32_t>((year - 1980) << 25) |
                                      (month << 21) | (day << 16) | (13 << 11) | (59 << 5) | 29;
                EXPECT_EQ(dosTimeToUnixTime(stamp, 0), static_cast<std::uint32_t>(timegm(&t)))
                    << year << "-" << month << "-" << day;
                EXPECT_EQ(dosTimeToUnixTime(stamp, -32400),
                          static_cast<std::uint32_t>(timegm(&t) - 32400));
            }
        }
    }
    EXPECT_EQ(dosTimeToUnixTime(0x2B1E2A6D, 0), 999148766u);
    EXPECT_EQ(dosTimeToUnixTime(0, 0), 0u);
    // Month 0 and 13..15 stay ordered around their neighbours.
    auto stamp = [](unsigned month) { return (21u << 25) | (month << 21) | (1u << 16); };
    EXPECT_EQ(dosTimeToUnixTime(stamp(0), 0), dosTimeToUnixTime(stamp(1), 0));
    EXPECT_GT(dosTimeToUnixTime(stamp(13), 0), dosTimeToUnixTime(stamp(12), 0));
}
