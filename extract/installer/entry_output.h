// Entry output: one member's bytes into its staged file — data copied or decoded, CRC
// compared, time set — and the destination's own folders. Runs on the worker thread.
#pragma once
#include "extract/lha/path_text.h"

struct InstallerState;
struct EntryHeader;

// Decodes the member into `stagedPath`, a new file of the staging folder; `shownPath`
// names it in messages. False stops the installation: the message that explains it
// has been shown (none after an abort).
bool stageMember(InstallerState& state, const EntryHeader& header, int methodIndex,
                 const char* stagedPath, const char* shownPath);

// Creates the folder that holds the path's last "/"-separated component.
bool createParentFolders(InstallerState& state, const char* path);

enum class ShellChange { folderCreated, folderRemoved, filesCreated };
// `path` is a full path (for filesCreated, of the folder that holds them).
void notifyShell(ShellChange change, const char* path);

// Destination + "\" + path with "\" separators: the form the shell and Windows' own
// limit see. False when it does not fit.
bool fullOutputPath(InstallerState& state, const char* path, char (&full)[kPathCapacity]);

// Whether `name` (a path or a file name) is the shell extension's DLL, which a shell
// keeps loaded.
bool isShellExtensionDll(const char* name);
