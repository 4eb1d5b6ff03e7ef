#include "shell/registration.h"

#include <shlobj.h>
#include <windows.h>

#include <string>

#include "app/installer/installer_state.h"
#include "shell/associations.h"
#include "shell/program_version.h"
#include "shell/registry.h"

namespace {

void writeUninstallEntry(InstallerState& state) {
    // No program file name (no setup block): no command that names nothing.
    char command[kCommandCapacity], program[kPathCapacity];
    if (!programCommand(state, " /u", command) ||
        !installedPath(state, state.programFileName.text(), program))
        return;
    writeString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", "Vopa");
    writeString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", command);
    // What Apps & features shows beside the name, and what deployment tools read.
    char icon[kPathCapacity + 2];
    wsprintfA(icon, "%s,0", program);
    writeString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayIcon", icon);
    const ProgramVersion version = readProgramVersion(program);
    if (!version.version.empty())
        writeString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion", version.version.c_str());
    if (!version.publisher.empty())
        writeString(HKEY_LOCAL_MACHINE, kUninstallKey, "Publisher", version.publisher.c_str());
    writeString(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation",
                state.destinationFolder.text());
    const std::uint64_t kilobytes = (archiveSummary(state).fileBytes + 1023) / 1024;
    writeNumber(HKEY_LOCAL_MACHINE, kUninstallKey, "EstimatedSize",
                kilobytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(kilobytes));
    // The program only uninstalls: no Change or Repair button for it.
    writeNumber(HKEY_LOCAL_MACHINE, kUninstallKey, "NoModify", 1);
    writeNumber(HKEY_LOCAL_MACHINE, kUninstallKey, "NoRepair", 1);
}

void writeInstallDir(InstallerState& state) {
    writeString(HKEY_CLASSES_ROOT, kShellExtensionClassKey, "InstallDir",
                state.destinationFolder.text());
}

void registerShellExtensionClass(InstallerState& state) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, kShellExtensionClassKey, 0, const_cast<char*>(""),
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("VopaDll"), 8);
    RegCloseKey(key);
    char dll[kPathCapacity];
    if (!installedPath(state, "VopaDll.dll", dll)) return;
    const std::string server = std::string(kShellExtensionClassKey) + "\\InprocServer32";
    writeString(HKEY_CLASSES_ROOT, server.c_str(), nullptr, dll);
    writeString(HKEY_CLASSES_ROOT, server.c_str(), "ThreadingModel", "Apartment");
}

void registerContextMenuHandlers(InstallerState&) {
    writeString(HKEY_CLASSES_ROOT, kFileContextMenuKey, nullptr, kShellExtensionClsid);
    writeString(HKEY_CLASSES_ROOT, kFolderContextMenuKey, nullptr, kShellExtensionClsid);
}

void registerDragDropHandlers(InstallerState&) {
    // Only the handler keys that exist are rewritten; both when neither does.
    bool folder = keyExists(HKEY_CLASSES_ROOT, kFolderDragDropKey);
    bool drive = keyExists(HKEY_CLASSES_ROOT, kDriveDragDropKey);
    if (!folder && !drive) folder = drive = true;
    if (folder) writeString(HKEY_CLASSES_ROOT, kFolderDragDropKey, nullptr, kShellExtensionClsid);
    if (drive) writeString(HKEY_CLASSES_ROOT, kDriveDragDropKey, nullptr, kShellExtensionClsid);
}

}  // namespace

void registerAll(InstallerState& state) {
    writeUninstallEntry(state);
    writeInstallDir(state);
    if (state.addCompressMenu || state.extendDragDropMenu) registerShellExtensionClass(state);
    if (state.addCompressMenu) registerContextMenuHandlers(state);
    if (state.extendDragDropMenu) registerDragDropHandlers(state);
    bool any = false;
    for (std::size_t t = 0; t < kAssociationCount; ++t) {
        // Without a program there is nothing to open an archive with: the extension
        // keeps what it had rather than point at a class with no Open verb.
        if (!state.associateFlags[t] || state.programFileName.empty()) continue;
        registerExtension(state, t);
        any = true;
    }
    if (any) SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

void launchProgram(InstallerState& state) {
    char path[kPathCapacity];
    if (!joinPath(path, state.destinationFolder.text(), state.launchFile.text())) return;
    ShellExecuteA(state.mainWindow, nullptr, path, nullptr, nullptr, SW_SHOWNORMAL);
}
