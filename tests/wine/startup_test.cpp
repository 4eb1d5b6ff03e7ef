// Start-up against Wine's real registry: the current shell state and the previous
// installation's folder, seeded here and read back through our code.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/installer_state.h"
#include "app/startup.h"
#include "shell/registry.h"
#include "shell/shell_state.h"
#include "tests/wine/wine_test_support.h"

TEST(ShellState, ReadsOwnAssociationsAndHandlers) {
    removeEverything();
    setText(HKEY_CLASSES_ROOT, ".lzh", nullptr, "VopaArchive");
    setText(HKEY_CLASSES_ROOT, ".zip", nullptr, "OtherArchiver.zip");
    setText(HKEY_CLASSES_ROOT, ".cab", nullptr, "vopaarchivecab");  // case differs
    setText(HKEY_CLASSES_ROOT, ".tar", nullptr, "VopaArchiveTar",
            REG_EXPAND_SZ);  // not a class name
    // 300 bytes that begin with our class name must not compare equal after a cut.
    setText(HKEY_CLASSES_ROOT, ".rar", nullptr, "VopaArchiveRar" + std::string(286, 'x'));
    setText(HKEY_CLASSES_ROOT, ".7z", nullptr, "VopaArchive7zip");
    setText(HKEY_CLASSES_ROOT, kFolderContextMenuKey, nullptr, kShellExtensionClsid);
    InstallerState state;
    readShellState(state);
    const bool expected[kAssociationCount] = {true,  false, false, false, false,
                                              false, false, false, false, true};
    for (std::size_t i = 0; i < kAssociationCount; ++i)
        EXPECT_EQ(state.associateFlags[i], expected[i]) << kAssociations[i].extension;
    EXPECT_FALSE(state.addCompressMenu) << "the folder context-menu key is not consulted";
    EXPECT_FALSE(state.extendDragDropMenu);

    // Each handler key alone sets its option.
    for (const char* key : {kFileContextMenuKey, kFolderDragDropKey, kDriveDragDropKey}) {
        removeEverything();
        setText(HKEY_CLASSES_ROOT, key, nullptr, kShellExtensionClsid);
        InstallerState one;
        readShellState(one);
        EXPECT_EQ(one.addCompressMenu, key == kFileContextMenuKey) << key;
        EXPECT_EQ(one.extendDragDropMenu, key != kFileContextMenuKey) << key;
    }
}

TEST(PreviousInstallDir, OnlyAUsableTextIsTaken) {
    char folder[260];
    deleteTree(HKEY_CLASSES_ROOT, kShellExtensionClassKey);
    EXPECT_FALSE(readPreviousInstallDir(folder));
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kShellExtensionClassKey)) << "reading creates no key";

    setText(HKEY_CLASSES_ROOT, kShellExtensionClassKey, "InstallDir", "D:\\Tools\\Vopa");
    ASSERT_TRUE(readPreviousInstallDir(folder));
    EXPECT_STREQ(folder, "D:\\Tools\\Vopa");

    setText(HKEY_CLASSES_ROOT, kShellExtensionClassKey, "InstallDir", "");
    EXPECT_FALSE(readPreviousInstallDir(folder)) << "an empty value is ignored";

    DWORD number = 7;
    setValue(HKEY_CLASSES_ROOT, kShellExtensionClassKey, "InstallDir", REG_DWORD, &number,
             sizeof number);
    EXPECT_FALSE(readPreviousInstallDir(folder)) << "only text values";

    setText(HKEY_CLASSES_ROOT, kShellExtensionClassKey, "InstallDir",
            "C:\\" + std::string(257, 'd'));
    EXPECT_FALSE(readPreviousInstallDir(folder)) << "260 bytes with the terminator do not fit";
    setText(HKEY_CLASSES_ROOT, kShellExtensionClassKey, "InstallDir",
            "C:\\" + std::string(256, 'd'));
    EXPECT_TRUE(readPreviousInstallDir(folder));
    EXPECT_EQ(std::string(folder).size(), 259u);

    // A value stored without its terminating zero is still read terminated.
    const char raw[4] = {'E', ':', '\\', 'V'};
    setValue(HKEY_CLASSES_ROOT, kShellExtensionClassKey, "InstallDir", REG_SZ, raw, sizeof raw);
    ASSERT_TRUE(readPreviousInstallDir(folder));
    EXPECT_STREQ(folder, "E:\\V");
}
