// The extraction worker: unpacks the whole archive into the destination on a thread
// of its own and reports to the main window only by window messages.
#pragma once

struct InstallerState;

// Main-window messages of the run.
constexpr unsigned UM_START = 0x400;
constexpr unsigned UM_SHOW_ENTRY = 0x401;
constexpr unsigned UM_DONE = 0x403;
constexpr unsigned UM_ABORTED = 0x404;
constexpr unsigned UM_CHECK_ENTRY = 0x405;  // a member is checked before anything is written
constexpr unsigned UM_COMMIT = 0x406;  // sent: the commit begins; nothing may stop it now

// Makes `folder` exist and the current directory, and destinationFolder its full path
// as Windows resolves it. False, after the message, when it cannot be made or cannot
// hold the archive's longest member path.
bool prepareDestination(InstallerState& state, const char* folder);

// Prepares the destination and starts the worker; false when neither could be done.
bool startExtraction(InstallerState& state);
