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
    const std::string fits = "C:\\" + std::string(256, 'd');  // 259 bytes and the terminator
    const DWORD number = 7;
    const struct {
        DWORD type;
        std::string bytes;  // stored as they are: the terminator where it is given
        const char* taken;  // "-": not taken
    } rows[] = {
        {REG_SZ, std::string("D:\\Tools\\Vopa") + '\0', "D:\\Tools\\Vopa"},
        {REG_SZ, std::string(1, '\0'), "-"},  // empty
        {REG_DWORD, std::string(reinterpret_cast<const char*>(&number), 4), "-"},
        {REG_SZ, fits + "d" + '\0', "-"},  // does not fit
        {REG_SZ, fits + '\0', fits.c_str()},
        {REG_SZ, "E:\\V", "E:\\V"},  // no terminator stored: still read terminated
    };
    for (const auto& row : rows) {
        setValue(HKEY_CLASSES_ROOT, kShellExtensionClassKey, "InstallDir", row.type,
                 row.bytes.data(), static_cast<DWORD>(row.bytes.size()));
        EXPECT_STREQ(readPreviousInstallDir(folder) ? folder : "-", row.taken) << row.bytes;
    }
}
