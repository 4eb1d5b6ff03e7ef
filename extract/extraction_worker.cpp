#include "extract/extraction_worker.h"

#include <process.h>
#include <windows.h>

#include <cstring>

#include "app/installer_state.h"
#include "app/user_messages.h"
#include "decode/crc16.h"
#include "extract/archive_check.h"
#include "extract/entry_header.h"
#include "extract/entry_output.h"
#include "extract/progress.h"
#include "platform/system.h"

namespace {

constexpr const char kCannotCreateFolder[] = "フォルダを作成できません";
constexpr const char kPathTooLong[] = "ファイル名 %s が長すぎるため展開できません。";
constexpr const char kDamagedArchive[] = "書庫が壊れているため、インストールを中止しました。";

// The message for what the check found, with the member (and another) it concerns.
void tellProblem(InstallerState& state, const ArchiveSummary& check) {
    const char* member = check.member.c_str();
    switch (check.problem) {
        case ArchiveProblem::none:
        case ArchiveProblem::refused:  // its message is out already
        case ArchiveProblem::aborted: return;
        case ArchiveProblem::unknownHeader:
            tellUser(state, "Unknown header", kDefaultTitle, MessageKind::error);
            return;
        case ArchiveProblem::damagedHeader:
            tellUser(state, kDamagedArchive, state.title.text(), MessageKind::error);
            return;
        case ArchiveProblem::damagedMember:
            tellUserAbout(state, "ファイル %s が壊れています。", member);
            return;
        case ArchiveProblem::unknownMethod:
            tellUserAbout(state, "ファイル %s は展開できない形式で圧縮されています。", member);
            return;
        case ArchiveProblem::tooLarge:
            tellUserAbout(state, "ファイル %s は大きすぎるため展開できません。", member);
            return;
        case ArchiveProblem::nameTooLong: tellUserAbout(state, kPathTooLong, member); return;
        case ArchiveProblem::escapes:
            tellUserAbout(state, "ファイル %s を作成できません。", member);
            return;
        case ArchiveProblem::unusableName:
            tellUserAbout(state, "ファイル名 %s は使用できません。", member);
            return;
        case ArchiveProblem::sameName:
            tellUserAbout(state, "ファイル %s と %s は同じ名前になるため展開できません。",
                          check.other.c_str(), member);
            return;
    }
}

bool refuseFolder(InstallerState& state) {
    tellUser(state, kCannotCreateFolder);
    return false;
}

// Reads every member without writing: headers, names, methods, sizes, CRCs, the room
// the destination has and the links it holds. False, after the message, when the
// installation must not start.
bool checkBeforeWriting(InstallerState& state, std::uint32_t& members) {
    std::uint64_t replaced = 0;  // bytes of files the installation overwrites
    CheckOptions options;
    options.timezoneSeconds = localTimezoneOffset();
    options.decode = true;
    options.onMember = [&](const EntryHeader& h, const char* path) {
        SendMessageA(state.mainWindow, UM_CHECK_ENTRY, 0, reinterpret_cast<LPARAM>(h.name));
        char full[kPathCapacity];
        if (!fullOutputPath(state, path, full)) {
            tellUserAbout(state, kPathTooLong, path);
            return false;
        }
        std::string link;
        if (linkOnPath(state, path, link)) {
            tellUserAbout(state, kLinkInPath, link.c_str());
            return false;
        }
        WIN32_FILE_ATTRIBUTE_DATA existing;
        if (GetFileAttributesExA(full, GetFileExInfoStandard, &existing) &&
            !(existing.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            replaced += (std::uint64_t{existing.nFileSizeHigh} << 32) | existing.nFileSizeLow;
        return true;
    };
    ArchiveSummary check = checkArchive(state.archiveStream, options);
    if (check.problem != ArchiveProblem::none) {
        tellProblem(state, check);
        return false;
    }
    members = check.members;
    ULARGE_INTEGER free;
    if (GetDiskFreeSpaceExA(state.destinationFolder.text(), &free, nullptr, nullptr) &&
        check.fileBytes > replaced && free.QuadPart < check.fileBytes - replaced) {
        char megabytes[32];
        std::snprintf(
            megabytes, sizeof megabytes, "%llu",
            static_cast<unsigned long long>((check.fileBytes - replaced + 1048575) >> 20));
        tellUserAbout(state,
                      "ディスクの空きが足りません。インストールには %s MB の空きが必要です。",
                      megabytes);
        return false;
    }
    return true;
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
    if (std::strlen(full) + 1 + archiveSummary(state).longestName >= kPathCapacity)
        return refuseFolder(state);
    // `folder` may be destinationFolder's own text: use `full` from here on.
    state.destinationFolder.assign(full);
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
    std::FILE* archive = state.archiveStream;
    initCrcTable();
    totalOriginalSize = archiveSummary(state).totalOriginalSize;
    // First the whole archive is read and decoded without writing, then written; the bar
    // runs once for each.
    std::uint32_t members = 0;
    if (!checkBeforeWriting(state, members)) {
        state.failed = shouldContinue();
        PostMessageA(state.mainWindow, shouldContinue() ? UM_DONE : UM_ABORTED, 0, 0);
        return;
    }
    doneOriginalSize = lastProgressPosition = 0;
    if (progressSink) progressSink(0);

    const long timezone = localTimezoneOffset();
    EntryHeader header;
    HeaderRead read;
    std::uint32_t written = 0;
    while ((read = readEntryHeader(archive, header, timezone)) == HeaderRead::member &&
           written < members) {
        std::uint64_t dataStart = tellStream(archive);
        SendMessageA(state.mainWindow, UM_SHOW_ENTRY, 0, reinterpret_cast<LPARAM>(header.name));
        if (!writeEntry(state, header)) {
            state.failed = true;
            break;
        }
        if (!seekStream(archive, dataStart + header.fullPackedSize)) break;
        ++written;
        doneOriginalSize += header.originalSize;
    }
    // The installer file was cut or changed since its check: members are missing, or
    // unchecked ones follow. Neither is a finished installation.
    if (!state.failed && shouldContinue() && (read != HeaderRead::end || written != members)) {
        tellUser(state, kDamagedArchive, state.title.text(), MessageKind::error);
        state.failed = true;
    }
    PostMessageA(state.mainWindow, shouldContinue() ? UM_DONE : UM_ABORTED, 0, 0);
}
