// The setup block as the installer loads it (destination rule, previous folder, every
// field, a block cut short) and as vopa-pack writes it.
#include <gtest/gtest.h>

#include <string>

#include "app/installer_state.h"
#include "app/setup_block.h"
#include "tests/host/test_support.h"

namespace {

std::string text(const std::string& s) { return std::string(1, static_cast<char>(s.size())) + s; }

std::string block(const std::string& title, char programFiles, const std::string& folder,
                  const std::string& options = "\3\3\3", const std::string& launch = "",
                  const std::string& shortcut = "") {
    return "\1" + text(title) + programFiles + text(folder) + text("Vopa.exe") + options +
           text(launch) + text(shortcut);
}

struct Loaded {
    InstallerState state;
    bool ok = false;
    long position = -1;
    Loaded(const std::string& bytes, const char* current = "D:\\setup",
           const char* previous = nullptr) {
        state.archiveStream = streamOf(Bytes(bytes.begin(), bytes.end()));
        DestinationSources sources;
        sources.currentDirectory = current;
        sources.windowsDirectory = "C:\\WINDOWS";
        sources.previousInstallDir = previous;
        ok = loadSetupBlock(state, sources);
        position = std::ftell(state.archiveStream);
    }
    ~Loaded() { destroyInstaller(state); }
};

}  // namespace

TEST(SetupBlock, AbsentBlockIsOneZeroByte) {
    Loaded l(std::string("\0-lh5-", 6), "D:\\setup", "F:\\Old");
    EXPECT_TRUE(l.ok);
    EXPECT_FALSE(l.state.setupBlockRead);
    EXPECT_STREQ(l.state.title.text(), "Vopa SFX");
    EXPECT_STREQ(l.state.destinationFolder.text(), "D:\\setup") << "no previous folder either";
    EXPECT_TRUE(l.state.programFileName.empty());
    EXPECT_EQ(l.position, 1);
}

TEST(SetupBlock, EveryFieldOfABlockOfFiftyBytes) {
    std::string title =
        "Vopa 1.00 \x83Z\x83"
        "b\x83g\x83"
        "A\x83"
        "b\x83v";
    title.resize(28, 'x');
    Loaded l(block(title, 1, "Vopa") + "\x24rest");
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.position, 50) << "the archive's first byte";
    EXPECT_TRUE(l.state.setupBlockRead);
    EXPECT_EQ(std::string(l.state.title.text()), title);
    EXPECT_STREQ(l.state.destinationFolder.text(), "C:\\Program Files\\Vopa");
    EXPECT_STREQ(l.state.programFileName.text(), "Vopa.exe");
    Loaded other(block("", 0, "Vopa", std::string("\2\1\0", 3), "readme.txt", "Vopa 2"));
    ASSERT_TRUE(other.ok);
    EXPECT_STREQ(other.state.title.text(), "Vopa SFX") << "an empty title is the default";
    EXPECT_EQ(other.state.startMenuOption, 2);
    EXPECT_EQ(other.state.desktopOption, 1);
    EXPECT_EQ(other.state.sendToOption, 0);
    EXPECT_STREQ(other.state.launchFile.text(), "readme.txt");
    EXPECT_STREQ(other.state.shortcutName.text(), "Vopa 2");
}

TEST(SetupBlock, DestinationRuleAndPreviousInstallation) {
    struct Case {
        char flag;
        const char* folder;
        const char* current;
        const char* previous;
        const char* expected;
    };
    const std::string d253 = "D:\\" + std::string(250, 'd');
    const Case cases[] = {
        {0, "Vopa", "D:\\setup", nullptr, "D:\\setup\\Vopa"},
        {0, "Vopa", "D:\\", nullptr, "D:\\Vopa"},
        {1, "E:\\Tools\\Vopa", "D:\\setup", nullptr, "E:\\Tools\\Vopa"},
        {0, "E:\\Tools\\Vopa", "D:\\setup", nullptr, "E:\\Tools\\Vopa"},
        {1, "\\Tools", "D:\\setup", nullptr, "C:\\Program Files\\\\Tools"},
        {1, "", "D:\\setup", nullptr, "D:\\setup"},
        {1, "Vopa", "D:\\setup", "F:\\Old\\Vopa", "F:\\Old\\Vopa"},
        {1, "Vopa", "D:\\setup", "", "C:\\Program Files\\Vopa"},  // an empty value is ignored
        {0, "Vopa5", d253.c_str(), nullptr, nullptr},             // 253 + "\" + 5: fits
        {0, "Vopa\\Folder", d253.c_str(), nullptr, ""},           // 265 bytes: refused
    };
    for (const Case& c : cases) {
        Loaded l(block("T", c.flag, c.folder), c.current, c.previous);
        if (c.expected && !*c.expected) {
            EXPECT_FALSE(l.ok) << c.folder;
            EXPECT_TRUE(l.state.destinationFolder.empty());
            continue;
        }
        ASSERT_TRUE(l.ok) << c.folder;
        if (c.expected) EXPECT_STREQ(l.state.destinationFolder.text(), c.expected) << c.folder;
        else EXPECT_EQ(l.state.destinationFolder.length(), 259u);
    }
    // "C:\Program Files\" is 17 bytes: 17 + 242 fits, 17 + 243 does not.
    EXPECT_TRUE(Loaded(block("T", 1, std::string(242, 'p'))).ok);
    EXPECT_FALSE(Loaded(block("T", 1, std::string(243, 'p'))).ok);
}

TEST(SetupBlock, ABlockCutShortFailsAndLeavesNoField) {
    std::string full = block("Title", 1, "Vopa", "\3\3\3", "go.txt", "Name");
    for (std::size_t cut = 0; cut < full.size(); ++cut) {
        Loaded l(full.substr(0, cut));
        EXPECT_FALSE(l.ok) << "cut at " << cut;
        EXPECT_FALSE(l.state.setupBlockRead);
        EXPECT_TRUE(l.state.programFileName.empty() && l.state.destinationFolder.empty()) << cut;
    }
    EXPECT_TRUE(Loaded(full).ok);
}

TEST(SetupBlock, WrittenAsItIsRead) {
    SetupBlock b;
    b.present = true;
    b.title = "Vopa";
    b.underProgramFiles = true;
    b.folder = "Vopa";
    b.program = "Vopa.exe";
    b.startMenu = 3, b.desktop = 1, b.sendTo = 2;
    b.shortcut = std::string(255, 's');
    std::string bytes, error;
    ASSERT_TRUE(writeSetupBlock(b, bytes, error));
    EXPECT_EQ(bytes, block("Vopa", 1, "Vopa", "\3\1\2", "", std::string(255, 's')));
    b.launch = std::string(256, 'l');
    bytes.clear();
    EXPECT_FALSE(writeSetupBlock(b, bytes, error));
    EXPECT_EQ(error, "--launch is longer than the block's 255 bytes");
    bytes.clear();
    ASSERT_TRUE(writeSetupBlock(SetupBlock(), bytes, error));
    EXPECT_EQ(bytes, std::string(1, '\0'));
}

TEST(SetupBlock, JoinedFieldsAreOnePlainNameInsideTheDestination) {
    for (const char* bad : {"..\\..\\Windows\\notepad.exe", "bin/Vopa.exe", "C:Vopa.exe", "..", ".",
                            "CON", "Vopa.exe:stream", "a\\b"}) {
        for (int field = 0; field < 3; ++field) {
            SetupBlock b;
            b.present = true;
            (field == 0 ? b.program : field == 1 ? b.launch : b.shortcut) = bad;
            std::string error, bytes;
            EXPECT_FALSE(checkSetupBlock(b, error)) << bad << " " << field;
            EXPECT_FALSE(writeSetupBlock(b, bytes, error)) << bad;
            EXPECT_NE(error.find(field == 0   ? "--program"
                                 : field == 1 ? "--launch"
                                              : "--shortcut"),
                      std::string::npos);
        }
    }
    SetupBlock fine;
    fine.present = true;
    fine.program = "Vopa.exe";
    fine.launch = "\x95\x5C.txt";  // a second byte 0x5C is no separator
    fine.shortcut = "Vopa 2";
    std::string error;
    EXPECT_TRUE(checkSetupBlock(fine, error)) << error;
    // The installer refuses such a block at start-up, as it refuses one cut short.
    std::string block =
        "\1" + text("T") + '\0' + text("V") + text("..\\x.exe") + "\3\3\3" + text("") + text("");
    EXPECT_FALSE(Loaded(block).ok);
}
