// The progress window's member names: shortened in the middle until they fit, never
// through a double-byte character.
#include <gtest/gtest.h>

#include "app/installer/entry_display.h"
#include "extract/lha/path_text.h"

namespace {

// A label that holds `width` bytes.
auto widthOf(std::size_t width) {
    return [width](const std::string& s) { return s.size() <= width; };
}

// A lead byte at the end or before a byte no character continues with.
bool splitsACharacter(const std::string& s) {
    return !forEachCharacter(s.c_str(), LeadBytes::system, [](const char* p, std::size_t n) {
        return n == 2 ? isTrailByte(static_cast<unsigned char>(p[1]))
                      : !isLeadByte(static_cast<unsigned char>(*p));
    });
}

}  // namespace

TEST(EntryDisplay, FitsWholeOrPassesRemoveTheMiddleUntilOneByteIsLeft) {
    EXPECT_EQ(shortenEntryName("dir\\sub\\a.txt", widthOf(100)), "dir/sub/a.txt");
    std::string source = "abcdefghij", display;
    ASSERT_TRUE(shortenOnce(source, display));
    EXPECT_EQ(display, "abcde...hij");
    ASSERT_TRUE(shortenOnce(source, display));
    EXPECT_EQ(display, "abcd...ij");
    // A middle byte followed by a digit or "." goes alone.
    std::string digits = "abcd1.2345", d2;
    shortenOnce(digits, d2);
    EXPECT_EQ(d2, "abcd1...2345");
    EXPECT_EQ(shortenEntryName("x", widthOf(0)), "x");
    EXPECT_NE(shortenEntryName("abcdefghij", widthOf(0)).find("..."), std::string::npos);
}

TEST(EntryDisplay, NeverSplitsADoubleByteCharacter) {
    // Kanji whose second bytes are "\" (0x5C), a letter range byte, and katakana.
    const std::string names[] = {
        "\x95\x5C\x8E\xA6\x83\x74\x83\x40\x83\x43\x83\x8B/"
        "\x95\x5C\x82\xA0\x82\xA2.txt",
        "a\x95\x5C\x95\x5C\x95\x5C\x95\x5C\x95\x5C\x95\x5C\x95\x5C",
        "\x88\x9F\x88\x9F\x88\x9F\x88\x9F\x88\x9Fz\x88\x9F\x88\x9F",
        "\xB1\xB2\x81\x40\xB3\x81\x40\x81\x40x\x81\x40",
    };
    for (const std::string& name : names) {
        for (std::size_t width = 3; width < name.size(); ++width) {
            std::string shown = shortenEntryName(name.c_str(), widthOf(width));
            EXPECT_FALSE(splitsACharacter(shown)) << name << " at " << width << ": " << shown;
        }
    }
}
