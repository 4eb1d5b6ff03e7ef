#include "extract/installer/extraction_worker.h"

#include <process.h>
#include <windows.h>

#include <cstring>

#include "app/installer/installer_state.h"
#include "app/installer/text_format.h"
#include "app/installer/user_messages.h"
#include "app/installer/user_texts.h"
#include "decode/crc16.h"
#include "decode/lha_format.h"
#include "extract/lha/archive_check.h"
#include "extract/lha/entry_header.h"
#include "extract/installer/entry_output.h"
#include "extract/lha/progress.h"
#include "extract/installer/staging.h"
#include "platform/system.h"
#include "shell/association_table.h"

namespace {

constexpr DWORD kCheckShownEvery = 50;  // ms between names shown while checking

// The message for what the check found, with the member (and another) it concerns.
void tellProblem(InstallerState& state, const ArchiveSummary& check) {
    const char* member = check.member.c_str();
    switch (check.problem) {
        case ArchiveProblem::none:
        case ArchiveProblem::refused:  // its message is out already
        case ArchiveProblem::aborted: return;
        case ArchiveProblem::unknownHeader:
            tellUser(state, kUnknownHeader, kDefaultTitle, MessageKind::error);
            return;
        case ArchiveProblem::damagedHeader:
            tellUser(state, kDamagedArchive, state.title.text(), MessageKind::error);
            return;
        case ArchiveProblem::damagedMember:
            tellUserAbout(state, kDamagedFile, member);
            return;
        case ArchiveProblem::unknownMethod:
            tellUserAbout(state, kUnknownMethod, member);
            return;
        case ArchiveProblem::tooLarge:
            tellUserAbout(state, kTooLarge, member);
            return;
        case ArchiveProblem::nameTooLong: tellUserAbout(state, kPathTooLong, member); return;
        case ArchiveProblem::escapes: tellUserAbout(state, kCannotCreate, member); return;
        case ArchiveProblem::unusableName:
            tellUserAbout(state, kUnusableName, member);
            return;
        case ArchiveProblem::sameName:
            tellUserAbout(state, kSameName, check.other.c_str(), member);
            return;
    }
}

bool refuseFolder(InstallerState& state) {
    tellUser(state, kCannotCreateFolder);
    return false;
}

// The payload against its record, the bar moving: a download cut short, or changed
// anywhere, is refused before a member is read.
bool payloadIsWhole(InstallerState& state) {
    const PayloadRecord& record = state.payload;
    if (record.length == 0) return true;  // nothing to check against
    std::FILE* f = state.archiveStream;
    const std::uint64_t back = tellStream(f);
    totalOriginalSize = record.length;
    doneOriginalSize = lastProgressPosition = 0;
    if (progressSink) progressSink(0);
    const bool whole = payloadMatches(f, state.image.imageEnd, record,
                                      state.image.certificateOffset, [](std::size_t n) {
                                          doneOriginalSize += n;
                                          reportProgress(0);
                                          return shouldContinue();
                                      });
    seekStream(f, back);
    return whole && shouldContinue();
}

// Bytes a file of `size` takes on the destination's volume: whole clusters.
std::uint64_t onDisk(std::uint64_t size, std::uint64_t cluster) {
    return (size + cluster - 1) / cluster * cluster;
}

std::uint64_t clusterSize(const char* destination) {
    char volume[kPathCapacity];
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters, clusters;
    if (GetVolumePathNameA(destination, volume, sizeof volume) &&
        GetDiskFreeSpaceA(volume, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters) &&
        sectorsPerCluster && bytesPerSector)
        return std::uint64_t{sectorsPerCluster} * bytesPerSector;
    return 4096;
}

// Reads every header without decoding: names, methods, declared sizes, what lies at
// each member's place now (links, a folder where a file goes) and the room the volume
// has for every new file while the old ones are still there. Plans the commit. False,
// after the message, when the installation must not start.
bool checkBeforeWriting(InstallerState& state, Staging& staging) {
    const char* destination = state.destinationFolder.text();
    startStaging(staging, destination);
    const std::uint64_t cluster = clusterSize(destination);
    std::uint64_t needed = cluster;  // the journal
    CheckOptions options;
    options.timezoneSeconds = localTimezoneOffset();
    DWORD shownAt = 0;
    options.onMember = [&](const EntryHeader& h, const MemberTarget& target) {
        // The check runs through names faster than anyone reads them: one now and then.
        const DWORD now = GetTickCount();
        if (!shownAt || now - shownAt >= kCheckShownEvery) {
            shownAt = now | 1;
            SendMessageA(state.mainWindow, UM_CHECK_ENTRY, 0,
                         reinterpret_cast<LPARAM>(target.path));
        }
        if (!shouldContinue()) return false;
        char full[kPathCapacity];
        if (!fullOutputPath(state, target.path, full)) {
            tellUserAbout(state, kPathTooLong, target.path);
            return false;
        }
        std::string where;
        const std::size_t folders = staging.newFolders.size();
        switch (placeMember(staging, destination, target, where)) {
            case PlaceProblem::none: break;
            case PlaceProblem::link: tellUserAbout(state, kLinkInPath, where.c_str()); return false;
            case PlaceProblem::occupied:
                tellUserAbout(state, kCannotCreate, where.c_str());
                return false;
        }
        needed += (staging.newFolders.size() - folders) * cluster;
        if (!target.folder) needed += onDisk(h.fullOriginalSize, cluster);
        return true;
    };
    const ArchiveSummary check = checkArchive(state.archiveStream, options);
    if (check.problem != ArchiveProblem::none) {
        tellProblem(state, check);
        return false;
    }
    // An archive of nothing installs nothing, and must not register as installed; with a
    // record, the archive ends where the payload does (a 0 byte where a header should
    // begin ends it early).
    if (check.members == 0 ||
        (state.payload.length && check.end != state.image.imageEnd + state.payload.length)) {
        tellUser(state, kDamagedArchive, state.title.text(), MessageKind::error);
        return false;
    }
    ULARGE_INTEGER available;
    if (GetDiskFreeSpaceExA(destination, &available, nullptr, nullptr) &&
        available.QuadPart < needed) {
        char megabytes[32];
        formatText(megabytes, sizeof megabytes, "%I64u",
                   static_cast<unsigned long long>((needed + 1048575) >> 20));
        tellUserAbout(state, kDiskFull, megabytes);
        return false;
    }
    return true;
}

// Every member decoded once into the staging folder, its CRC checked as it is written.
bool stageMembers(InstallerState& state, Staging& staging) {
    const char* destination = state.destinationFolder.text();
    if (!makeStagingFolder(destination, staging.members.size())) return refuseFolder(state);
    std::FILE* archive = state.archiveStream;
    const std::uint64_t archiveStart = tellStream(archive);
    const long timezone = localTimezoneOffset();
    EntryHeader header;
    HeaderRead read;
    std::size_t k = 0;
    while (k < staging.members.size() &&
           (read = readEntryHeader(archive, header, timezone)) == HeaderRead::member) {
        const std::uint64_t dataStart = tellStream(archive);
        const int method = findMethod(header.method);
        MemberTarget target;
        memberTarget(header, method, target);
        SendMessageA(state.mainWindow, UM_SHOW_ENTRY, 0, reinterpret_cast<LPARAM>(target.path));
        if (!target.folder && !stageMember(state, header, method,
                                           stagedFilePath(destination, k).c_str(), target.path))
            return false;
        if (!seekStream(archive, dataStart + header.fullPackedSize)) break;
        ++k;
        doneOriginalSize += header.originalSize;
    }
    // The installer file was cut or changed since its check: members are missing, or
    // unchecked ones follow. Neither is a finished installation.
    const bool whole =
        k == staging.members.size() && readEntryHeader(archive, header, timezone) == HeaderRead::end;
    seekStream(archive, archiveStart);
    if (!whole && shouldContinue()) {
        tellUser(state, kDamagedArchive, state.title.text(), MessageKind::error);
        return false;
    }
    return whole;
}

// The renames that make the staged installation the destination's. The main window
// locks its abort button and close box first: nothing stops a commit half done.
bool commit(InstallerState& state, Staging& staging) {
    SendMessageA(state.mainWindow, UM_COMMIT, 0, 0);
    if (!shouldContinue()) return false;  // pressed just before
    CommitFailure failure;
    if (commitStaging(staging, state.destinationFolder.text(), failure)) return true;
    const char* path = failure.path.c_str();
    if (failure.inUse && isShellExtensionDll(path)) {
        // A shell holds it: the remedy the message announces stays.
        tellUser(state, kDllInUse, state.title.text(), MessageKind::error);
        RegDeleteKeyA(HKEY_CLASSES_ROOT, kFileContextMenuKey);
    } else if (failure.inUse) {
        tellUserAbout(state, kInUse, path);
    } else if (failure.folder || failure.path.empty()) {
        refuseFolder(state);
    } else {
        tellUserAbout(state, kCannotCreate, path);
    }
    return false;
}

// The shell hears of what the commit made, at the paths it now has.
void notifyCommitted(InstallerState& state, const Staging& staging) {
    char full[kPathCapacity];
    for (const std::string& folder : staging.newFolders)
        if (fullOutputPath(state, folder.c_str(), full))
            notifyShell(ShellChange::folderCreated, full);
    // A word per folder that got files, not per file: a shell reads the folder again,
    // and thousands of files do not cost thousands of notices.
    for (const std::string& folder : staging.filledFolders)
        if (fullOutputPath(state, folder.c_str(), full))
            notifyShell(ShellChange::filesCreated, full);
}

// The folder of `path` (a full path), double-byte aware: "C:\\" for "C:\\x"; false for a
// root.
bool parentOf(const char* path, char (&parent)[kPathCapacity]) {
    const char* cut = nullptr;
    forEachCharacter(path, LeadBytes::system, [&](const char* p, std::size_t n) {
        if (n == 1 && *p == '\\' && p[1]) cut = p;
        return true;
    });
    if (!cut || cut == path) return false;
    const std::size_t length = static_cast<std::size_t>(cut - path) + (cut[-1] == ':');
    if (length >= sizeof parent) return false;
    std::memcpy(parent, path, length);
    parent[length] = '\0';
    return true;
}

// An installation that did not complete leaves no folder of its own making: the
// destination and the parents this run made for it go, deepest first.
void removeMadeDestination(InstallerState& state) {
    if (state.madeFolder.empty()) return;
    char folder[kPathCapacity], parent[kPathCapacity];
    if (!copyText(folder, sizeof folder, state.destinationFolder.text())) return;
    // A process's current folder cannot be removed.
    if (parentOf(state.madeFolder.text(), parent)) SetCurrentDirectoryA(parent);
    for (;;) {
        if (!RemoveDirectoryA(folder)) return;
        notifyShell(ShellChange::folderRemoved, folder);
        if (_stricmp(folder, state.madeFolder.text()) == 0 || !parentOf(folder, parent)) return;
        std::strcpy(folder, parent);
    }
}

// The thread's work: the archive checked, staged and committed (staging.h); posts
// UM_DONE or UM_ABORTED as its last act, after any rollback.
void extractionWorker(InstallerState& state) {
    initCrcTable();
    const char* destination = state.destinationFolder.text();
    recoverInterruptedCommit(destination);
    // The bar runs twice: the payload read whole (when recorded), then the members written.
    const bool whole = payloadIsWhole(state);
    if (!whole && shouldContinue())
        tellUser(state, kDamagedArchive, state.title.text(), MessageKind::error);
    totalOriginalSize = archiveSummary(state).totalOriginalSize;
    doneOriginalSize = lastProgressPosition = 0;
    if (whole && progressSink) progressSink(0);

    Staging staging;
    const bool checked = whole && checkBeforeWriting(state, staging);
    const bool committed = checked && stageMembers(state, staging) && commit(state, staging);
    if (committed) {
        finishCommit(staging, destination);
        state.restartNeeded = staging.restartNeeded;
        notifyCommitted(state, staging);
    } else {
        if (checked) removeStaging(destination);
        removeMadeDestination(state);
        state.failed = shouldContinue();
    }
    // Only after the rollback: the window then has nothing left to undo.
    PostMessageA(state.mainWindow, committed || shouldContinue() ? UM_DONE : UM_ABORTED, 0, 0);
}

void __cdecl workerEntry(void* state) { extractionWorker(*static_cast<InstallerState*>(state)); }

}  // namespace

bool prepareDestination(InstallerState& state, const char* folder) {
    // The full path as Windows will use it ("Tools", "E:Tools", "..", and names that end
    // in dots or spaces resolved): the registry and shortcuts must get the same.
    char full[kPathCapacity];
    DWORD n = GetFullPathNameA(folder, sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full) return refuseFolder(state);
    // The destination must hold the archive's longest member path as well.
    if (archiveSummary(state).longestName > roomAfterDestination(std::strlen(full)))
        return refuseFolder(state);
    // `folder` may be destinationFolder's own text: use `full` from here on.
    state.destinationFolder.assign(full);
    if (SetCurrentDirectoryA(full)) return true;

    // The topmost folder this run makes: removed again if the installation stops.
    char made[kPathCapacity], parent[kPathCapacity];
    std::strcpy(made, full);
    while (parentOf(made, parent) && GetFileAttributesA(parent) == INVALID_FILE_ATTRIBUTES)
        std::strcpy(made, parent);
    char slashed[kPathCapacity + 1];  // the folder plus the "\" appended below
    std::strcpy(slashed, full);
    appendBackslash(slashed, sizeof slashed);
    replaceSeparators(slashed, '/');
    if (!createParentFolders(state, slashed)) return refuseFolder(state);
    if (state.madeFolder.empty()) state.madeFolder.assign(made);
    SetCurrentDirectoryA(full);
    return true;
}

bool startExtraction(InstallerState& state) {
    if (!prepareDestination(state, state.destinationFolder.text())) return false;
    return _beginthread(workerEntry, 0, &state) != static_cast<uintptr_t>(-1);
}

