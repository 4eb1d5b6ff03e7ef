#include <gtest/gtest.h>

#include <string>

#include "app/installer_state.h"
#include "app/setup_block.h"

namespace {

std::string text(const std::string& s) { return std::string(1, static_cast<char>(s.size())) + s; }

// A block as the packer writes it, followed by `after`.
std::string block(const std::string& title, char programFiles, const std::string& folder,
                  const std::string& program = "Vopa.exe", std::string options = "\3\3\3",
                  const std::string& launch = "", const std::string& shortcut = "") {
    return std::string("\1") + text(title) + programFiles + text(folder) + text(program) + options +
           text(launch) + text(shortcut);
}

struct Loaded {
    InstallerState state;
    bool ok = false;
    long position = -1;
};

void load(Loaded& out, const std::string& bytes, const DestinationSources& sources) {
    out.state.archiveStream = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), out.state.archiveStream);
    std::rewind(out.state.archiveStream);
    out.ok = loadSetupBlock(out.state, sources);
    out.position = std::ftell(out.state.archiveStream);
}

DestinationSources windowsOnC(const char* current = "D:\\setup") {
    DestinationSources s;
    s.currentDirectory = current;
    s.windowsDirectory = "C:\\WINDOWS";
    return s;
}

}  // namespace

TEST(SetupBlock, AbsentBlockIsOneZeroByte) {
    Loaded l;
    load(l, std::string("\0-lh5-", 6), windowsOnC());
    EXPECT_TRUE(l.ok);
    EXPECT_FALSE(l.state.setupBlockRead);
    EXPECT_STREQ(l.state.title.text(), "Vopa SFX");
    EXPECT_STREQ(l.state.destinationFolder.text(), "D:\\setup");
    EXPECT_TRUE(l.state.programFileName.empty());
    EXPECT_EQ(l.position, 1);
}

TEST(SetupBlock, ExampleBlockOfFiftyBytes) {
    std::string title =
        "Vopa 1.00 \x83Z\x83"
        "b\x83g\x83"
        "A\x83"
        "b\x83v xx";  // 28 bytes
    title.resize(28, 'x');
    Loaded l;
    load(l, block(title, 1, "Vopa") + "\x24rest", windowsOnC());
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.position, 50);
    EXPECT_TRUE(l.state.setupBlockRead);
    EXPECT_EQ(std::string(l.state.title.text()), title);
    EXPECT_STREQ(l.state.destinationFolder.text(), "C:\\Program Files\\Vopa");
    EXPECT_STREQ(l.state.programFileName.text(), "Vopa.exe");
    EXPECT_EQ(l.state.startMenuOption, 3);
    EXPECT_EQ(l.state.desktopOption, 3);
    EXPECT_EQ(l.state.sendToOption, 3);
    EXPECT_TRUE(l.state.launchFile.empty());
    EXPECT_TRUE(l.state.shortcutName.empty());
}

TEST(SetupBlock, DestinationRule) {
    struct Case {
        char flag;
        const char* folder;
        const char* current;
        const char* expected;
    };
    const Case cases[] = {
        {0, "Vopa", "D:\\setup", "D:\\setup\\Vopa"},
        {0, "Vopa", "D:\\", "D:\\Vopa"},
        {1, "E:\\Tools\\Vopa", "D:\\setup", "E:\\Tools\\Vopa"},
        {0, "E:\\Tools\\Vopa", "D:\\setup", "E:\\Tools\\Vopa"},
        {1, "\\Tools", "D:\\setup", "C:\\Program Files\\\\Tools"},
        {1, "", "D:\\setup", "D:\\setup"},
    };
    for (const Case& c : cases) {
        Loaded l;
        load(l, block("T", c.flag, c.folder), windowsOnC(c.current));
        ASSERT_TRUE(l.ok) << c.folder;
        EXPECT_STREQ(l.state.destinationFolder.text(), c.expected) << c.folder;
    }
}

TEST(SetupBlock, EmptyTitleIsDefaultAndTheRestIsRead) {
    Loaded l;
    load(l, block("", 0, "Vopa", "Vopa.exe", std::string("\2\1\0", 3), "readme.txt", "Vopa 2"),
         windowsOnC());
    ASSERT_TRUE(l.ok);
    EXPECT_STREQ(l.state.title.text(), "Vopa SFX");
    EXPECT_EQ(l.state.startMenuOption, 2);
    EXPECT_EQ(l.state.desktopOption, 1);
    EXPECT_EQ(l.state.sendToOption, 0);
    EXPECT_STREQ(l.state.launchFile.text(), "readme.txt");
    EXPECT_STREQ(l.state.shortcutName.text(), "Vopa 2");
}

TEST(SetupBlock, PreviousInstallDirWinsOnlyWhenABlockIsPresent) {
    DestinationSources s = windowsOnC();
    s.previousInstallDir = "F:\\Old\\Vopa";
    Loaded with;
    load(with, block("T", 1, "Vopa"), s);
    ASSERT_TRUE(with.ok);
    EXPECT_STREQ(with.state.destinationFolder.text(), "F:\\Old\\Vopa");

    Loaded without;
    load(without, std::string(1, '\0'), s);
    EXPECT_STREQ(without.state.destinationFolder.text(), "D:\\setup");

    s.previousInstallDir = "";  // an empty value is ignored
    Loaded empty;
    load(empty, block("T", 1, "Vopa"), s);
    EXPECT_STREQ(empty.state.destinationFolder.text(), "C:\\Program Files\\Vopa");
}

TEST(SetupBlock, BlockCutShortFailsAndLeavesNoField) {
    std::string full = block("Title", 1, "Vopa", "Vopa.exe", "\3\3\3", "go.txt", "Name");
    for (std::size_t cut = 0; cut < full.size(); ++cut) {
        Loaded l;
        load(l, full.substr(0, cut), windowsOnC());
        EXPECT_FALSE(l.ok) << "cut at " << cut;
        EXPECT_FALSE(l.state.setupBlockRead);
        EXPECT_TRUE(l.state.programFileName.empty()) << "cut at " << cut;
        EXPECT_TRUE(l.state.destinationFolder.empty()) << "cut at " << cut;
    }
    Loaded whole;
    load(whole, full, windowsOnC());
    EXPECT_TRUE(whole.ok);
}

TEST(SetupBlock, ComposedDestinationThatDoesNotFitIsRefused) {
    std::string current(250, 'd');
    current = "D:\\" + current;  // 253 bytes
    Loaded tooLong;
    load(tooLong, block("T", 0, "Vopa\\Folder"), windowsOnC(current.c_str()));
    EXPECT_FALSE(tooLong.ok);
    EXPECT_TRUE(tooLong.state.destinationFolder.empty());

    Loaded fits;  // 253 + "\" + 5 = 259 bytes
    load(fits, block("T", 0, "Vopa5"), windowsOnC(current.c_str()));
    ASSERT_TRUE(fits.ok);
    EXPECT_EQ(fits.state.destinationFolder.length(), 259u);

    Loaded programFiles;  // "C:\Program Files\" is 17 bytes; 17 + 243 = 260 is one too many
    load(programFiles, block("T", 1, std::string(243, 'p')), windowsOnC());
    EXPECT_FALSE(programFiles.ok);
}
