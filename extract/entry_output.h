// Entry output: writes one member into the destination (the current directory) —
// path made safe, folders created, data copied or decoded, CRC compared, time set.
// Runs on the worker thread.
#pragma once
#include <string>

struct InstallerState;
struct EntryHeader;

// False stops the extraction (the worker then sets `failed`); the message that
// explains it has been shown.
bool writeEntry(InstallerState& state, const EntryHeader& header);

// Creates the folder that holds the path's last "/"-separated component.
bool createParentFolders(InstallerState& state, const char* path);

enum class ShellChange { folderCreated, fileCreated };
void notifyShell(InstallerState& state, ShellChange change, const char* path);

// After an abort: the member that was being written goes; a finished, checked file
// never does.
void deleteUnfinishedMember(InstallerState& state);

// Destination + "\" + path with "\" separators: the form the shell and Windows' own
// limit see. False when it does not fit.
bool fullOutputPath(InstallerState& state, const char* path, char (&full)[260]);

// Whether a folder of `path` (below the destination, "/" separators) or the member
// itself exists as a link, junction or other reparse point; `link` names it. Nothing
// is written through one: it could lead anywhere.
bool linkOnPath(InstallerState& state, const char* path, std::string& link);
constexpr const char kLinkInPath[] = "%s はリンクのため、展開できません。";
