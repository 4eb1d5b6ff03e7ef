// The setup block: title, destination rule, program file, shortcut options, launch
// file and shortcut name, stored right after the stub's image and before the archive.
#pragma once
#include <cstdint>
#include <cstdio>

struct InstallerState;

// Where a relative folder name of the block is placed, and what a previous
// installation left. Gathered by the caller (from the system, or by a test).
struct DestinationSources {
    const char* currentDirectory = "";
    const char* windowsDirectory = "";
    const char* previousInstallDir = nullptr;  // "InstallDir" of an earlier installation
};

// Reads the block from state.archiveStream. False when the file ends inside the block
// or the composed destination does not fit its 260-byte buffer; the state then holds
// no partly read field.
bool readSetupBlock(InstallerState& state, const DestinationSources& sources);

// Reads `count` bytes into `buffer`; false once the stream reports end of file.
bool readBytes(std::FILE* stream, int count, char* buffer);

// Composes the default destination from the block's folder name (see the .cpp).
// False when the result does not fit `capacity` bytes.
bool composeDestination(char* out, std::size_t capacity, const char* folderName,
                        bool underProgramFiles, const DestinationSources& sources);
