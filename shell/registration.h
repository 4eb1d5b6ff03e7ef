// The registry work that ends a successful installation, in its fixed order, and the
// opening of the launch file.
#pragma once

struct InstallerState;

constexpr const char kUninstallKey[] =
    "SoftWare\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vopa";

// Uninstall entry, install folder, shell extension and its handlers as chosen, the
// chosen associations, and one shell notification when any association was written.
void registerAll(InstallerState& state);
// Opens destination\launchFile with its default action.
void launchProgram(InstallerState& state);
