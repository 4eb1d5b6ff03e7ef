#include "extract/extraction_worker.h"

#include <process.h>
#include <windows.h>

#include <cstring>

#include "app/installer_state.h"
#include "decode/crc16.h"
#include "extract/archive_walk.h"
#include "extract/entry_header.h"
#include "extract/entry_output.h"
#include "extract/progress.h"
#include "platform/system.h"

namespace {

constexpr const char kCannotCreateFolder[] = "フォルダを作成できません";
constexpr const char kArchiveDamaged[] = "書庫が壊れているため、インストールを中止しました。";

bool isFullyQualified(const char* path) {
    return (path[0] && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
           ((path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/'));
}

bool refuseFolder(InstallerState& state) {
    MessageBoxA(state.mainWindow, kCannotCreateFolder, nullptr, MB_ICONWARNING | MB_OK);
    return false;
}

void __cdecl workerEntry(void* state) { extractionWorker(*static_cast<InstallerState*>(state)); }

}  // namespace

bool prepareDestination(InstallerState& state, const char* folder) {
    char full[kPathCapacity];
    if (isFullyQualified(folder)) {
        if (!copyText(full, sizeof full, folder)) return refuseFolder(state);
    } else {
        // "Tools" or "E:Tools": the registry and shortcuts must get a full path.
        DWORD n = GetFullPathNameA(folder, sizeof full, full, nullptr);
        if (n == 0 || n >= sizeof full) return refuseFolder(state);
    }
    // The destination must hold the archive's longest member path as well.
    if (std::strlen(full) + 1 + archiveSummary(state).longestName >= kPathCapacity)
        return refuseFolder(state);
    // `folder` may be destinationFolder's own text: use `full` from here on.
    if (!isFullyQualified(folder)) state.destinationFolder.assign(full);
    if (SetCurrentDirectoryA(full)) return true;

    char slashed[kPathCapacity + 1];  // the folder plus the "\" appended below
    std::strcpy(slashed, full);
    appendBackslash(slashed, sizeof slashed);
    replaceSeparators(slashed, '/');
    if (!createParentFolders(state, slashed)) return refuseFolder(state);
    SetCurrentDirectoryA(full);
    return true;
}

bool startExtraction(InstallerState& state) {
    if (!prepareDestination(state, state.destinationFolder.text())) return false;
    return _beginthread(workerEntry, 0, &state) != static_cast<uintptr_t>(-1);
}

void extractionWorker(InstallerState& state) {
    const long timezone = localTimezoneOffset();
    std::FILE* archive = state.archiveStream;
    initCrcTable();
    totalOriginalSize = archiveSummary(state).totalOriginalSize;
    std::uint64_t archiveEnd;
    {
        std::uint64_t here = tellStream(archive);
        std::fseek(archive, 0, SEEK_END);
        archiveEnd = tellStream(archive);
        seekStream(archive, here);
    }

    EntryHeader header;
    for (;;) {
        HeaderRead r = readEntryHeader(archive, header, timezone);
        if (r == HeaderRead::end) break;
        if (r == HeaderRead::unknown) {
            MessageBoxA(state.mainWindow, "Unknown header", kDefaultTitle, MB_ICONERROR | MB_OK);
            state.failed = true;
            break;
        }
        if (r == HeaderRead::truncated) {
            MessageBoxA(state.mainWindow, kArchiveDamaged, state.title.text(),
                        MB_ICONERROR | MB_OK);
            state.failed = true;
            break;
        }
        std::uint64_t dataStart = tellStream(archive);
        SendMessageA(state.mainWindow, UM_SHOW_ENTRY, 0, reinterpret_cast<LPARAM>(header.name));
        if (dataStart + header.packedSize > archiveEnd) {
            // The member's data runs past the end of the file.
            showPathMessage(state, "ファイル %s が壊れています。", header.name);
            state.failed = true;
            break;
        }
        if (!writeEntry(state, header)) {
            state.failed = true;
            break;
        }
        if (!seekStream(archive, dataStart + header.packedSize)) {
            state.failed = true;
            break;
        }
        doneOriginalSize += header.originalSize;
    }
    PostMessageA(state.mainWindow, shouldContinue() ? UM_DONE : UM_ABORTED, 0, 0);
}
