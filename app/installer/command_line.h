// The command line: switch letters, extension words and one quoted destination.
// Any recognised item makes the run unattended; items only add to the choices that
// the setup block and the registry gave.
#pragma once

struct InstallerState;

// Parses the command-line tail (the line without the program's own name).
// Returns false when a quoted destination does not fit a path buffer: the installer
// then refuses to start rather than install somewhere the caller did not name.
bool parseCommandLine(InstallerState& state, const char* tail);

// Whether the tail asks for a silent run (-s): known before start-up, so that a start-up
// that fails is logged too.
bool silentRequested(const char* tail);
