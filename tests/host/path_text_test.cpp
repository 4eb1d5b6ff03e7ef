#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "extract/path_text.h"

namespace {

std::string withBackslash(std::string text) {
    char buffer[kPathCapacity] = {};
    std::memcpy(buffer, text.data(), text.size());
    EXPECT_TRUE(appendBackslash(buffer, sizeof buffer));
    return buffer;
}

}  // namespace

TEST(AppendBackslash, FolderGainsOneAndRootsStay) {
    EXPECT_EQ(withBackslash("C:\\Program Files"), "C:\\Program Files\\");
    EXPECT_EQ(withBackslash("C:\\"), "C:\\");
    EXPECT_EQ(withBackslash("\\"), "\\");
    EXPECT_EQ(withBackslash(""), "");
    EXPECT_EQ(withBackslash("D:\\setup\\"), "D:\\setup\\");
}

TEST(AppendBackslash, TrailingSecondByteOfDoubleByteCharacterIsNotASeparator) {
    // 0x95 0x5C is one character whose second byte is "\".
    EXPECT_EQ(withBackslash("C:\\\x95\x5C"), "C:\\\x95\x5C\\");
    // The archive rules count 0x80 and 0xE0..0xFC as lead bytes too.
    EXPECT_EQ(withBackslash("C:\\\x80\x5C"), "C:\\\x80\x5C\\");
    EXPECT_EQ(withBackslash("C:\\\xFC\x5C"), "C:\\\xFC\x5C\\");
    // 0xA0..0xDF are single-byte katakana: the "\" after one is real.
    EXPECT_EQ(withBackslash("C:\\\xB1\x5C"), "C:\\\xB1\x5C");
}

TEST(AppendBackslash, RefusesWhenTheBufferIsFull) {
    char buffer[4] = "abc";
    EXPECT_FALSE(appendBackslash(buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "abc");
    char fits[5] = "abc";
    EXPECT_TRUE(appendBackslash(fits, sizeof fits));
    EXPECT_STREQ(fits, "abc\\");
}

TEST(AppendText, NeverCutsAPath) {
    char buffer[8] = "C:\\a";
    EXPECT_FALSE(appendText(buffer, sizeof buffer, "bcdef"));
    EXPECT_STREQ(buffer, "C:\\a");
    EXPECT_TRUE(appendText(buffer, sizeof buffer, "bcd"));
    EXPECT_STREQ(buffer, "C:\\abcd");
    char target[3];
    EXPECT_FALSE(copyText(target, sizeof target, "abc"));
    EXPECT_STREQ(target, "");
}
