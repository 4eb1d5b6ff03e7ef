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
                  const std::string& shortcut = "", const std::string& program = "Vopa.exe") {
    return "\1" + text(title) + programFiles + text(folder) + text(program) + options +
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

TEST(SetupBlock, EveryFieldAndTheAbsentBlock) {
    std::string title = "Vopa 1.00 \x83\x5A\x83\x62\x83\x67\x83\x41\x83\x62\x83\x76";
    title.resize(28, 'x');
    Loaded l(block(title, 1, "Vopa", std::string("\2\1\0", 3), "readme.txt", "Vopa 2") + "\x24");
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.position, 66) << "the archive's first byte";
    EXPECT_TRUE(l.state.setupBlockRead);
    EXPECT_EQ(std::string(l.state.title.text()), title);
    EXPECT_STREQ(l.state.destinationFolder.text(), "C:\\Program Files\\Vopa");
    EXPECT_STREQ(l.state.programFileName.text(), "Vopa.exe");
    EXPECT_EQ(l.state.startMenuOption, 2);
    EXPECT_EQ(l.state.desktopOption, 1);
    EXPECT_EQ(l.state.sendToOption, 0);
    EXPECT_STREQ(l.state.launchFile.text(), "readme.txt");
    EXPECT_STREQ(l.state.shortcutName.text(), "Vopa 2");
    EXPECT_STREQ(Loaded(block("", 0, "Vopa")).state.title.text(), "Vopa SFX")
        << "an empty title is the default";
    // No block: one 0 byte, the default title, the current folder (no previous one).
    Loaded absent(std::string("\0-lh5-", 6), "D:\\setup", "F:\\Old");
    EXPECT_TRUE(absent.ok);
    EXPECT_FALSE(absent.state.setupBlockRead);
    EXPECT_STREQ(absent.state.title.text(), "Vopa SFX");
    EXPECT_STREQ(absent.state.destinationFolder.text(), "D:\\setup");
    EXPECT_TRUE(absent.state.programFileName.empty());
    EXPECT_EQ(absent.position, 1);
}

TEST(SetupBlock, DestinationRuleAndPreviousInstallation) {
    struct Case {
        char flag;
        const char* folder;
        const char* current;
        const char* previous;
        const char* expected;
    };
    const std::string d253 = "D:\\" + std::string(250, 'd'), p242(242, 'p'), p243(243, 'p');
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
        // "C:\Program Files\" is 17 bytes: 17 + 242 fits, 17 + 243 does not.
        {1, p242.c_str(), "D:\\", nullptr, nullptr},
        {1, p243.c_str(), "D:\\", nullptr, ""},
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
    char out[kPathCapacity];  // a Windows folder without a drive lends none
    ASSERT_TRUE(composeDestination(out, sizeof out, "Vopa", true, {"D:\\", "\\\\srv\\W", nullptr}));
    EXPECT_STREQ(out, "\\Program Files\\Vopa");
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
    // In the layout's order: present, title, flag, folder, program, options, texts.
    SetupBlock b{true, "Vopa", true, "Vopa", "Vopa.exe", 3, 1, 2, "", std::string(255, 's')};
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
    const char* flags[] = {"--program", "--launch", "--shortcut"};
    for (const char* bad : {"..\\..\\Windows\\notepad.exe", "bin/Vopa.exe", "C:Vopa.exe", "..", ".",
                            "CON", "Vopa.exe:stream", "a\\b"}) {
        for (int field = 0; field < 3; ++field) {
            SetupBlock b;
            b.present = true;
            std::string* fields[] = {&b.program, &b.launch, &b.shortcut};
            *fields[field] = bad;
            std::string error, bytes;
            EXPECT_FALSE(checkSetupBlock(b, error)) << bad << " " << field;
            EXPECT_NE(error.find(flags[field]), std::string::npos) << error;
            EXPECT_FALSE(writeSetupBlock(b, bytes, error)) << bad;
        }
    }
    // A second byte 0x5C is no separator.
    const SetupBlock fine{true, "", false, "", "Vopa.exe", 0, 0, 0, "\x95\x5C.txt", "Vopa 2"};
    std::string error;
    EXPECT_TRUE(checkSetupBlock(fine, error)) << error;
    // The installer refuses such a block at start-up, as it refuses one cut short.
    EXPECT_FALSE(Loaded(block("T", 0, "V", "\3\3\3", "", "", "..\\x.exe")).ok);
}
