// Staging and commit: an installation either completes or leaves the destination as it
// was. Every member is first written into a hidden staging folder inside the
// destination (same volume, so every later step is a rename); only when all of them are
// there, decoded and checked, does the commit begin:
//   1. the journal (what the commit will do) is written and flushed, once;
//   2. the folders the members need are made, parents first;
//   3. each file the installation replaces is renamed aside into the staging folder
//      (a running program or a loaded DLL allows that: the loader shares delete);
//   4. each staged file, its time already set, is renamed into place;
//   5. the journal is renamed "committed".
// A failure in 2-4 renames everything back and removes the folders it made. After 5,
// the set-aside files are deleted (one still loaded is deleted at the next restart).
//
// What a power cut leaves: before 1, a staging folder without a journal, which the next
// run removes; in 2-4, a journal, from which the next run undoes the commit (each rename
// is atomic, so which files have moved shows on the disk); after 5, set-aside files and
// the marker, which the next run deletes. The next run does this before anything else.
//
// Runs on the worker thread; the destination is the current directory.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "extract/lha/archive_check.h"

struct InstallerState;

// The staging folder's name. Member names lose their leading dots, so none can be this.
constexpr const char kStagingFolder[] = ".vopa-staging";

struct StagedMember {
    std::string path;  // below the destination, "\\" separators, a folder's without a final one
    bool folder = false;
    bool replaces = false;  // a file is there now: it is set aside, then deleted
};

// The commit's plan and how far it got.
struct Staging {
    std::vector<StagedMember> members;  // every member in archive order; file k is staged as "k"
    std::vector<std::string> newFolders;  // below the destination, parents first
    // Folders looked at, by the name Windows knows them by (a tree, as the member names'
    // table is: every installer then carries the code of one kind of table, not two).
    enum class Folder : unsigned char { there, made, filled /* there, and gets files */ };
    std::map<std::string, Folder> folders;
    // Folders there already that get files ("" for the destination), each once: the
    // shell hears of them, and of the new ones, after the commit.
    std::vector<std::string> filledFolders;
    bool rootFilled = false;
    std::string destinationFinal;  // the destination as Windows resolves it (links followed)
    bool restartNeeded = false;    // a set-aside file is still in use: deleted at restart
};

// What lies at a member's place now, found before anything is written.
enum class PlaceProblem {
    none,
    link,      // a link, junction or reparse point on the path (`where` names it)
    occupied,  // a file where a folder is needed, or a folder where the file goes
};

// Resolves the destination (the current directory) for placeMember; false when it
// cannot be opened.
bool startStaging(Staging& staging, const char* destination);

// Adds a member to the plan, looking at its place: which of its folders are new,
// whether it replaces a file, and that nothing on the way is a link (`where`).
PlaceProblem placeMember(Staging& staging, const char* destination, const MemberTarget& target,
                         std::string& where);

// The staging folder, made anew and hidden, with room for `members`; false when it
// cannot be made.
bool makeStagingFolder(const char* destination, std::size_t members);
// Where file k of the plan is staged.
std::string stagedFilePath(const char* destination, std::size_t member);

// Why a commit was undone.
struct CommitFailure {
    std::string path;  // the folder or file that could not be made or moved ("/" separators)
    bool folder = false;
    bool inUse = false;  // another program holds the file
};

// The journal, then the renames. False after a failure, with everything renamed back.
bool commitStaging(Staging& staging, const char* destination, CommitFailure& failure);

// After the commit: the set-aside files and the staging folder go; a file still loaded
// is left for the next restart (restartNeeded).
void finishCommit(Staging& staging, const char* destination);

// Before the commit ended: staged files and the staging folder go, the destination is
// as it was.
void removeStaging(const char* destination);

// A commit a power cut interrupted, finished (its marker was written) or undone (from
// its journal), and any staging folder removed. Called before a run looks at the
// destination.
void recoverInterruptedCommit(const char* destination);
