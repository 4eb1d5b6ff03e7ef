#include "extract/entry_output.h"

#include <shlobj.h>
#include <sys/stat.h>
#include <sys/utime.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "app/installer_state.h"
#include "app/user_messages.h"
#include "decode/crc16.h"
#include "decode/lha_format.h"
#include "extract/entry_header.h"
#include "extract/entry_path.h"
#include "extract/member_data.h"
#include "extract/progress.h"

namespace {

constexpr const char kCannotCreate[] = "ファイル %s を作成できません。";
constexpr const char kDamaged[] = "ファイル %s が壊れています。";
constexpr const char kCannotWrite[] =
    "ファイル %s を書き込めません。ディスクの空きを確認してください。";
constexpr const char kNoMemory[] = "ファイル %s を展開するメモリが足りません。";
constexpr const char kDllInUse[] =
    "VopaDll.dll が使用中です。\n再起動後にインストールを行ってください。";

bool isShellExtensionDll(const char* path) {
    char base[_MAX_FNAME];
    _splitpath(path, nullptr, nullptr, base, nullptr);
    return std::strcmp(base, "VopaDll") == 0;
}

// Opens for writing; a folder member (no stream) creates its folder instead.
bool openOutputFile(InstallerState& state, const char* path, std::FILE*& out) {
    out = nullptr;
    if (state.methodIndex == kFolderMethod) {
        // With a final "/" the folder itself is made; a file in its place fails it.
        std::string folder(path);
        if (folder.back() != '/') folder += '/';
        if (createParentFolders(state, folder.c_str())) return true;
        tellUserAbout(state, kCannotCreate, path);
        return false;
    }
    if ((out = std::fopen(path, "wb"))) return true;
    createParentFolders(state, path);
    if ((out = std::fopen(path, "wb"))) return true;
    if (isShellExtensionDll(path)) {
        tellUser(state, kDllInUse, state.title.text(), MessageKind::error);
        RegDeleteKeyA(HKEY_CLASSES_ROOT, kFileContextMenuKey);
    } else {
        tellUserAbout(state, kCannotCreate, path);
    }
    return false;
}

}  // namespace

bool fullOutputPath(InstallerState& state, const char* path, char (&full)[kPathCapacity]) {
    if (!joinPath(full, state.destinationFolder.text(), path)) return false;
    replaceCharacters(full, LeadBytes::system, "/", '\\');
    return true;
}

void deleteUnfinishedMember(InstallerState& state) {
    if (!state.currentOutputPath.empty() && !state.currentOutputComplete)
        DeleteFileA(state.currentOutputPath.text());
}

bool linkOnPath(InstallerState& state, const char* path, std::string& link) {
    // Each folder of the path below the destination, then the member itself.
    for (const char* p = path;; ++p) {
        if (*p != '/' && *p != '\0') continue;
        if (p == path) continue;
        std::string prefix(path, static_cast<std::size_t>(p - path));
        char full[kPathCapacity];
        if (fullOutputPath(state, prefix.c_str(), full)) {
            DWORD attributes = GetFileAttributesA(full);
            if (attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                link = prefix;
                return true;
            }
        }
        if (*p == '\0' || p[1] == '\0') return false;
    }
}

void notifyShell(InstallerState& state, ShellChange change, const char* path) {
    if (change == ShellChange::folderCreated) {
        SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHA, path, nullptr);
        return;
    }
    char full[kPathCapacity];
    if (fullOutputPath(state, path, full)) SHChangeNotify(SHCNE_CREATE, SHCNF_PATHA, full, nullptr);
}

bool createParentFolders(InstallerState& state, const char* path) {
    char folder[1024];
    if (!copyText(folder, sizeof folder, path)) return false;
    char* cut = std::strrchr(folder, '/');
    if (!cut || cut == folder) return false;
    *cut = '\0';
    struct _stat info;
    if (_stat(folder, &info) == 0) return (info.st_mode & _S_IFDIR) != 0;
    if (CreateDirectoryA(folder, nullptr)) {
        notifyShell(state, ShellChange::folderCreated, folder);
        return true;
    }
    return createParentFolders(state, folder) && CreateDirectoryA(folder, nullptr);
}

bool writeEntry(InstallerState& state, const EntryHeader& h) {
    // The archive passed its check: methods, sizes and names are known to be good.
    char path[kPathCapacity];
    std::memcpy(path, h.name, sizeof path);
    sanitizeEntryPath(path, '/');
    state.methodIndex = findMethod(h.method);
    // Some archivers store folders as empty stored members named "dir/".
    std::size_t length = std::strlen(path);
    if (h.originalSize == 0 && length && path[length - 1] == '/') state.methodIndex = kFolderMethod;
    if (length == 0) return true;  // the destination itself
    // A link planted since the check is refused all the same.
    std::string link;
    if (linkOnPath(state, path, link)) {
        tellUserAbout(state, kLinkInPath, link.c_str());
        return false;
    }

    DeleteFileA(path);
    std::FILE* out;
    if (!openOutputFile(state, path, out)) return false;
    if (!out) return true;

    state.currentOutputPath.assign(path);
    state.currentOutputComplete = false;
    DecodeResult result = extractMemberData(state.archiveStream, out, h, state.methodIndex);
    // A full disk may show only in the last flush, and some runtimes' fclose (Wine's)
    // does not report a flush that failed.
    bool closed = std::fflush(out) == 0;
    closed = std::fclose(out) == 0 && closed;
    if (!shouldContinue() || result == DecodeResult::aborted) {
        DeleteFileA(path);
        return false;
    }
    if (result == DecodeResult::writeFailed || !closed) {
        // A short file could still match its CRC: never leave it behind.
        DeleteFileA(path);
        tellUserAbout(state, kCannotWrite, path);
        return false;
    }
    if (result == DecodeResult::outOfMemory) {
        DeleteFileA(path);
        tellUserAbout(state, kNoMemory, path);
        return false;
    }
    if (result == DecodeResult::damaged || (h.hasCrc && runningCrc != h.crc)) {
        tellUserAbout(state, kDamaged, path);  // the damaged file stays, for inspection
        return false;
    }
    _utimbuf times{static_cast<time_t>(h.modifiedTime), static_cast<time_t>(h.modifiedTime)};
    _utime(path, &times);
    state.currentOutputComplete = true;
    notifyShell(state, ShellChange::fileCreated, path);
    return true;
}
