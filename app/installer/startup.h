// Start-up on the main thread: own path and file, setup block, current shell state,
// command line, window class. Runs once per process.
#pragma once
#include "extract/lha/path_text.h"
#include <windows.h>

struct InstallerState;

extern HINSTANCE moduleInstance;

// Limits DLL loading to the system folder. First thing in the entry: an elevated
// installer usually runs from a downloads folder, where a planted DLL would be found.
void restrictDllSearch();

// "InstallDir" of a previous installation: a non-empty text value that fits a path
// buffer, read without creating anything.
bool readPreviousInstallDir(char (&folder)[kPathCapacity]);

bool initApplication(InstallerState& state, HINSTANCE instance, const char* commandTail);
