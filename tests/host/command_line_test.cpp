#include <gtest/gtest.h>

#include <string>

#include "app/command_line.h"
#include "app/installer_state.h"

namespace {

enum : std::size_t { lzh, zip, cab, tgz, tar, gz, tbz, bz2, rar, sevenZip };

struct Parsed {
    InstallerState state;
    bool ok;
    explicit Parsed(const std::string& tail, bool zipAssociated = false) {
        state.destinationFolder.assign("C:\\Program Files\\Vopa");
        state.associateFlags[zip] = zipAssociated;
        ok = parseCommandLine(state, tail.c_str());
    }
    int flagCount() const {
        int n = 0;
        for (bool f : state.associateFlags) n += f;
        return n;
    }
};

}  // namespace

TEST(CommandLine, EmptyTailChangesNothing) {
    Parsed p("");
    EXPECT_TRUE(p.ok);
    EXPECT_FALSE(p.state.unattended);
    EXPECT_STREQ(p.state.destinationFolder.text(), "C:\\Program Files\\Vopa");
    EXPECT_EQ(p.flagCount(), 0);
}

TEST(CommandLine, SwitchesWordsAndPath) {
    Parsed p("/m /d lzh zip \"D:\\Tools\\Vopa\"");
    EXPECT_TRUE(p.state.unattended);
    EXPECT_EQ(p.state.startMenuOption, 2);
    EXPECT_EQ(p.state.desktopOption, 2);
    EXPECT_EQ(p.state.sendToOption, 0);
    EXPECT_TRUE(p.state.associateFlags[lzh]);
    EXPECT_TRUE(p.state.associateFlags[zip]);
    EXPECT_EQ(p.flagCount(), 2);
    EXPECT_STREQ(p.state.destinationFolder.text(), "D:\\Tools\\Vopa");
}

TEST(CommandLine, EveryWordAndLetterInAnyCase) {
    Parsed p("LZH Zip cab TGZ tar gz tbz bz2 rar 7Z -A -c /T");
    EXPECT_EQ(p.flagCount(), 10);
    EXPECT_TRUE(p.state.addCompressMenu);
    EXPECT_TRUE(p.state.addViewVerb);
    EXPECT_EQ(p.state.sendToOption, 2);
}

TEST(CommandLine, SwitchBitsAddToTheSetupBlockBits) {
    InstallerState s;
    s.startMenuOption = 1;
    s.desktopOption = 0x83;
    ASSERT_TRUE(parseCommandLine(s, "-md"));
    EXPECT_EQ(s.startMenuOption, 3);
    EXPECT_EQ(s.desktopOption, 0x83);
}

TEST(CommandLine, UnknownItemsChangeNothing) {
    Parsed p("-x arj");
    EXPECT_FALSE(p.state.unattended);
    Parsed q("-xm");
    EXPECT_TRUE(q.state.unattended);
    EXPECT_EQ(q.state.startMenuOption, 2);
}

TEST(CommandLine, WordBoundaries) {
    EXPECT_TRUE(Parsed("zip ").state.associateFlags[zip]);
    EXPECT_TRUE(Parsed("\tzip").state.associateFlags[zip]);
    // No blank before the quote: one word that matches nothing.
    Parsed glued("zip\"D:\\x\"");
    EXPECT_FALSE(glued.state.associateFlags[zip]);
    EXPECT_FALSE(glued.state.unattended);
    EXPECT_STREQ(glued.state.destinationFolder.text(), "C:\\Program Files\\Vopa");
    // Items may follow a closing quote directly.
    Parsed after("\"D:\\x\"zip");
    EXPECT_TRUE(after.state.associateFlags[zip]);
    EXPECT_STREQ(after.state.destinationFolder.text(), "D:\\x");
}

TEST(CommandLine, ViewVerbNeedsAnAssociation) {
    Parsed alone("-c");
    EXPECT_FALSE(alone.state.addViewVerb);
    EXPECT_TRUE(alone.state.unattended);
    Parsed registered("-c", /*zipAssociated=*/true);
    EXPECT_TRUE(registered.state.addViewVerb);
}

TEST(CommandLine, QuotedPaths) {
    EXPECT_STREQ(Parsed("\"C:\\Program Files\\Vopa 2\"").state.destinationFolder.text(),
                 "C:\\Program Files\\Vopa 2");
    EXPECT_STREQ(Parsed("\"A:\\1\" \"B:\\2\"").state.destinationFolder.text(), "B:\\2");
    Parsed empty("\"\"");
    EXPECT_STREQ(empty.state.destinationFolder.text(), "");
    EXPECT_TRUE(empty.state.unattended);
    Parsed open("\"D:\\never closed");
    EXPECT_FALSE(open.state.unattended);
    EXPECT_STREQ(open.state.destinationFolder.text(), "C:\\Program Files\\Vopa");
}

TEST(CommandLine, SwitchGroupRunsThroughAQuote) {
    Parsed p("-\"cm", /*zipAssociated=*/true);
    EXPECT_TRUE(p.state.addViewVerb);
    EXPECT_EQ(p.state.startMenuOption, 2);
    EXPECT_STREQ(p.state.destinationFolder.text(), "C:\\Program Files\\Vopa");
}

TEST(CommandLine, OverlongPathIsRefusedNotTruncated) {
    std::string fits = "D:\\" + std::string(256, 'p');  // 259 bytes
    Parsed ok("\"" + fits + "\"");
    EXPECT_TRUE(ok.ok);
    EXPECT_EQ(std::string(ok.state.destinationFolder.text()), fits);

    Parsed refused("\"" + fits + "q\" zip");
    EXPECT_FALSE(refused.ok);
    EXPECT_STREQ(refused.state.destinationFolder.text(), "C:\\Program Files\\Vopa");
}
