// The command line: switch letters, extension words and quoted destinations, each case
// from the default destination, with .zip already associated where it says so.
#include <gtest/gtest.h>

#include <string>

#include "app/command_line.h"
#include "app/installer_state.h"

TEST(CommandLine, ItemsAndWhatTheySet) {
    struct Case {
        const char* tail;
        bool zipAssociated;
        bool unattended;
        const char* switches;      // start menu, desktop and Send To bytes; compress; view
        const char* associations;  // one letter per row: 1 set, 0 not
        const char* destination;   // null: unchanged
    };
    const std::string fits = "D:\\" + std::string(256, 'p');  // 259 bytes
    const Case cases[] = {
        {"", false, false, "000--", "0000000000", nullptr},
        {"/m /d lzh zip \"D:\\Tools\\Vopa\"", false, true, "220--", "1100000000",
         "D:\\Tools\\Vopa"},
        {"LZH Zip cab TGZ tar gz tbz bz2 rar 7Z -A -c /T", false, true, "002ac", "1111111111",
         nullptr},
        {"-x arj", false, false, "000--", "0000000000", nullptr},
        {"-xm", false, true, "200--", "0000000000", nullptr},
        {"zip ", false, true, "000--", "0100000000", nullptr},
        {"\tzip", false, true, "000--", "0100000000", nullptr},
        {"zip\"D:\\x\"", false, false, "000--", "0000000000", nullptr},  // one word
        {"\"D:\\x\"zip", false, true, "000--", "0100000000", "D:\\x"},
        {"-c", false, true, "000--", "0000000000", nullptr},  // View needs an association
        {"-c", true, true, "000-c", "0100000000", nullptr},
        {"\"C:\\Program Files\\Vopa 2\"", false, true, "000--", "0000000000",
         "C:\\Program Files\\Vopa 2"},
        {"\"A:\\1\" \"B:\\2\"", false, true, "000--", "0000000000", "B:\\2"},
        {"\"\"", false, true, "000--", "0000000000", ""},
        {"\"D:\\never closed", false, false, "000--", "0000000000", nullptr},
        {"-\"cm", true, true, "200-c", "0100000000", nullptr},  // a group runs through a quote
        {"7zz 7", false, false, "000--", "0000000000", nullptr},
    };
    for (const Case& c : cases) {
        InstallerState s;
        s.destinationFolder.assign("C:\\Program Files\\Vopa");
        s.associateFlags[1] = c.zipAssociated;
        EXPECT_TRUE(parseCommandLine(s, c.tail)) << c.tail;
        EXPECT_EQ(s.unattended, c.unattended) << c.tail;
        std::string switches = {char('0' + s.startMenuOption), char('0' + s.desktopOption),
                                char('0' + s.sendToOption), s.addCompressMenu ? 'a' : '-',
                                s.addViewVerb ? 'c' : '-'};
        EXPECT_EQ(switches, c.switches) << c.tail;
        std::string flags;
        for (bool f : s.associateFlags) flags += f ? '1' : '0';
        EXPECT_EQ(flags, c.associations) << c.tail;
        EXPECT_STREQ(s.destinationFolder.text(),
                     c.destination ? c.destination : "C:\\Program Files\\Vopa")
            << c.tail;
    }
    // Switches add to the setup block's bits and never clear one.
    InstallerState s;
    s.startMenuOption = 1;
    s.desktopOption = 0x83;
    ASSERT_TRUE(parseCommandLine(s, "-md"));
    EXPECT_EQ(s.startMenuOption, 3);
    EXPECT_EQ(s.desktopOption, 0x83);
    // A quoted destination over 259 bytes is refused, not cut; 259 bytes fit.
    InstallerState ok;
    EXPECT_TRUE(parseCommandLine(ok, ("\"" + fits + "\"").c_str()));
    EXPECT_EQ(std::string(ok.destinationFolder.text()), fits);
    InstallerState refused;
    refused.destinationFolder.assign("C:\\V");
    EXPECT_FALSE(parseCommandLine(refused, ("\"" + fits + "q\" zip").c_str()));
    EXPECT_STREQ(refused.destinationFolder.text(), "C:\\V");
}
