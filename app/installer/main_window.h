// The main window: the small progress window that also drives the whole run —
// option dialog, worker start, and the completion or abort work.
#pragma once
#include <windows.h>

struct InstallerState;

constexpr const char kMainWindowClass[] = "VOPASFXCLASS";

// Builds the state's windows (running start-up first) and posts UM_START.
bool createInstaller(InstallerState& state, HINSTANCE instance, const char* commandTail);
// The main window, hidden, near the mouse, with its controls: all laid out for the DPI
// of the monitor it is on. The window class must be registered.
bool createProgressWindow(InstallerState& state, HINSTANCE instance);
int runMessageLoop();
LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void showEntryPath(InstallerState& state, const char* name);
