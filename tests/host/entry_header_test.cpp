// Member headers from bytes, in every level and in the layouts other archivers write, and
// DOS times against the C library's calendar.
#include <gtest/gtest.h>

#include "tests/host/test_support.h"

namespace {

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

Text patched(Text bytes, std::size_t at, char value) {
    bytes[at] = value;
    return bytes;
}

// Level 1 with the extended headers `ext`: their first size field ends the base header.
Text level1(const Text& name, const Text& ext, std::uint32_t packed) {
    return level01(1, name, le16(1) + "M" + ext.substr(0, 2), packed) + ext.substr(2) + le16(0);
}

// Method, sizes, time, attribute, name, CRC and OS, as the header gives them.
std::string fields(const EntryHeader& h) {
    char s[320];
    std::snprintf(s, sizeof s, "%s %u %u %u %02X %s %04X %c", h.method, h.packedSize,
                  h.originalSize, h.modifiedTime, h.attribute, h.name, h.crc, h.osId);
    return s;
}

}  // namespace

TEST(EntryHeader, LevelOneHeaderOfThirtyEightBytes) {
    const Text bytes(
        "\x24\xA1-lh5-\x2F\x26\x00\x00\x44\x69\x00\x00\x6D\x2A\x1E\x2B\x20\x01\x0B"
        "copying.txt\x86\xD6\x4D\x00\x00",
        38);
    Read r = read(bytes + "DATA");
    ASSERT_EQ(r.result, HeaderRead::member);
    EXPECT_EQ(fields(r.h), "-lh5- 9775 26948 999148766 20 copying.txt D686 M");
    EXPECT_EQ(r.position, 38);
}

TEST(EntryHeader, WhatFollowsTheNameIsToldByHeaderMinusName) {
    struct Case {
        Text tail;
        HeaderRead result;
        bool hasCrc;
        std::uint8_t os;
    };
    const Case cases[] = {
        {"", HeaderRead::member, false, 0},             // D = 20
        {"x", HeaderRead::unknown, false, 0},           // 21
        {"\x34\x12", HeaderRead::member, true, 0},      // 22
        {"\x34\x12M", HeaderRead::unknown, false, 0},   // 23
        {"\x34\x12MZ", HeaderRead::member, true, 'M'},  // 24
        {"\x34\x12MZZZ", HeaderRead::member, true, 'M'},
    };
    for (const Case& c : cases) {
        Read r = read(level01(0, "A.TXT", c.tail));
        ASSERT_EQ(r.result, c.result) << c.tail.size();
        if (r.result != HeaderRead::member) continue;
        EXPECT_EQ(r.h.hasCrc, c.hasCrc) << c.tail.size();
        EXPECT_EQ(r.h.crc, c.hasCrc ? 0x1234 : 0) << c.tail.size();
        EXPECT_EQ(r.h.osId, c.os) << c.tail.size();
        EXPECT_EQ(r.position, static_cast<long>(27 + c.tail.size())) << "at the data";
    }
}

TEST(EntryHeader, NamesSeparatorsAndLimits) {
    EXPECT_STREQ(read(level01(0, "DIR\\FILE.TXT", le16(1))).h.name, "DIR/FILE.TXT");
    EXPECT_STREQ(read(level01(0, "\x80\x5C\\x", le16(1))).h.name, "\x80\x5C/x")
        << "a second byte 0x5C stays, after the archive's lead bytes";
    Text nul = extended(0x02, Text("d/\0x", 4)) + extended(0x01, Text("f\0g", 3)) + le16(0);
    EXPECT_STREQ(read(level2(nul)).h.name, "d/f") << "each part cut at a NUL";
    // Level 1: the folder in an extended header with 0xFF separators; the packed size
    // loses the extended headers.
    Text dir = extended(0x02, "docs\xFFimg\xFF");
    EXPECT_EQ(fields(read(level1("a.txt", dir, 100 + static_cast<std::uint32_t>(dir.size()))).h),
              "-lh5- 100 26948 999148766 20 docs/img/a.txt 0001 M");
    // 259 bytes fit the name buffer; 260 are marked too long (kept cut, for the message).
    for (std::size_t file : {108u, 109u}) {
        Text ext = extended(0x02, Text(150, 'd') + "/") + extended(0x01, Text(file, 'f')) + le16(0);
        Read n = read(level2(ext));
        ASSERT_EQ(n.result, HeaderRead::member);
        EXPECT_EQ(n.h.nameTooLong, file == 109) << file;
        EXPECT_EQ(Text(n.h.name).size(), 259u);
    }
}

TEST(EntryHeader, LevelTwoExtendedHeadersAttributesAndLengths) {
    Text ext = extended(0x01, "name.bin") + extended(0x02, "x\xFFy\xFF") +
               extended(0x40, le16(0x21)) + le16(0);
    Read r = read(level2(ext, 77) + "DATA");
    // The time in seconds since 1970 as stored; an attribute header only from MS-DOS-likes.
    EXPECT_EQ(fields(r.h), "-lh5- 77 3 999148766 20 x/y/name.bin BEEF U");
    for (char os : {'M', 'H', '\0'}) EXPECT_EQ(read(level2(ext, 77, os)).h.attribute, 0x21) << os;
    // A length of 256 starts with a 0 byte, like the end marker: a header all the same.
    Text big = level2(extended(0x02, "d/") + extended(0x01, Text(222, 'f')) + le16(0));
    ASSERT_EQ(big.substr(0, 2), le16(256));
    r = read(big + "DATA");
    ASSERT_EQ(r.result, HeaderRead::member);
    EXPECT_EQ(Text(r.h.name), "d/" + Text(222, 'f'));
    EXPECT_EQ(r.position, static_cast<long>(big.size()));
    // 64-bit sizes, when the extended header holds both.
    for (std::size_t bytes : {16u, 15u}) {
        Text sizes = (le32(7) + le32(0) + le32(0) + le32(1)).substr(0, bytes);
        r = read(level2(extended(0x42, sizes) + le16(0)));
        EXPECT_EQ(r.h.fullPackedSize, bytes == 16 ? 7u : 10u) << bytes;
        EXPECT_EQ(r.h.fullOriginalSize, bytes == 16 ? 1ull << 32 : 3u) << bytes;
        EXPECT_EQ(r.h.originalSize, bytes == 16 ? 0u : 3u);
    }
    // OS-9 archivers count level-2 headers 2 bytes short: taken from them only.
    Text shortBy2 = level2(extended(0x01, "n") + le16(0), 10, '9');
    shortBy2[0] = static_cast<char>(shortBy2[0] - 2);
    r = read(shortBy2 + "DATA");
    EXPECT_EQ(r.result, HeaderRead::member);
    EXPECT_EQ(r.position, static_cast<long>(shortBy2.size()));
    EXPECT_EQ(read(patched(shortBy2, 23, 'M')).result, HeaderRead::unknown) << "the OS byte";
    // OS-9/68K's archivers ('K') too, by the same 2 bytes and no more.
    const Text os68k = os68kHeader();
    ASSERT_EQ(os68k.size(), 46u);
    r = read(os68k + "DATA");
    ASSERT_EQ(r.result, HeaderRead::member);
    EXPECT_EQ(fields(r.h), "-lh5- 7004 18092 1262325600 20 gpl-2 A33A K");
    EXPECT_EQ(r.position, 46);
    for (char length : {'\x2B', '\x2D'})
        EXPECT_EQ(read(patched(os68k, 0, length)).result, HeaderRead::unknown) << int(length);
}

TEST(EntryHeader, DamagedLayoutsAreRefused) {
    const Text last = level2(extended(0x01, "abc") + le16(0));
    const std::pair<const char*, Text> refused[] = {
        {"level 3", patched(level01(0, "A", le16(1)), 20, 3)},
        {"no room for the name length", patched(level01(0, "", ""), 0, 19)},
        {"a name longer than the header", withChecksum(patched(level01(0, "ABC", ""), 21, 100))},
        {"level 2 a byte short of its own fields", patched(level2(le16(0)), 0, 25)},
        {"an extended header of size 2", level2(le16(2) + Text("\x01\x00\x00", 3))},
        {"an extended header a byte past the length", patched(last, last.size() - 8, 7) + "X"},
    };
    for (const auto& [what, bytes] : refused)
        EXPECT_EQ(read(bytes).result, HeaderRead::unknown) << what;
    EXPECT_EQ(read(level2(le16(0))).result, HeaderRead::member) << "exactly its fields";
    EXPECT_EQ(read(last).result, HeaderRead::member) << "ending at the length";
    // Level 1: extended headers may take all of the packed size, not more, and not more
    // than the 64 KiB header buffer.
    for (std::uint32_t packed : {8u, 7u})
        EXPECT_EQ(read(level1("", extended(0x01, "x.txt"), packed)).result,
                  packed == 8 ? HeaderRead::member : HeaderRead::unknown);
    // The base header's 27 bytes, 40000 and 25509 end at the buffer's last byte.
    for (std::uint32_t second : {25509u, 25510u}) {
        Text chain = extended(0x50, Text(39997, 'e')) + extended(0x50, Text(second - 3, 'e'));
        EXPECT_EQ(read(level1("", chain, 90000)).result,
                  second == 25509 ? HeaderRead::member : HeaderRead::unknown);
    }
}

TEST(EntryHeader, EndAndTruncation) {
    EXPECT_EQ(read("").result, HeaderRead::end);
    EXPECT_EQ(read(Text("\0rest", 5)).result, HeaderRead::end);
    // Old archives end with a run of 0x1A bytes: the end, when nothing else follows.
    EXPECT_EQ(read(Text(100, '\x1A')).result, HeaderRead::end);
    EXPECT_EQ(read("\x1A\x1A\x1Ax").result, HeaderRead::truncated);
    // A level-2 length of 0 is no header: the end.
    EXPECT_EQ(read(Text(2, '\0') + level2(le16(0)).substr(2)).result, HeaderRead::end);
    for (const Text& whole :
         {level01(0, "FILE.TXT", le16(1)), level2(extended(0x01, "n") + le16(0))})
        for (std::size_t cut = 1; cut < whole.size(); ++cut)
            EXPECT_EQ(read(whole.substr(0, cut)).result, HeaderRead::truncated) << cut;
}

TEST(DosTime, AgreesWithTheCalendarAsLocalStandardTime) {
    // Every day from 1980 to 2099, there and back through the writer's conversion,
    // which takes the C library's own calendar (gmtime): in UTC and nine hours east.
    for (std::uint32_t t = 315532800 + 50398; t < 4102444800u; t += 86400)
        for (long zone : {0L, -32400L})
            ASSERT_EQ(dosTimeToUnixTime(unixTimeToDosTime(t, zone), zone), t) << t << " " << zone;
    EXPECT_EQ(dosTimeToUnixTime(0, 0), 0u);
    // Month 0 and 13..15 stay ordered around their neighbours.
    auto stamp = [](unsigned month) { return (21u << 25) | (month << 21) | (1u << 16); };
    EXPECT_EQ(dosTimeToUnixTime(stamp(0), 0), dosTimeToUnixTime(stamp(1), 0));
    EXPECT_GT(dosTimeToUnixTime(stamp(13), 0), dosTimeToUnixTime(stamp(12), 0));
}
