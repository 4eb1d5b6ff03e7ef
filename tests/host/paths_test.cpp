// Path texts and member paths: the double-byte walk, joins that never cut a path, and the
// rules and final check that keep every member inside the destination.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "extract/lha/entry_path.h"
#include "extract/lha/path_text.h"
#include "tests/host/test_support.h"

namespace {

// A lead byte lies before the text: a lone "\" stays one, whatever byte precedes it.
std::string withBackslash(const std::string& text) {
    char buffer[kPathCapacity + 1] = {'\x95'};
    std::memcpy(buffer + 1, text.data(), text.size());
    EXPECT_TRUE(appendBackslash(buffer + 1, kPathCapacity));
    return buffer + 1;
}

std::string separated(std::string text, LeadBytes rule) {
    replaceCharacters(&text[0], rule, "\\/", '|');
    return text;
}

}  // namespace

TEST(PathText, LeadBytesOfEachRule) {
    struct Case {
        unsigned char byte;
        bool system, archive, trail;
    };
    const Case cases[] = {{0x3F, 0, 0, 0}, {0x40, 0, 0, 1}, {0x5C, 0, 0, 1}, {0x7F, 0, 0, 0},
                          {0x80, 0, 1, 1}, {0x81, 1, 1, 1}, {0x9F, 1, 1, 1}, {0xA0, 0, 0, 1},
                          {0xDF, 0, 0, 1}, {0xE0, 1, 1, 1}, {0xFC, 1, 1, 1}, {0xFD, 0, 0, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(isLeadByte(c.byte, LeadBytes::system), c.system) << int(c.byte);
        EXPECT_EQ(isLeadByte(c.byte, LeadBytes::archive), c.archive) << int(c.byte);
        EXPECT_EQ(isTrailByte(c.byte), c.trail) << int(c.byte);
    }
    // The walk passes over second bytes, and never over the terminator.
    EXPECT_EQ(separated("a\\b/c\x95\\d\\", LeadBytes::system), "a|b|c\x95\\d|");
    EXPECT_EQ(separated("\x80\\x", LeadBytes::system), "\x80|x");
    EXPECT_EQ(separated("\x80\\x", LeadBytes::archive), "\x80\\x");
    char last[] = "x\\\x81\0\\";
    replaceCharacters(last, LeadBytes::system, "\\", '|');
    EXPECT_EQ(std::string(last, 5), std::string("x|\x81\0\\", 5));
    char name[] = "a\\b/\xFFz\x95\xFF";
    replaceSeparators(name, '/');
    EXPECT_STREQ(name, "a/b//z\x95\xFF") << "0xFF separates, but not as a second byte";
}

TEST(PathText, BackslashJoinsAndCopiesNeverCutAPath) {
    EXPECT_EQ(withBackslash("C:\\Program Files"), "C:\\Program Files\\");
    EXPECT_EQ(withBackslash("\\"), "\\");
    EXPECT_EQ(withBackslash(""), "");
    // A "\" that is the second byte of a character (lead bytes as the format has them)
    // is no separator; after single-byte katakana it is.
    EXPECT_EQ(withBackslash("C:\\\x80\x5C"), "C:\\\x80\x5C\\");
    EXPECT_EQ(withBackslash("C:\\\xB1\x5C"), "C:\\\xB1\x5C");
    char full[4] = "abc", fits[5] = "abc";
    EXPECT_FALSE(appendBackslash(full, sizeof full));
    EXPECT_STREQ(full, "abc");
    EXPECT_TRUE(appendBackslash(fits, sizeof fits));
    char buffer[8] = "C:\\a";
    EXPECT_FALSE(appendText(buffer, sizeof buffer, "bcde"));
    EXPECT_STREQ(buffer, "C:\\a");
    EXPECT_TRUE(appendText(buffer, sizeof buffer, "bcd"));  // 7 bytes and the terminator
    EXPECT_STREQ(buffer, "C:\\abcd");
    char target[3];
    EXPECT_FALSE(copyText(target, sizeof target, "abc"));
    EXPECT_STREQ(target, "");
    char joined[12];
    EXPECT_TRUE(joinPath(joined, "C:\\V", "a.exe"));
    EXPECT_STREQ(joined, "C:\\V\\a.exe");
    EXPECT_FALSE(joinPath(joined, "C:\\Vopa", "long.exe"));
    EXPECT_STREQ(joined, "") << "nothing half joined is left";
}

TEST(EntryPath, RelativePathRules) {
    const char* cases[][2] = {
        {"/abs/x.txt", "abs/x.txt"},
        {"../../etc/x", "etc/x"},
        {"a/../b.txt", "a/b.txt"},
        {"C:/x/y.txt", "x/y.txt"},
        {"C:../x", "x"},
        {"a/.profile", "a/profile"},
        {"x/..", "x/"},
        {"a.b/c", "a.b/c"},
        {"dir/", "dir/"},
        {"D:x", "x"},
        {".hidden", "hidden"},
    };
    for (const auto& c : cases) EXPECT_EQ(sanitizedName(c[0]), c[1]) << c[0];
    for (const char* empty : {"", "/", "./././", "...."})
        EXPECT_EQ(checkEntryPath(sanitizedName(empty).c_str()), PathVerdict::empty) << empty;
    std::string longest(259, 'a');
    for (std::size_t i = 10; i < longest.size(); i += 10) longest[i] = '/';
    EXPECT_EQ(sanitizedName(longest.c_str()), longest);
}

TEST(EntryPath, TheFinalCheckRefusesWhatTheRulesLetThroughAndNamesWindowsChanges) {
    // The rules drop one separator after a drive ("C://W" leaves "/W"); "\\" separates on
    // Windows, though stripping knows only "/", and after 0x80, no lead byte there.
    for (const char* name :
         {"C://Windows/x.dll", "C:///srv/share/x", "a\\..\\..\\x.dll", "x\x80\\..\\y", "..\\x",
          "\\\\server\\share\\x", "a/b:stream", "C:\\x", "a/ ../x", "a/.. /x", "a/ . /x"})
        EXPECT_EQ(checkEntryPath(sanitizedName(name).c_str()), PathVerdict::escapes) << name;
    for (const char* name :
         {"CON",    "con.txt",   "dir/Nul", "aux.tar.gz", "a/b/COM1", "lpt9.log",
          "Prn",    "com5 .txt", "LPT1",    "com9",       "notes.",   "notes ",
          "dir./a", "dir /a",    "q?",      "star*",      "lt<gt>",   "pipe|x",
          "say\"",  "ctl\x01",   "tab\t",   "ctl\x1F",    "CONOUT$",  "a/conin$.txt"})
        EXPECT_EQ(checkEntryPath(name), PathVerdict::unusable) << name;
    for (const char* name : {"CONSOLE", "com0", "lpt", "nul_", "a/comx.txt", "context.txt", "lpt10",
                             "\x83\x7C.txt", ".x", "a.b.c", "dir/", "\x95\x5C/x.txt", "a b/c.d"})
        EXPECT_EQ(checkEntryPath(name), PathVerdict::inside) << name;
}

TEST(MemberNames, WhatWindowsTakesForOneFile) {
    struct Case {
        const char* path;
        bool folder, added;
        const char* clash;
    };
    const Case cases[] = {
        {"README", false, true, ""},
        {"readme", false, false, "README"},
        {"docs/a.txt", false, true, ""},
        {"DOCS/", true, true, ""},  // a folder again: fine
        {"Docs/B.txt", false, true, ""},
        {"docs", false, false, "docs"},  // a file where a folder is
        {"readme/x", false, false, "README"},
        {"\x82\x81\x82\x9A", false, true, ""},                   // full-width "az"
        {"\x82\x60\x82\x79", false, false, "\x82\x81\x82\x9A"},  // "AZ"
        // Greek alpha and omega, Cyrillic o and ya (0x847F is skipped), then capitals.
        {"\x83\xBF\x83\xD6\x84\x80\x84\x91", false, true, ""},
        {"\x83\x9F\x83\xB6\x84\x4F\x84\x60", false, false, "\x83\xBF\x83\xD6\x84\x80\x84\x91"},
        {"\x84\x70", false, true, ""},  // Cyrillic a; its capital is 0x8440
        {"\x84\x40", false, false, "\x84\x70"},
        {"\x95\\z", false, true, ""},  // a second byte that looks like "\" or a letter
        {"\x95\\Z", false, false, "\x95\\z"},
        {"\x95\\b/", true, true, ""},
        // One character spelt twice: an extension row's kanji and row 89's, or three times.
        {"\xFA\x5C", false, true, ""},
        {"\xED\x40", false, false, "\xFA\x5C"},
        {"\x81\xCA", false, true, ""},
        {"\xFA\x54", false, false, "\x81\xCA"},
        // Small Roman numeral one (an extension row's spelling) and its capital (row 13's).
        {"\xFA\x40", false, true, ""},
        {"\x87\x54", false, false, "\xFA\x40"},
    };
    MemberNames names;
    for (const Case& c : cases) {
        std::string clash;
        EXPECT_EQ(names.add(c.path, c.folder, clash), c.added) << c.path;
        EXPECT_EQ(clash, c.clash) << c.path;
    }
}

TEST(MemberNames, EveryGroupTheTableScriptFindsAndNoOther) {
    // Every code of code page 932, grouped by the script as Windows takes them for one
    // name: each group is one name, and no two groups are.
    std::FILE* p =
        popen("python3 '" VOPA_SOURCE_DIR "/extract/lha/make_name_key_table.py' --groups", "r");
    ASSERT_TRUE(p);
    MemberNames names;
    std::size_t groups = 0, pairs = 0;
    for (char line[256]; std::fgets(line, sizeof line, p); ++groups) {
        std::string first, clash;
        // (Code 0, the NUL, is a group of its own: reading it ends the line.)
        for (char *at = line, *end; unsigned long code = std::strtoul(at, &end, 16); at = end) {
            std::string name;
            if (code > 0xFF) name += static_cast<char>(code >> 8);
            name += static_cast<char>(code);
            if (name == "/") continue;  // a separator, not a name
            if (first.empty()) {
                first = name;
                EXPECT_TRUE(names.add(name.c_str(), false, clash)) << line << "is " << clash;
            } else {
                ++pairs;
                EXPECT_FALSE(names.add(name.c_str(), false, clash)) << line;
                EXPECT_EQ(clash, first) << line;
            }
        }
    }
    EXPECT_EQ(pclose(p), 0);
    EXPECT_GT(groups, 9000u) << "every character";
    EXPECT_EQ(pairs, 517u) << "letters in two cases and the code page's second spellings";
}
