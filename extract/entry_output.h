// Entry output: writes one member into the destination (the current directory) —
// path made safe, folders created, data copied or decoded, CRC compared, time set.
// Runs on the worker thread.
#pragma once
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

// Shows a warning owned by the main window, formatted with one path.
void showPathMessage(InstallerState& state, const char* format, const char* path);
