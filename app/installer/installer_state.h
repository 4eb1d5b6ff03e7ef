// InstallerState: the installer's one state record, built by the entry on the main
// thread and torn down after the message loop. The worker thread reads the archive
// stream and the destination and writes the extraction fields; the main thread
// reads those only after the worker's last posted message.
#pragma once
#include <cstdint>
#include <cstdio>

#include "app/installer/owned_string.h"
#include "app/setup/payload_record.h"
#include "app/setup/pe_image.h"
#include "app/setup/setup_block.h"
#include "extract/lha/archive_check.h"
#include "extract/lha/path_text.h"
#include "shell/association_table.h"

#ifdef _WIN32
#include <windows.h>
using WindowHandle = HWND;
#else
using WindowHandle = void*;
#endif

// Exit statuses of the installer.
constexpr int kExitInstalled = 0;
constexpr int kExitNotInstalled = 1;      // refused, failed, aborted or cancelled: nothing changed
constexpr int kExitStartupRefused = 2;    // before any window: not an installer we can read
constexpr int kExitRestartNeeded = 3010;  // installed; a file in use goes at the next restart

// Shortcut option byte bits.
constexpr std::uint8_t kOptionChangeable = 1;  // the dialog's box is enabled
constexpr std::uint8_t kOptionMake = 2;        // the shortcut is made

struct InstallerState {
    // --- start-up
    char ownPath[kPathCapacity] = {};    // full path of the running executable
    std::FILE* archiveStream = nullptr;  // own file "rb"; after start-up at the setup block
    PeImageInfo image;                   // of the own file: where the payload starts
    PayloadRecord payload;               // what the payload must be (length 0: not recorded)
    ArchiveSummary archive;              // walked once, on first use (archiveSummary)
    bool archiveSummarized = false;

    // --- windows (main thread)
    WindowHandle mainWindow = nullptr;
    WindowHandle pathLabel = nullptr;
    WindowHandle abortButton = nullptr;

    // --- extraction (worker thread while it runs)
    std::int32_t methodIndex = 0;
    OwnedString madeFolder;     // the topmost folder this run made for the destination
    bool restartNeeded = false;  // a replaced file is still in use: gone at the restart

    // --- choices and texts of the setup block
    OwnedString destinationFolder;
    OwnedString title;
    OwnedString programFileName;  // relative to the destination, e.g. "Vopa.exe"
    OwnedString launchFile;       // opened after installation; empty = none
    OwnedString shortcutName;     // empty = base name of programFileName
    std::uint8_t startMenuOption = 0;
    std::uint8_t desktopOption = 0;
    std::uint8_t sendToOption = 0;

    // --- flags
    bool setupBlockRead = false;
    bool failed = false;
    bool unattended = false;
    bool silent = false;  // no window and no waiting: messages go to the log (user_messages.h)
    bool told = false;    // a message was shown (or logged) this run
    bool associateFlags[kAssociationCount] = {};
    bool addViewVerb = false;
    bool addCompressMenu = false;
    bool extendDragDropMenu = false;

    // --- the run (main thread)
    bool workerRunning = false;   // between the worker's start and its last message
    bool closeRequested = false;  // the window was closed while the worker ran
    bool committing = false;      // the commit's renames run: abort and close wait
    int exitCode = kExitNotInstalled;

    InstallerState() = default;
    InstallerState(const InstallerState&) = delete;
    InstallerState& operator=(const InstallerState&) = delete;
};

// Closes the own file; the owned texts free themselves.
void destroyInstaller(InstallerState& state);

// Reads the setup block at archiveStream into the state, with the default destination
// rule and a previous installation's folder. False when the file ends inside the block,
// a field breaks checkSetupBlock's rules or the destination does not fit its 260-byte
// buffer; the state then holds no partly read field.
bool loadSetupBlock(InstallerState& state, const DestinationSources& sources);

// The archive's summary, walked from archiveStream the first time it is asked for.
const ArchiveSummary& archiveSummary(InstallerState& state);
