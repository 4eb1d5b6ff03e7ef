#include "extract/entry_output.h"

#include <shlobj.h>
#include <sys/stat.h>
#include <sys/utime.h>
#include <windows.h>

#include <cstring>

#include "app/installer_state.h"
#include "decode/crc16.h"
#include "decode/lha_format.h"
#include "extract/entry_header.h"
#include "extract/entry_path.h"
#include "extract/member_data.h"
#include "extract/progress.h"

namespace {

// Sizes the worker repositions by and the copy counts as signed 32-bit numbers.
constexpr std::uint32_t kLargestMember = 0x7FFFFFFF;

constexpr const char kCannotCreate[] = "ファイル %s を作成できません。";
constexpr const char kDamaged[] = "ファイル %s が壊れています。";
constexpr const char kCannotWrite[] =
    "ファイル %s を書き込めません。ディスクの空きを確認してください。";
constexpr const char kTooLarge[] = "ファイル %s は大きすぎるため展開できません。";
constexpr const char kNoMemory[] = "ファイル %s を展開するメモリが足りません。";
constexpr const char kDeviceName[] = "ファイル名 %s は使用できません。";
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
        createParentFolders(state, path);
        return true;
    }
    if ((out = std::fopen(path, "wb"))) return true;
    createParentFolders(state, path);
    if ((out = std::fopen(path, "wb"))) return true;
    if (isShellExtensionDll(path)) {
        MessageBoxA(state.mainWindow, kDllInUse, state.title.text(), MB_ICONERROR | MB_OK);
        RegDeleteKeyA(HKEY_CLASSES_ROOT, kFileContextMenuKey);
    } else {
        showPathMessage(state, kCannotCreate, path);
    }
    return false;
}

// Destination + "\" + path: the form the shell and Windows' own limit see.
bool fullOutputPath(InstallerState& state, const char* path, char (&full)[kPathCapacity]) {
    if (!joinPath(full, state.destinationFolder.text(), path)) return false;
    replaceCharacters(full, LeadBytes::system, "/", '\\');
    return true;
}

}  // namespace

void deleteUnfinishedMember(InstallerState& state) {
    if (!state.currentOutputPath.empty() && !state.currentOutputComplete)
        DeleteFileA(state.currentOutputPath.text());
}

void showPathMessage(InstallerState& state, const char* format, const char* path) {
    char text[kPathCapacity + 256];  // the longest path plus the message's own words
    std::snprintf(text, sizeof text, format, path);
    MessageBoxA(state.mainWindow, text, nullptr, MB_ICONWARNING | MB_OK);
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
    char path[kPathCapacity];
    std::memcpy(path, h.name, sizeof path);
    sanitizeEntryPath(path, '/');
    state.methodIndex = findMethod(h.method);
    if (state.methodIndex < 0) return true;  // a method we do not know: skipped silently
    // Some archivers store folders as empty stored members named "dir/".
    std::size_t length = std::strlen(path);
    if (h.originalSize == 0 && length && path[length - 1] == '/') state.methodIndex = kFolderMethod;
    const bool folder = state.methodIndex == kFolderMethod;

    if (h.nameTooLong) {
        showPathMessage(state, kCannotCreate, path);
        return false;
    }
    switch (checkEntryPath(path)) {
        case PathVerdict::inside: break;
        case PathVerdict::empty:
            if (folder) return true;  // the destination itself
            showPathMessage(state, kCannotCreate, h.name);
            return false;
        case PathVerdict::deviceName: showPathMessage(state, kDeviceName, path); return false;
        case PathVerdict::escapes: showPathMessage(state, kCannotCreate, h.name); return false;
    }
    char full[kPathCapacity];
    if (!fullOutputPath(state, path, full)) {
        showPathMessage(state, kCannotCreate, path);
        return false;
    }
    if (!folder && (h.originalSize > kLargestMember || h.packedSize > kLargestMember)) {
        showPathMessage(state, kTooLarge, path);
        return false;
    }

    DeleteFileA(path);
    std::FILE* out;
    if (!openOutputFile(state, path, out)) return false;
    if (!out) return true;

    state.currentOutputPath.assign(path);
    state.currentOutputComplete = false;
    DecodeResult result = extractMemberData(state.archiveStream, out, h, state.methodIndex);
    bool closed = std::fclose(out) == 0;
    if (!shouldContinue() || result == DecodeResult::aborted) {
        DeleteFileA(path);
        return false;
    }
    if (result == DecodeResult::writeFailed || !closed) {
        // A short file could still match its CRC: never leave it behind.
        DeleteFileA(path);
        showPathMessage(state, kCannotWrite, path);
        return false;
    }
    if (result == DecodeResult::outOfMemory) {
        DeleteFileA(path);
        showPathMessage(state, kNoMemory, path);
        return false;
    }
    if (result == DecodeResult::damaged || (h.hasCrc && runningCrc != h.crc)) {
        showPathMessage(state, kDamaged, path);  // the damaged file stays, for inspection
        return false;
    }
    _utimbuf times{static_cast<time_t>(h.modifiedTime), static_cast<time_t>(h.modifiedTime)};
    _utime(path, &times);
    state.currentOutputComplete = true;
    notifyShell(state, ShellChange::fileCreated, path);
    return true;
}
