#include <gtest/gtest.h>

#include "app/owned_string.h"

TEST(OwnedString, MakeAssignClearAppend) {
    OwnedString s;
    EXPECT_TRUE(s.empty());
    EXPECT_STREQ(s.text(), "");
    s.append('a');
    s.append('\0');  // ignored
    s.append('b');
    EXPECT_STREQ(s.text(), "ab");
    EXPECT_EQ(s.length(), 2u);
    s.assign("xyz");
    EXPECT_STREQ(s.text(), "xyz");
    s.assign(nullptr);
    EXPECT_TRUE(s.empty());
    OwnedString t("copy");
    EXPECT_STREQ(t.text(), "copy");
    t.clear();
    EXPECT_TRUE(t.empty());
}

TEST(OwnedString, ReplaceSeparatorsPassesOverSecondBytes) {
    OwnedString s(
        "a\\b/c\x95\x5C"
        "d\\");
    s.replaceSeparators('/');
    EXPECT_STREQ(s.text(),
                 "a/b/c\x95\x5C"
                 "d/");
    // A lead byte at the very end must not carry the walk past the terminator.
    OwnedString t("x\\\x81");
    t.replaceSeparators('/');
    EXPECT_STREQ(t.text(), "x/\x81");
}
