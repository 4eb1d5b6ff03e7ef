// The setup block: title, destination rule, program file, shortcut options, launch
// file and shortcut name, stored right after the stub's image and before the archive.
// The installer reads it at start-up; vopa-pack writes it and lists it.
//
// Layout: a present marker (0: no block, that byte is all of it), then the title, the
// Program Files flag, the folder name, the program file name, the three shortcut
// option bytes, the launch file and the shortcut name. Each text is a length byte and
// that many code page 932 bytes, with no terminator.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

struct SetupBlock {
    bool present = false;
    std::string title;               // empty: the default title
    bool underProgramFiles = false;  // a relative folder goes under "\Program Files\"
    std::string folder;              // destination folder name, relative or with a drive
    std::string program;             // program file, relative to the destination
    std::uint8_t startMenu = 0, desktop = 0, sendTo = 0;  // shortcut option bytes
    std::string launch;                                   // opened after installation; empty: none
    std::string shortcut;  // shortcut base name; empty: the program's
};

// The title when the block gives none, or there is no block.
constexpr const char kDefaultTitle[] = "Vopa SFX";

// The longest text a field can hold: its length is one byte.
constexpr std::size_t kSetupTextLimit = 255;

// The fields the installer joins to the destination folder (program, launch file,
// shortcut name) must each be one plain name inside it: no folder separator, drive,
// stream or dot-only name, nothing Windows refuses. False, with `error` naming the
// field and the rule, for a block that breaks it; texts are checked for their limits.
bool checkSetupBlock(const SetupBlock& block, std::string& error);

// Reads the block from the stream's position. False when the file ends inside it.
bool readSetupBlock(std::FILE* stream, SetupBlock& block);
// Appends the block's bytes to `out`. False, with `error` naming the field, when a
// text does not fit its length byte.
bool writeSetupBlock(const SetupBlock& block, std::string& out, std::string& error);

// Where a relative folder name of the block is placed, and what a previous
// installation left. Gathered by the caller (from the system, or by a test).
struct DestinationSources {
    const char* currentDirectory = "";
    const char* windowsDirectory = "";
    const char* previousInstallDir = nullptr;  // "InstallDir" of an earlier installation
};

// The default destination for the block's folder name: a name with a drive as it
// stands; else under the Windows drive's "\Program Files\" or the current directory.
// An empty name is the current directory. False when it does not fit `capacity`.
bool composeDestination(char* out, std::size_t capacity, const char* folderName,
                        bool underProgramFiles, const DestinationSources& sources);
