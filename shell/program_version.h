// The installed program's publisher and version, as its version resource states them in
// the language its translation table names first: what the uninstall entry shows.
#pragma once
#include <string>

struct ProgramVersion {
    std::string publisher;  // CompanyName; empty when the resource has none
    std::string version;    // ProductVersion; the same
};

// Both empty for a file without a version resource or translation table. version.dll
// is loaded from the system folder for this call only: it is no known DLL, so a static
// import would be looked for beside the installer first, where a download folder may
// hold a planted copy.
ProgramVersion readProgramVersion(const char* path);
