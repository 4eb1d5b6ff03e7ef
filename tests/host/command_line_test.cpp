// The command line: switch letters, extension words and quoted destinations, each case
// from the default destination, with .zip already associated where it says so.
#include <gtest/gtest.h>

#include <string>

#include "app/installer/command_line.h"
#include "app/installer/installer_state.h"

TEST(CommandLine, ItemsAndWhatTheySet) {
    struct Case {
        std::string tail;
        bool zipAssociated;
        // Refused, unattended (u); the start menu, desktop and Send To bytes, compress (a),
        // view (c); one association flag per row; [the destination], when it changed.
        std::string expected;
    };
    const std::string fits = "D:\\" + std::string(256, 'p');
    const Case cases[] = {
        {"", false, "- 110-- 0000000000"},
        {"/m /d lzh zip \"D:\\Tools\\Vopa\"", false, "u 330-- 1100000000 [D:\\Tools\\Vopa]"},
        {"LZH Zip cab TGZ tar gz tbz bz2 rar 7Z -A -c /T", false, "u 112ac 1111111111"},
        {"-x arj", false, "- 110-- 0000000000"},
        {"-xm", false, "u 310-- 0000000000"},
        {"zip ", false, "u 110-- 0100000000"},
        {"\tzip", false, "u 110-- 0100000000"},
        {"zip\"D:\\x\"", false, "- 110-- 0000000000"},  // one word
        {"\"D:\\x\"zip", false, "u 110-- 0100000000 [D:\\x]"},
        {"-c", false, "u 110-- 0000000000"},  // View needs an association
        {"-c", true, "u 110-c 0100000000"},
        {"\"C:\\Program Files\\Vopa 2\"", false, "u 110-- 0000000000 [C:\\Program Files\\Vopa 2]"},
        {"\"A:\\1\" \"B:\\2\"", false, "u 110-- 0000000000 [B:\\2]"},
        {"\"\"", false, "u 110-- 0000000000 []"},
        {"\"D:\\never closed", false, "- 110-- 0000000000"},
        {"-\"cm", true, "u 310-c 0100000000"},  // a group runs through a quote
        {"7zz 7", false, "- 110-- 0000000000"},
        {"\"" + fits + "\"", false, "u 110-- 0000000000 [" + fits + "]"},  // 259 bytes fit
        {"\"" + fits + "q\" zip", false, "refused u 110-- 0100000000"},    // 260 are not cut
        {"/s", false, "u 110-- 0000000000 silent"},
        {"-mS lzh", false, "u 310-- 1000000000 silent"},
        {"\"/s\" s", false, "u 110-- 0000000000 [/s]"},  // a path, and a word: no switch
        {"-x\"s", false, "u 110-- 0000000000 silent"},   // the group runs through a quote
    };
    for (const Case& c : cases) {
        InstallerState s;  // switches add to the block's bits and never clear one
        s.startMenuOption = s.desktopOption = 1;
        s.destinationFolder.assign("C:\\Program Files\\Vopa");
        s.associateFlags[1] = c.zipAssociated;
        std::string got = parseCommandLine(s, c.tail.c_str()) ? "" : "refused ";
        got += std::string(s.unattended ? "u " : "- ") + char('0' + s.startMenuOption) +
               char('0' + s.desktopOption) + char('0' + s.sendToOption) +
               (s.addCompressMenu ? 'a' : '-') + (s.addViewVerb ? 'c' : '-') + ' ';
        for (bool f : s.associateFlags) got += f ? '1' : '0';
        if (std::string(s.destinationFolder.text()) != "C:\\Program Files\\Vopa")
            got += " [" + std::string(s.destinationFolder.text()) + "]";
        if (s.silent) got += " silent";
        EXPECT_EQ(got, c.expected) << c.tail;
        // Seen before start-up, by the same reading of the line.
        EXPECT_EQ(silentRequested(c.tail.c_str()), s.silent) << c.tail;
    }
}
