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
    const std::string fits = "D:\\" + std::string(256, 'p'), quoted = "\"" + fits + "\"";
    const Case cases[] = {
        {"", false, false, "110--", "0000000000", nullptr},
        {"/m /d lzh zip \"D:\\Tools\\Vopa\"", false, true, "330--", "1100000000",
         "D:\\Tools\\Vopa"},
        {"LZH Zip cab TGZ tar gz tbz bz2 rar 7Z -A -c /T", false, true, "112ac", "1111111111",
         nullptr},
        {"-x arj", false, false, "110--", "0000000000", nullptr},
        {"-xm", false, true, "310--", "0000000000", nullptr},
        {"zip ", false, true, "110--", "0100000000", nullptr},
        {"\tzip", false, true, "110--", "0100000000", nullptr},
        {"zip\"D:\\x\"", false, false, "110--", "0000000000", nullptr},  // one word
        {"\"D:\\x\"zip", false, true, "110--", "0100000000", "D:\\x"},
        {"-c", false, true, "110--", "0000000000", nullptr},  // View needs an association
        {"-c", true, true, "110-c", "0100000000", nullptr},
        {"\"C:\\Program Files\\Vopa 2\"", false, true, "110--", "0000000000",
         "C:\\Program Files\\Vopa 2"},
        {"\"A:\\1\" \"B:\\2\"", false, true, "110--", "0000000000", "B:\\2"},
        {"\"\"", false, true, "110--", "0000000000", ""},
        {"\"D:\\never closed", false, false, "110--", "0000000000", nullptr},
        {"-\"cm", true, true, "310-c", "0100000000", nullptr},  // a group runs through a quote
        {"7zz 7", false, false, "110--", "0000000000", nullptr},
        {quoted.c_str(), false, true, "110--", "0000000000", fits.c_str()},  // 259 bytes fit
    };
    for (const Case& c : cases) {
        InstallerState s;  // switches add to the block's bits and never clear one
        s.startMenuOption = s.desktopOption = 1;
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
    // A quoted destination over 259 bytes is refused, not cut.
    InstallerState refused;
    refused.destinationFolder.assign("C:\\V");
    EXPECT_FALSE(parseCommandLine(refused, ("\"" + fits + "q\" zip").c_str()));
    EXPECT_STREQ(refused.destinationFolder.text(), "C:\\V");
}
