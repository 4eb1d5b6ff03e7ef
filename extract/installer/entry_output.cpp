#include "extract/installer/entry_output.h"

#include <shlobj.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstring>

#include "app/installer/installer_state.h"
#include "app/installer/user_messages.h"
#include "app/installer/user_texts.h"
#include "decode/crc16.h"
#include "extract/lha/entry_header.h"
#include "extract/lha/member_data.h"
#include "extract/lha/progress.h"

namespace {

// FILETIME counts 100 ns from 1601: 11,644,473,600 s before 1970.
constexpr ULONGLONG kUnixEpochInFileTime = 11644473600ull, kFileTimeTicksPerSecond = 10000000;

}  // namespace

bool isShellExtensionDll(const char* name) {
    char base[_MAX_FNAME];
    _splitpath(name, nullptr, nullptr, base, nullptr);
    return std::strcmp(base, "VopaDll") == 0;
}

bool fullOutputPath(InstallerState& state, const char* path, char (&full)[kPathCapacity]) {
    if (!joinPath(full, state.destinationFolder.text(), path)) return false;
    replaceCharacters(full, LeadBytes::system, "/", '\\');
    return true;
}

void notifyShell(ShellChange change, const char* path) {
    const LONG event = change == ShellChange::folderCreated   ? SHCNE_MKDIR
                       : change == ShellChange::folderRemoved ? SHCNE_RMDIR
                                                              : SHCNE_UPDATEDIR;
    SHChangeNotify(event, SHCNF_PATHA, path, nullptr);
}

bool createParentFolders(InstallerState& state, const char* path) {
    char folder[kPathCapacity + 1];
    if (!copyText(folder, sizeof folder, path)) return false;
    char* cut = std::strrchr(folder, '/');
    if (!cut || cut == folder) return false;
    *cut = '\0';
    struct _stat info;
    if (_stat(folder, &info) == 0) return (info.st_mode & _S_IFDIR) != 0;
    if (CreateDirectoryA(folder, nullptr)) {
        char full[kPathCapacity];
        if (GetFullPathNameA(folder, sizeof full, full, nullptr) < sizeof full)
            notifyShell(ShellChange::folderCreated, full);
        return true;
    }
    return createParentFolders(state, folder) && CreateDirectoryA(folder, nullptr);
}

bool stageMember(InstallerState& state, const EntryHeader& h, int methodIndex,
                 const char* stagedPath, const char* shownPath) {
    std::FILE* out = std::fopen(stagedPath, "wb");
    if (!out) {
        tellUserAbout(state, kCannotCreate, shownPath);
        return false;
    }
    const DecodeResult result = extractMemberData(state.archiveStream, out, h, methodIndex);
    // A full disk may show only in the last flush, and some runtimes' fclose (Wine's)
    // does not report a flush that failed.
    bool closed = std::fflush(out) == 0;
    // The member's time, set on the open file: opening it again costs as much again.
    const ULONGLONG ticks =
        (static_cast<ULONGLONG>(h.modifiedTime) + kUnixEpochInFileTime) * kFileTimeTicksPerSecond;
    const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SetFileTime(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(out))), nullptr, &time, &time);
    closed = std::fclose(out) == 0 && closed;
    if (!shouldContinue() || result == DecodeResult::aborted) return false;
    const char* problem = result == DecodeResult::writeFailed || !closed ? kCannotWrite
                          : result == DecodeResult::outOfMemory          ? kNoMemoryFor
                          : result == DecodeResult::damaged || (h.hasCrc && runningCrc != h.crc)
                              ? kDamagedFile
                              : nullptr;
    if (problem) {
        tellUserAbout(state, problem, shownPath);
        return false;
    }
    return true;
}
