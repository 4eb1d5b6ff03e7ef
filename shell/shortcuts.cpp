#include "shell/shortcuts.h"

#include <objidl.h>
#include <shlobj.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "app/installer/installer_state.h"
#include "shell/associations.h"

namespace {

// The folder's path, or false when it cannot be located; the item list is freed here.
bool specialFolderPath(HWND owner, int id, char (&path)[kPathCapacity]) {
    std::memset(path, 0, sizeof path);
    LPITEMIDLIST list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(owner, id, &list)) || !list) return false;
    BOOL ok = SHGetPathFromIDListA(list, path);
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator))) {
        allocator->Free(list);
        allocator->Release();
    }
    return ok && path[0] != '\0';
}

bool shortcutName(const InstallerState& state, char (&name)[kPathCapacity]) {
    if (!state.shortcutName.empty()) return copyText(name, sizeof name, state.shortcutName.text());
    char base[_MAX_FNAME];
    if (state.programFileName.length() >= kPathCapacity) return false;
    _splitpath(state.programFileName.text(), nullptr, nullptr, base, nullptr);
    return copyText(name, sizeof name, base);
}

void deleteOldShortcut(int id) {
    char folder[kPathCapacity], path[kPathCapacity];
    if (specialFolderPath(nullptr, id, folder) && joinPath(path, folder, "vopa.lnk"))
        DeleteFileA(path);
}

void createShortcut(InstallerState& state, int id) {
    if (FAILED(CoInitialize(nullptr))) return;
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        char folder[kPathCapacity], name[kPathCapacity], path[kPathCapacity], target[kPathCapacity];
        bool located = specialFolderPath(state.mainWindow, id, folder) ||
                       (id == CSIDL_COMMON_PROGRAMS &&
                        specialFolderPath(state.mainWindow, CSIDL_PROGRAMS, folder));
        // Each path must fit whole: a cut name would make a different shortcut.
        if (located && shortcutName(state, name) && appendText(name, sizeof name, ".lnk") &&
            joinPath(path, folder, name) &&
            installedPath(state, state.programFileName.text(), target)) {
            link->SetPath(target);
            link->SetIconLocation(target, 0);
            link->SetWorkingDirectory(state.destinationFolder.text());
            WCHAR wide[kPathCapacity];
            if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, kPathCapacity) > 0)
                file->Save(wide, TRUE);
        }
        file->Release();
    }
    if (link) link->Release();
    CoUninitialize();
}

}  // namespace

void createShortcuts(InstallerState& state) {
    if (state.startMenuOption & kOptionMake) {
        deleteOldShortcut(CSIDL_PROGRAMS);
        createShortcut(state, CSIDL_COMMON_PROGRAMS);
    }
    if (state.desktopOption & kOptionMake) {
        deleteOldShortcut(CSIDL_DESKTOPDIRECTORY);
        createShortcut(state, CSIDL_COMMON_DESKTOPDIRECTORY);
    }
    if (state.sendToOption & kOptionMake) createShortcut(state, CSIDL_SENDTO);
}
