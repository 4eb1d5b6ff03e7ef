#include "extract/installer/staging.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "extract/lha/entry_path.h"
#include "extract/lha/path_text.h"

namespace {

// Files of the staging folder: the staged members, the files they replace once set
// aside, the journal and, once the commit is done, its marker. Member k is staged as
// "g\\i" (hexadecimal: g = k / 256, i = k % 256) and set aside as "g\\i.old": a folder
// of many thousand files is slow to create files in under Wine, which looks through it
// for a name in other letters each time. Set-aside files that another program still
// holds are renamed to GetTempFileName's names ("oldXXXX.tmp") in the staging folder
// itself, which nothing else uses, and deleted at the next restart.
constexpr std::size_t kGroupBits = 8;
constexpr char kJournal[] = "journal";
constexpr char kCommitted[] = "committed";
constexpr char kAsideSuffix[] = ".old";
constexpr char kLeftoverPrefix[] = "old";
constexpr char kJournalHeading[] = "vopa-journal 1";

std::string inDestination(const char* destination, const std::string& relative) {
    char full[kPathCapacity];
    return joinPath(full, destination, relative.c_str()) ? full : std::string();
}

std::string inStaging(const char* destination, const std::string& name) {
    return inDestination(destination, std::string(kStagingFolder) + "\\" + name);
}

// `v` in hexadecimal digits.
std::string hex(std::size_t v) {
    char digits[2 * sizeof v + 1], *p = digits + sizeof digits - 1;
    *p = '\0';
    do *--p = "0123456789abcdef"[v & 15]; while (v >>= 4);
    return p;
}

std::string groupName(std::size_t member) { return hex(member >> kGroupBits); }

std::string asidePath(const char* destination, std::size_t member) {
    return stagedFilePath(destination, member) + kAsideSuffix;
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool isFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool rename(const std::string& from, const std::string& to) {
    return !from.empty() && !to.empty() && MoveFileExA(from.c_str(), to.c_str(), 0);
}

// The path Windows reaches when it opens `path`, links followed; empty when it cannot
// tell (no such file, or a system without the call).
std::string resolved(const char* path) {
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    char final[4 * kPathCapacity];
    const DWORD n = GetFinalPathNameByHandleA(h, final, sizeof final, 0);
    CloseHandle(h);
    return n > 0 && n < sizeof final ? final : std::string();
}

// The journal: a heading, then a line per new folder ("D\tPATH"), then one per member
// ("F\tREPLACES\tPATH" for a file, "d\t0\tPATH" for a folder; member k is the k-th of
// them). Paths hold no control characters: the path rules refuse them.
std::string journalText(const Staging& s) {
    std::string text = kJournalHeading;
    for (const std::string& folder : s.newFolders) (text += "\nD\t") += folder;
    for (const StagedMember& m : s.members)
        (text += m.folder ? "\nd\t0\t" : m.replaces ? "\nF\t1\t" : "\nF\t0\t") += m.path;
    return text += '\n';
}

bool writeJournal(const Staging& s, const char* destination) {
    const std::string text = journalText(s), path = inStaging(destination, kJournal);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    // On the disk before the first rename: the next run reads it after a power cut.
    const bool ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                    written == text.size() && FlushFileBuffers(h);
    CloseHandle(h);
    return ok;
}

bool readJournal(const char* destination, const char* name, Staging& s) {
    std::FILE* f = std::fopen(inStaging(destination, name).c_str(), "rb");
    if (!f) return false;
    char line[kPathCapacity + 16];
    bool headed = false;
    while (std::fgets(line, sizeof line, f)) {
        line[std::strcspn(line, "\r\n")] = '\0';
        if (!headed) {
            headed = std::strcmp(line, kJournalHeading) == 0;
            if (!headed) break;
        } else if (line[0] == 'D' && line[1] == '\t') {
            s.newFolders.push_back(line + 2);
        } else if ((line[0] == 'F' || line[0] == 'd') && line[1] == '\t' && line[3] == '\t') {
            StagedMember m;
            m.folder = line[0] == 'd';
            m.replaces = line[2] == '1';
            m.path = line + 4;
            s.members.push_back(m);
        }
    }
    std::fclose(f);
    return headed;
}

// Undoes the renames of a commit, from what the disk shows: a staged file that is gone
// was put in place, a set-aside file still there was not put back. False when a file
// could not be put back (its set-aside copy then stays, with the journal).
bool undoCommit(const Staging& s, const char* destination) {
    bool whole = true;
    for (std::size_t k = s.members.size(); k-- > 0;) {
        const StagedMember& m = s.members[k];
        if (m.folder) continue;
        const std::string final = inDestination(destination, m.path);
        const std::string staged = stagedFilePath(destination, k), aside = asidePath(destination, k);
        if (!exists(staged) && exists(final) && !rename(final, staged)) whole = false;
        if (m.replaces && exists(aside) && !rename(aside, final)) whole = false;
    }
    for (std::size_t k = s.newFolders.size(); k-- > 0;)
        RemoveDirectoryA(inDestination(destination, s.newFolders[k]).c_str());
    return whole;
}

// What a clearing of the staging folder leaves.
enum class Keep { marker, asidesAndJournal };

bool isAside(const char* name);

// Deletes the staging folder's files but those `keep` names, then every folder that
// leaves empty; true when an aside was kept.
bool clearStagingFolder(const std::string& folder, Keep keep) {
    bool asideKept = false;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const char* name = found.cFileName;
            const std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (std::strcmp(name, ".") && std::strcmp(name, ".."))
                    asideKept = clearStagingFolder(path, keep) || asideKept;
            } else if (keep == Keep::marker ? std::strcmp(name, kCommitted) == 0
                                            : isAside(name) || std::strcmp(name, kJournal) == 0) {
                asideKept = asideKept || isAside(name);
            } else {
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
    return asideKept;
}

bool isAside(const char* name) {
    const std::size_t n = std::strlen(name), suffix = std::strlen(kAsideSuffix);
    return n > suffix && std::strcmp(name + n - suffix, kAsideSuffix) == 0;
}

// A set-aside file is deleted; one still loaded (a DLL in use) moves out of the way,
// under a name of its own, and goes at the next restart. True when it is gone now.
bool deleteAside(const std::string& aside, const char* destination) {
    if (DeleteFileA(aside.c_str())) return true;
    char leftover[kPathCapacity];
    const std::string folder = inDestination(destination, kStagingFolder);
    if (GetTempFileNameA(folder.c_str(), kLeftoverPrefix, 0, leftover) &&
        MoveFileExA(aside.c_str(), leftover, MOVEFILE_REPLACE_EXISTING))
        MoveFileExA(leftover, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return false;
}

}  // namespace

std::string stagedFilePath(const char* destination, std::size_t member) {
    return inStaging(destination,
                     groupName(member) + "\\" + hex(member & ((std::size_t{1} << kGroupBits) - 1)));
}

bool startStaging(Staging& s, const char* destination) {
    s = Staging();
    s.destinationFinal = resolved(destination);
    return true;
}

PlaceProblem placeMember(Staging& s, const char* destination, const MemberTarget& target,
                         std::string& where) {
    StagedMember m;
    m.path = target.path;
    m.folder = target.folder;
    while (!m.path.empty() && m.path.back() == '/') m.path.pop_back();
    if (!m.path.empty()) replaceCharacters(&m.path[0], LeadBytes::system, "/", '\\');
    const std::string& path = m.path;
    // Each folder on the way, then the member; below a folder the commit makes,
    // nothing exists yet.
    std::vector<std::size_t> ends;
    forEachSeparator(path.c_str(), '\\', [&](std::size_t at) { ends.push_back(at); });
    ends.push_back(path.size());
    bool parentNew = false;
    Staging::Folder* parent = nullptr;  // the folder last looked at (none: the destination)
    for (std::size_t i = 0; !path.empty() && i < ends.size(); ++i) {
        const bool last = i + 1 == ends.size();
        const std::string prefix = path.substr(0, ends[i]);
        const bool isFolder = !last || target.folder;
        // A folder many members share is looked at once.
        const std::string key = isFolder ? windowsNameKey(prefix) : std::string();
        if (isFolder) {
            const auto seen = s.folders.find(key);
            if (seen != s.folders.end()) {
                parentNew = seen->second == Staging::Folder::made;
                parent = &seen->second;
                continue;
            }
        }
        const std::string full = inDestination(destination, prefix);
        const DWORD attributes =
            parentNew ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(full.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            parentNew = true;
            if (isFolder) {
                parent = &(s.folders[key] = Staging::Folder::made);
                s.newFolders.push_back(prefix);
            }
            continue;
        }
        std::string shown = prefix;
        replaceCharacters(&shown[0], LeadBytes::system, "\\", '/');
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            where = shown;
            return PlaceProblem::link;
        }
        if (isFolder != ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)) {
            where = target.path;
            return PlaceProblem::occupied;
        }
        if (isFolder) {
            parent = &(s.folders[key] = Staging::Folder::there);
            continue;
        }
        // A file seen as a plain file may still be a link (Wine shows a Unix one so):
        // it must be where its path says, or its rename would move what it leads to.
        const std::string reached = resolved(full.c_str());
        if (!s.destinationFinal.empty() && !reached.empty() &&
            windowsNameKey(reached) != windowsNameKey(s.destinationFinal + "\\" + prefix)) {
            where = shown;
            return PlaceProblem::link;
        }
        m.replaces = true;
    }
    // A file in a folder there already: the shell hears of that folder once.
    const bool inRoot = !parent && !m.folder && !path.empty();
    if (inRoot ? !s.rootFilled : parent && *parent == Staging::Folder::there && !m.folder) {
        if (inRoot) s.rootFilled = true;
        else *parent = Staging::Folder::filled;
        s.filledFolders.push_back(inRoot ? std::string() : path.substr(0, ends[ends.size() - 2]));
    }
    s.members.push_back(m);
    return PlaceProblem::none;
}

bool makeStagingFolder(const char* destination, std::size_t members) {
    const std::string folder = inDestination(destination, kStagingFolder);
    if (folder.empty()) return false;
    // Left by an earlier run, it holds at most files still in use: ours never clash.
    if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    SetFileAttributesA(folder.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
    for (std::size_t k = 0; k < members; k += std::size_t{1} << kGroupBits) {
        const std::string group = inStaging(destination, groupName(k));
        if (!CreateDirectoryA(group.c_str(), nullptr) && !isFolder(group)) return false;
    }
    return true;
}

bool commitStaging(Staging& s, const char* destination, CommitFailure& failure) {
    failure = CommitFailure();
    if (!writeJournal(s, destination)) return false;
    auto fail = [&](const std::string& path, bool folder = false) {
        const DWORD error = GetLastError();
        failure.inUse = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
        failure.folder = folder;
        failure.path = path;
        if (!path.empty()) replaceCharacters(&failure.path[0], LeadBytes::system, "\\", '/');
        if (undoCommit(s, destination)) DeleteFileA(inStaging(destination, kJournal).c_str());
        return false;
    };
    for (const std::string& folder : s.newFolders) {
        const std::string full = inDestination(destination, folder);
        // Made already when two members spell the same folder differently.
        if (!CreateDirectoryA(full.c_str(), nullptr) && !isFolder(full)) return fail(folder, true);
    }
    for (std::size_t k = 0; k < s.members.size(); ++k)
        if (s.members[k].replaces &&
            !rename(inDestination(destination, s.members[k].path), asidePath(destination, k)))
            return fail(s.members[k].path);
    for (std::size_t k = 0; k < s.members.size(); ++k)
        if (!s.members[k].folder &&
            !rename(stagedFilePath(destination, k), inDestination(destination, s.members[k].path)))
            return fail(s.members[k].path);
    if (!rename(inStaging(destination, kJournal), inStaging(destination, kCommitted)))
        return fail("");
    return true;
}

void finishCommit(Staging& s, const char* destination) {
    bool asideLeft = false;  // one that is still held, and could not even be moved away
    for (std::size_t k = 0; k < s.members.size(); ++k) {
        if (!s.members[k].replaces) continue;
        const std::string aside = asidePath(destination, k);
        if (deleteAside(aside, destination)) continue;
        s.restartNeeded = true;
        asideLeft = asideLeft || exists(aside);
    }
    // The marker stays while a set-aside file does: the next run finishes this commit,
    // and its own set-aside files never meet this one's.
    if (!asideLeft) DeleteFileA(inStaging(destination, kCommitted).c_str());
    // Only what is still held stays: deleted at the restart, with the folder.
    clearStagingFolder(inDestination(destination, kStagingFolder), Keep::marker);
}

void removeStaging(const char* destination) {
    // Set-aside files are never deleted here: one that could not be put back is the
    // only copy of the earlier file, and the journal beside it says where it goes.
    const std::string folder = inDestination(destination, kStagingFolder);
    if (!clearStagingFolder(folder, Keep::asidesAndJournal))
        DeleteFileA(inStaging(destination, kJournal).c_str());
    RemoveDirectoryA(folder.c_str());
}

void recoverInterruptedCommit(const char* destination) {
    if (!exists(inDestination(destination, kStagingFolder))) return;
    Staging s;
    if (readJournal(destination, kCommitted, s)) {
        finishCommit(s, destination);
    } else if (readJournal(destination, kJournal, s)) {
        if (undoCommit(s, destination)) DeleteFileA(inStaging(destination, kJournal).c_str());
    }
    removeStaging(destination);
}
