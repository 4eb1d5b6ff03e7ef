// Helpers of the Windows tests: registry values set and read back with plain Win32
// calls, so that the code under test is checked against the system, not itself.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "shell/association_table.h"
#include "shell/associations.h"
#include "shell/registration.h"

// The key is made when it is missing.
inline void setValue(HKEY root, const std::string& key, const char* name, DWORD type,
                     const void* data, DWORD size) {
    RegSetKeyValueA(root, key.c_str(), name, type, data, size);
}

inline void setText(HKEY root, const std::string& key, const char* name, const std::string& text,
                    DWORD type = REG_SZ) {
    setValue(root, key, name, type, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

// The value as text, "(type N)" for another type, "<none>" when it is missing.
inline std::string readText(HKEY root, const std::string& key, const char* name) {
    char data[2048] = {};
    DWORD type = 0, size = sizeof data - 1;
    if (RegGetValueA(root, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) !=
        ERROR_SUCCESS)
        return "<none>";
    if (type != REG_SZ && type != REG_EXPAND_SZ) return "(type " + std::to_string(type) + ")";
    return std::string(data) + (type == REG_EXPAND_SZ ? " (expand)" : "");
}

inline void deleteTree(HKEY root, const std::string& key) { RegDeleteTreeA(root, key.c_str()); }

// Every key the installer may write, in a fixed order.
inline std::vector<std::pair<HKEY, std::string>> ourKeys() {
    std::vector<std::pair<HKEY, std::string>> keys = {{HKEY_LOCAL_MACHINE, kUninstallKey},
                                                      {HKEY_CLASSES_ROOT, kShellExtensionClassKey}};
    for (const char* key :
         {kFileContextMenuKey, kFolderContextMenuKey, kFolderDragDropKey, kDriveDragDropKey})
        keys.emplace_back(HKEY_CLASSES_ROOT, key);
    for (const AssociationRow& row : kAssociations) {
        keys.emplace_back(HKEY_CLASSES_ROOT, row.extension);
        keys.emplace_back(HKEY_CLASSES_ROOT, row.className);
    }
    keys.emplace_back(HKEY_CURRENT_USER, kSavedClassKey);
    return keys;
}

// For a clean start.
inline void removeEverything() {
    for (const auto& [root, key] : ourKeys()) deleteTree(root, key);
}
