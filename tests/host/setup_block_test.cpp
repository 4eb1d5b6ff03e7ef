// The setup block as the installer loads it (destination rule, previous folder, every
// field, a block cut short) and as vopa-pack writes it.
#include <gtest/gtest.h>

#include "app/installer/installer_state.h"
#include "app/setup/setup_block.h"
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
    // Whether a block was read, then its fields in the block's order.
    std::string fields() const {
        const InstallerState& s = state;
        return std::string(s.setupBlockRead ? "block|" : "none|") + s.title.text() + "|" +
               s.destinationFolder.text() + "|" + s.programFileName.text() + "|" +
               char('0' + s.startMenuOption) + char('0' + s.desktopOption) +
               char('0' + s.sendToOption) + "|" + s.launchFile.text() + "|" + s.shortcutName.text();
    }
};

}  // namespace

TEST(SetupBlock, EveryFieldAndTheAbsentBlock) {
    std::string title = "Vopa 1.00 \x83\x5A\x83\x62\x83\x67\x83\x41\x83\x62\x83\x76";
    title.resize(28, 'x');
    Loaded l(block(title, 2, "Vopa", std::string("\2\1\0", 3), "readme.txt", "Vopa 2") + "\x24");
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.position, 66) << "the archive's first byte";
    EXPECT_EQ(l.fields(),
              "block|" + title + "|C:\\Program Files\\Vopa|Vopa.exe|210|readme.txt|Vopa 2");
    EXPECT_STREQ(Loaded(block("", 0, "Vopa")).state.title.text(), "Vopa SFX")
        << "an empty title is the default";
    // No block: one 0 byte, the default title, the current folder (no previous one).
    Loaded absent(std::string("\0-lh5-", 6), "D:\\setup", "F:\\Old");
    EXPECT_TRUE(absent.ok);
    EXPECT_EQ(absent.fields(), "none|Vopa SFX|D:\\setup||000||");
    EXPECT_EQ(absent.position, 1);
}

TEST(SetupBlock, DestinationRuleAndPreviousInstallation) {
    struct Case {
        char flag;
        const char* folder;
        const char* current;
        const char* previous;
        std::string expected;  // "": refused
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
        {0, "Vopa5", d253.c_str(), nullptr, d253 + "\\Vopa5"},    // 259 bytes fit
        {0, "Vopa\\Folder", d253.c_str(), nullptr, ""},           // 265 do not
        // "C:\Program Files\" is 17 bytes: 17 + 242 fits, 17 + 243 does not.
        {1, p242.c_str(), "D:\\", nullptr, "C:\\Program Files\\" + p242},
        {1, p243.c_str(), "D:\\", nullptr, ""},
    };
    for (const Case& c : cases) {
        Loaded l(block("T", c.flag, c.folder), c.current, c.previous);
        EXPECT_EQ(l.ok, !c.expected.empty()) << c.folder;
        EXPECT_EQ(l.state.destinationFolder.text(), c.expected) << c.folder;
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
        EXPECT_EQ(l.fields(), "none||||000||") << cut;
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
