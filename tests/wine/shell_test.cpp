// The registry and the shell under Wine, seeded and read back with plain Win32 calls so
// that our code is checked against the system, not itself.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "app/installer/installer_state.h"
#include "app/installer/startup.h"
#include "shell/association_table.h"
#include "shell/associations.h"
#include "shell/registration.h"
#include "shell/registry.h"
#include "shell/shell_state.h"
#include "shell/shortcuts.h"
#include "tests/wine/shell_listing.h"

namespace {

const std::string kClassKey = kShellExtensionClassKey;

void setText(HKEY root, const std::string& key, const char* name, const std::string& text,
             DWORD type = REG_SZ) {
    RegSetKeyValueA(root, key.c_str(), name, type, text.c_str(),
                    static_cast<DWORD>(text.size() + 1));
}

void removeEverything() {
    for (const auto& [root, key] : ourKeys()) RegDeleteTreeA(root, key.c_str());
}

void startFullInstall(InstallerState& s) {
    removeEverything();
    s.destinationFolder.assign("C:\\Program Files\\Vopa");
    s.programFileName.assign("Vopa.exe");
    s.setupBlockRead = true;
    s.archiveSummarized = true;
    s.archive.fileBytes = 5 * 1024 * 1024 + 1;  // 5121 KB, the last one begun
    for (bool& f : s.associateFlags) f = true;
    s.addViewVerb = s.addCompressMenu = s.extendDragDropMenu = true;
}

bool fileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

TEST(StartUp, ReadsOwnAssociationsHandlersAndPreviousFolder) {
    removeEverything();
    setText(HKEY_CLASSES_ROOT, ".lzh", nullptr, "VopaArchive");
    setText(HKEY_CLASSES_ROOT, ".zip", nullptr, "OtherArchiver.zip");
    setText(HKEY_CLASSES_ROOT, ".cab", nullptr, "vopaarchivecab");                 // case differs
    setText(HKEY_CLASSES_ROOT, ".tar", nullptr, "VopaArchiveTar", REG_EXPAND_SZ);  // no class name
    // 300 bytes that begin with our class name must not compare equal after a cut.
    setText(HKEY_CLASSES_ROOT, ".rar", nullptr, "VopaArchiveRar" + std::string(286, 'x'));
    setText(HKEY_CLASSES_ROOT, ".7z", nullptr, "VopaArchive7zip");
    setText(HKEY_CLASSES_ROOT, kFolderContextMenuKey, nullptr, kShellExtensionClsid);
    InstallerState state;
    readShellState(state);
    std::string flags;
    for (bool f : state.associateFlags) flags += f ? '1' : '0';
    EXPECT_EQ(flags, "1000000001");
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

    // The previous folder: only a usable text is taken.
    char folder[260];
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
        RegSetKeyValueA(HKEY_CLASSES_ROOT, kShellExtensionClassKey, "InstallDir", row.type,
                        row.bytes.data(), static_cast<DWORD>(row.bytes.size()));
        EXPECT_STREQ(readPreviousInstallDir(folder) ? folder : "-", row.taken) << row.bytes;
    }
}

TEST(Registration, FullInstallWritesEveryKeyAndValue) {
    InstallerState s;
    startFullInstall(s);
    registerAll(s);
    EXPECT_EQ(dumpOurKeys(), fullInstallListing(true, 5121));
}

TEST(Registration, PreviousClassesAreSavedOnceAndWhole) {
    InstallerState s;
    startFullInstall(s);
    const std::string longClass = "Long." + std::string(300, 'c');
    setText(HKEY_CLASSES_ROOT, ".zip", nullptr, "OtherArchiver.zip");
    setText(HKEY_CLASSES_ROOT, ".cab", "Content Type", "x");  // a key without a default value
    setText(HKEY_CLASSES_ROOT, ".tar", nullptr, longClass);
    setText(HKEY_CLASSES_ROOT, ".gz", nullptr, "%GzipClass%", REG_EXPAND_SZ);
    for (const char* extension : {".tgz", ".tbz", ".bz2", ".7z"})
        setText(HKEY_CLASSES_ROOT, extension, nullptr, std::string("Old") + extension);
    DWORD number = 5;
    RegSetKeyValueA(HKEY_CLASSES_ROOT, ".rar", nullptr, REG_DWORD, &number, sizeof number);
    // In row order: .lzh did not exist, a long class is read whole, an expandable text
    // stays so, a number is no class name.
    const std::pair<const char*, std::string> saved[] = {
        {"OldClass", "<none>"},   {"OldZClass", "OtherArchiver.zip"},
        {"OldCClass", ""},        {"OldTClass", "Old.tgz"},
        {"OldAClass", longClass}, {"OldGClass", "%GzipClass% (expand)"},
        {"OldBClass", "Old.tbz"}, {"Old2Class", "Old.bz2"},
        {"OldRClass", "<none>"},  {"Old7Class", "Old.7z"}};
    for (int install = 1; install <= 2; ++install) {  // the second keeps what the first saved
        registerAll(s);
        for (const auto& [name, previous] : saved)
            EXPECT_EQ(readText(HKEY_CURRENT_USER, kSavedClassKey, name), previous) << install;
    }
}

TEST(Registration, OptionsOffWriteNothingForThem) {
    removeEverything();
    InstallerState s;
    s.destinationFolder.assign("D:\\");
    s.programFileName.assign("Vopa.exe");
    registerAll(s);
    EXPECT_EQ(dumpOurKeys(), R"([HKLM\SoftWare\Microsoft\Windows\CurrentVersion\Uninstall\Vopa]
DisplayIcon=D:\Vopa.exe,0
DisplayName=Vopa
EstimatedSize=dword:0
InstallLocation=D:\
NoModify=dword:1
NoRepair=dword:1
UninstallString="D:\Vopa.exe" /u
[HKCR\CLSID\{8E4B2D17-93A6-4F5C-B1E0-6C2A9D47F3B5}]
InstallDir=D:\
)");

    // Left by an earlier installation: old Extract verbs, a "View" default, a handler.
    for (const char* cls : {"VopaArchive", "VopaArchiveZip", "VopaArchiveCab"})
        setText(HKEY_CLASSES_ROOT, cls + std::string("\\Shell\\Extract\\command"), nullptr, "old");
    setText(HKEY_CLASSES_ROOT, "VopaArchiveCab\\Shell", nullptr, "View");
    setText(HKEY_CLASSES_ROOT, "VopaArchive\\Shell", nullptr, "view");
    setText(HKEY_CLASSES_ROOT, kDriveDragDropKey, nullptr, "old");
    s.associateFlags[0] = s.associateFlags[1] = s.associateFlags[2] = true;  // no View
    s.extendDragDropMenu = true;
    registerAll(s);
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, "VopaArchive\\Shell\\Extract"));
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, "VopaArchiveZip\\Shell\\Extract"));
    EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, "VopaArchiveCab\\Shell\\Extract")) << "rows 0, 1 only";
    EXPECT_EQ(readText(HKEY_CLASSES_ROOT, "VopaArchiveCab\\Shell", nullptr), "View");
    EXPECT_EQ(readText(HKEY_CLASSES_ROOT, "VopaArchive\\Shell", nullptr), "Open");
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, "VopaArchive\\Shell\\View"));
    EXPECT_EQ(readText(HKEY_CLASSES_ROOT, kClassKey, nullptr), "VopaDll") << "the handler's class";
    EXPECT_EQ(readText(HKEY_CLASSES_ROOT, kDriveDragDropKey, nullptr), kShellExtensionClsid);
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kFolderDragDropKey)) << "only the existing one";
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kFileContextMenuKey));
}

TEST(Registration, NoProgramNameOrPathsThatDoNotFitWriteNoCommands) {
    InstallerState s;
    startFullInstall(s);
    s.programFileName.clear();  // no setup block
    registerAll(s);
    const std::string full = fullInstallListing(true, 5121);
    const std::size_t extension = full.find("[HKCR"), classes = full.find("[HKCR\\.lzh]");
    EXPECT_EQ(dumpOurKeys(), full.substr(extension, classes - extension))
        << "no uninstall entry and no classes; the shell extension as always";

    // Refused, not cut.
    startFullInstall(s);
    s.destinationFolder.assign(("C:\\" + std::string(250, 'p')).c_str());  // + "\Vopa.exe" > 259
    registerAll(s);
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, "VopaArchive\\Shell\\Open\\command"));
    EXPECT_EQ(readText(HKEY_CLASSES_ROOT, kClassKey + "\\InprocServer32", nullptr), "<none>");
    EXPECT_EQ(readText(HKEY_CLASSES_ROOT, kClassKey, "InstallDir"), s.destinationFolder.text());
}

TEST(Registration, TheUninstallEntryTakesVersionAndPublisherFromTheProgram) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    const std::string built = std::string(self).substr(0, std::string(self).rfind('\\') + 1);
    CreateDirectoryA("C:\\Versioned", nullptr);
    InstallerState s;
    s.destinationFolder.assign("C:\\Versioned");
    s.programFileName.assign("Vopa.exe");
    // In the language the translation names, which is not the resource's first; none
    // at all from a program without a version resource, or from no program.
    const std::pair<const char*, const char*> programs[] = {
        {"stand_in_program.exe", "2.50 ベータ|テスト出版"},
        {"plain_program.exe", "<none>|<none>"},
        {nullptr, "<none>|<none>"},
    };
    for (const auto& [program, expected] : programs) {
        removeEverything();
        DeleteFileA("C:\\Versioned\\Vopa.exe");
        if (program) {
            ASSERT_TRUE(CopyFileA((built + program).c_str(), "C:\\Versioned\\Vopa.exe", FALSE));
        }
        registerAll(s);
        EXPECT_EQ(readText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion") + "|" +
                      readText(HKEY_LOCAL_MACHINE, kUninstallKey, "Publisher"),
                  expected)
            << (program ? program : "no program");
        EXPECT_EQ(readText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "Vopa");
    }
}

TEST(Shortcuts, MadeInTheRightFoldersAndTheOldOneGoes) {
    CoInitialize(nullptr);  // for readLink
    CreateDirectoryA("C:\\Inst", nullptr);
    std::ofstream("C:\\Inst\\Vopa.exe") << "x";
    std::string oldPrograms = folderPath(CSIDL_PROGRAMS) + "\\vopa.lnk";
    std::string oldDesktop = folderPath(CSIDL_DESKTOPDIRECTORY) + "\\vopa.lnk";
    for (const std::string& old : {oldPrograms, oldDesktop}) std::ofstream(old) << "old";

    InstallerState s;
    s.destinationFolder.assign("C:\\Inst");
    s.programFileName.assign("Vopa.exe");
    s.startMenuOption = s.desktopOption = s.sendToOption = 3;
    createShortcuts(s);
    EXPECT_FALSE(fileExists(oldPrograms));
    EXPECT_FALSE(fileExists(oldDesktop));
    for (int id : {CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_SENDTO}) {
        std::string path = folderPath(id) + "\\Vopa.lnk";
        EXPECT_EQ(readLink(path), "C:\\Inst\\Vopa.exe|C:\\Inst|C:\\Inst\\Vopa.exe,0") << path;
        DeleteFileA(path.c_str());
    }

    // Bit 2 clear: no shortcut, and the old one is not touched.
    std::ofstream(oldDesktop) << "old";
    s.startMenuOption = s.sendToOption = 0;
    s.desktopOption = 1;
    s.shortcutName.assign("Vopa 2");
    const std::string named = folderPath(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Vopa 2.lnk";
    createShortcuts(s);
    EXPECT_TRUE(fileExists(oldDesktop));
    EXPECT_FALSE(fileExists(named));
    s.desktopOption = 2;
    createShortcuts(s);
    EXPECT_NE(readLink(named), "") << "a shortcut name is used as given";
}

TEST(Launch, OpensTheLaunchFileWithItsDefaultAction) {
    CreateDirectoryA("C:\\Launch", nullptr);
    std::ofstream("C:\\Launch\\start.bat") << "@echo launched> C:\\Launch\\marker.txt\r\n";
    InstallerState s;
    s.destinationFolder.assign("C:\\Launch");
    s.launchFile.assign("start.bat");
    launchProgram(s);
    for (int i = 0; i < 200 && !fileExists("C:\\Launch\\marker.txt"); ++i) Sleep(50);
    EXPECT_TRUE(fileExists("C:\\Launch\\marker.txt"));
}
