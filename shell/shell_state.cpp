#include "shell/shell_state.h"

#include <cstring>
#include <string>

#include "app/installer/installer_state.h"
#include "shell/registry.h"

namespace {

// True when the extension's key exists and its default value is exactly the class.
bool isExtensionAssociated(const char* extension, const char* className) {
    HKEY k;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, extension, 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    std::string value;
    bool same = readWholeString(k, nullptr, value, /*classNameOnly=*/true) == StringRead::ok &&
                value == className;
    RegCloseKey(k);
    return same;
}

}  // namespace

void readShellState(InstallerState& state) {
    for (std::size_t i = 0; i < kAssociationCount; ++i)
        state.associateFlags[i] =
            isExtensionAssociated(kAssociations[i].extension, kAssociations[i].className);
    if (keyExists(HKEY_CLASSES_ROOT, kFileContextMenuKey)) state.addCompressMenu = true;
    if (keyExists(HKEY_CLASSES_ROOT, kFolderDragDropKey)) state.extendDragDropMenu = true;
    if (keyExists(HKEY_CLASSES_ROOT, kDriveDragDropKey)) state.extendDragDropMenu = true;
}
