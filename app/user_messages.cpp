#include "app/user_messages.h"

#include <windows.h>

#include <cstdio>

#include "app/installer_state.h"

void tellUser(InstallerState& state, const std::string& text, const char* caption,
              MessageKind kind) {
    state.told = true;
    if (state.silent) {
        writeSilentLog(text);
        return;
    }
    UINT icon = kind == MessageKind::error ? MB_ICONERROR : MB_ICONWARNING;
    MessageBoxA(state.mainWindow, text.c_str(), caption, icon | MB_OK);
}

void tellUserAbout(InstallerState& state, const char* format, const char* path) {
    tellUserAbout(state, format, path, "");
}

void tellUserAbout(InstallerState& state, const char* format, const char* first,
                   const char* second) {
    char text[2 * kPathCapacity + 256];  // two paths and the message's own words
    std::snprintf(text, sizeof text, format, first, second);
    tellUser(state, text);
}

std::string silentLogPath() {
    char folder[MAX_PATH];
    DWORD n = GetTempPathA(sizeof folder, folder);
    char path[MAX_PATH];
    if (n == 0 || n >= sizeof folder || !joinPath(path, folder, "VopaSetup.log"))
        return "VopaSetup.log";
    return path;
}

void writeSilentLog(const std::string& line) {
    std::FILE* log = std::fopen(silentLogPath().c_str(), "ab");
    if (!log) return;
    SYSTEMTIME t;
    GetLocalTime(&t);
    std::fprintf(log, "%04u-%02u-%02u %02u:%02u:%02u %s\r\n", t.wYear, t.wMonth, t.wDay, t.wHour,
                 t.wMinute, t.wSecond, line.c_str());
    std::fclose(log);
}
