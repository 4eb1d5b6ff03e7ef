// The shell integration that already belongs to the product, read at start-up so the
// command line and the dialog start from it.
#pragma once

struct InstallerState;

// Sets the ten associateFlags; may set addCompressMenu and extendDragDropMenu.
void readShellState(InstallerState& state);
