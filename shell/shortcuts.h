// Shortcuts to the installed program: common Programs, common Desktop, Send To.
#pragma once

struct InstallerState;

void createShortcuts(InstallerState& state);
