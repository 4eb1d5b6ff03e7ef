// The registry work that ends a successful installation, in its fixed order, and the
// opening of the launch file.
#pragma once

struct InstallerState;

constexpr const char kUninstallKey[] =
    "SoftWare\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vopa";

void writeUninstallEntry(InstallerState& state);
void writeInstallDir(InstallerState& state);
void registerShellExtensionClass(InstallerState& state);
void registerContextMenuHandlers(InstallerState& state);
void registerDragDropHandlers(InstallerState& state);

// Uninstall entry, install folder, shell extension and its handlers as chosen, the
// chosen associations, and one shell notification when any association was written.
void registerAll(InstallerState& state);
// Opens destination\launchFile with its default action.
void launchProgram(InstallerState& state);
