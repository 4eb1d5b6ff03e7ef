#include "tests/wine/shell_listing.h"

#include <shlobj.h>

#include "shell/association_table.h"
#include "shell/associations.h"
#include "shell/registration.h"

namespace {

// Wine keeps both values and subkeys sorted by name.
void dump(HKEY root, const std::string& key, std::string& out) {
    HKEY k;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return;
    const char* rootName = root == HKEY_LOCAL_MACHINE  ? "HKLM"
                           : root == HKEY_CURRENT_USER ? "HKCU"
                                                       : "HKCR";
    out += "[" + std::string(rootName) + "\\" + key + "]\n";
    char name[256];
    for (DWORD i = 0, size = sizeof name;
         RegEnumValueA(k, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, size = sizeof name)
        out += (size ? std::string(name) : "@") + "=" + readText(root, key, size ? name : nullptr) +
               "\n";
    for (DWORD i = 0; RegEnumKeyA(k, i, name, sizeof name) == ERROR_SUCCESS; ++i)
        dump(root, key + "\\" + name, out);
    RegCloseKey(k);
}

// Written out by hand, not from the tables the installer writes from.
const char kUninstallEntry[] =
    R"([HKLM\SoftWare\Microsoft\Windows\CurrentVersion\Uninstall\Vopa]
DisplayIcon=C:\Program Files\Vopa\Vopa.exe,0
DisplayName=Vopa
EstimatedSize=dword:)";
const char kUninstallAndExtension[] = R"(
InstallLocation=C:\Program Files\Vopa
NoModify=dword:1
NoRepair=dword:1
UninstallString="C:\Program Files\Vopa\Vopa.exe" /u
[HKCR\CLSID\{8E4B2D17-93A6-4F5C-B1E0-6C2A9D47F3B5}]
@=VopaDll
InstallDir=C:\Program Files\Vopa
[HKCR\CLSID\{8E4B2D17-93A6-4F5C-B1E0-6C2A9D47F3B5}\InprocServer32]
@=C:\Program Files\Vopa\VopaDll.dll
ThreadingModel=Apartment
[HKCR\*\shellex\ContextMenuHandlers\VopaDll]
@={8E4B2D17-93A6-4F5C-B1E0-6C2A9D47F3B5}
[HKCR\Folder\shellex\ContextMenuHandlers\VopaDll]
@={8E4B2D17-93A6-4F5C-B1E0-6C2A9D47F3B5}
)";
const char kDragDropHandlers[] = R"([HKCR\Folder\shellex\DragDropHandlers\VopaDll]
@={8E4B2D17-93A6-4F5C-B1E0-6C2A9D47F3B5}
[HKCR\Drive\shellex\DragDropHandlers\VopaDll]
@={8E4B2D17-93A6-4F5C-B1E0-6C2A9D47F3B5}
)";

std::string expectedClass(const std::string& ext, const std::string& kind, int icon) {
    const std::string cls = "VopaArchive" + kind, k = "[HKCR\\" + cls,
                      exe = "@=\"C:\\Program Files\\Vopa\\Vopa.exe\" /";
    return "[HKCR\\" + ext + "]\n@=" + cls + "\n" + k + "]\n@=Archive file\n" + k +
           "\\DefaultIcon]\n@=C:\\Program Files\\Vopa\\VopaResource.dll," + std::to_string(icon) +
           "\n" + k + "\\Shell]\n@=Open\n" + k + "\\Shell\\Open]\n@=Vopaで解凍(&E)\n" + k +
           "\\Shell\\Open\\command]\n" + exe + "e \"%1\"\n" + k +
           "\\Shell\\View]\n@=Vopaで閲覧(&V)\n" + k + "\\Shell\\View\\command]\n" + exe +
           "v \"%1\"\n";
}

}  // namespace

std::string readText(HKEY root, const std::string& key, const char* name) {
    char data[2048] = {};
    DWORD type = 0, size = sizeof data - 1;
    if (RegGetValueA(root, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) !=
        ERROR_SUCCESS)
        return "<none>";
    if (type == REG_DWORD) return "dword:" + std::to_string(*reinterpret_cast<DWORD*>(data));
    if (type != REG_SZ && type != REG_EXPAND_SZ) return "(type " + std::to_string(type) + ")";
    return std::string(data) + (type == REG_EXPAND_SZ ? " (expand)" : "");
}

std::vector<std::pair<HKEY, std::string>> ourKeys() {
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

std::string dumpOurKeys() {
    std::string text;
    for (const auto& [root, key] : ourKeys()) dump(root, key, text);
    return text;
}

std::string fullInstallListing(bool dragDrop, unsigned installedKb) {
    std::string listing = kUninstallEntry + std::to_string(installedKb) + kUninstallAndExtension +
                          (dragDrop ? kDragDropHandlers : "");
    const char* rows[][2] = {{".lzh", ""},    {".zip", "Zip"}, {".cab", "Cab"}, {".tgz", "Tgz"},
                             {".tar", "Tar"}, {".gz", "Gzip"}, {".tbz", "Tbz"}, {".bz2", "Bz2"},
                             {".rar", "Rar"}, {".7z", "7zip"}};
    const int icons[] = {0, 1, 2, 3, 4, 3, 3, 3, 5, 6};
    for (int i = 0; i < 10; ++i) listing += expectedClass(rows[i][0], rows[i][1], icons[i]);
    return listing;
}

std::string folderPath(int csidl) {
    char path[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, path, csidl, TRUE);
    return path;
}

std::string readLink(const std::string& path) {
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    const std::wstring wide(path.begin(), path.end());  // the folders' paths are ASCII here
    char target[MAX_PATH] = {}, folder[MAX_PATH] = {}, icon[MAX_PATH] = {};
    int index = 0;
    std::string text;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(wide.c_str(), STGM_READ)) &&
        SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, 0)) &&
        SUCCEEDED(link->GetWorkingDirectory(folder, MAX_PATH)) &&
        SUCCEEDED(link->GetIconLocation(icon, MAX_PATH, &index)))
        text = std::string(target) + "|" + folder + "|" + icon + "," + std::to_string(index);
    if (file) file->Release();
    if (link) link->Release();
    return text;
}
