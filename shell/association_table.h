// The ten archive types the installer can associate. Row order is the order of
// InstallerState::associateFlags everywhere.
#pragma once
#include <cstddef>

struct AssociationRow {
    const char* extension;        // key under HKEY_CLASSES_ROOT, e.g. ".zip"
    const char* className;        // our class, e.g. "VopaArchiveZip"
    const char* savedClassValue;  // value under the per-user Output key for the previous class
    int iconIndex;                // icon in VopaResource.dll
    const char* commandWord;      // command-line word that selects the row
};

constexpr AssociationRow kAssociations[] = {
    {".lzh", "VopaArchive", "OldClass", 0, "lzh"},
    {".zip", "VopaArchiveZip", "OldZClass", 1, "zip"},
    {".cab", "VopaArchiveCab", "OldCClass", 2, "cab"},
    {".tgz", "VopaArchiveTgz", "OldTClass", 3, "tgz"},
    {".tar", "VopaArchiveTar", "OldAClass", 4, "tar"},
    {".gz", "VopaArchiveGzip", "OldGClass", 3, "gz"},
    {".tbz", "VopaArchiveTbz", "OldBClass", 3, "tbz"},
    {".bz2", "VopaArchiveBz2", "Old2Class", 3, "bz2"},
    {".rar", "VopaArchiveRar", "OldRClass", 5, "rar"},
    {".7z", "VopaArchive7zip", "Old7Class", 6, "7z"},
};
constexpr std::size_t kAssociationCount = sizeof(kAssociations) / sizeof(kAssociations[0]);
static_assert(kAssociationCount == 10, "the dialog and the command line know ten types");

// The shell extension's class and the handler keys that carry its DLL's base name.
constexpr const char kShellExtensionClassKey[] = "CLSID\\{8E4B2D17-93A6-4F5C-B1E0-6C2A9D47F3B5}";
// The class identifier alone, as the handler keys name it.
constexpr const char* kShellExtensionClsid = kShellExtensionClassKey + 6;
constexpr const char kFileContextMenuKey[] = "*\\shellex\\ContextMenuHandlers\\VopaDll";
constexpr const char kFolderContextMenuKey[] = "Folder\\shellex\\ContextMenuHandlers\\VopaDll";
constexpr const char kFolderDragDropKey[] = "Folder\\shellex\\DragDropHandlers\\VopaDll";
constexpr const char kDriveDragDropKey[] = "Drive\\shellex\\DragDropHandlers\\VopaDll";
