#include "app/installer/user_messages.h"
#include "app/installer/user_texts.h"

#include <windows.h>

#include <cstring>

#include "app/installer/installer_state.h"
#include "app/installer/text_format.h"

void tellUser(InstallerState& state, const char* text, const char* caption, MessageKind kind) {
    state.told = true;
    if (state.silent) {
        writeSilentLog(text);
        return;
    }
    UINT icon = kind == MessageKind::error ? MB_ICONERROR : MB_ICONWARNING;
    MessageBoxA(state.mainWindow, text, caption, icon | MB_OK);
}

void tellUserAbout(InstallerState& state, const char* format, const char* path) {
    tellUserAbout(state, format, path, "");
}

void tellUserAbout(InstallerState& state, const char* format, const char* first,
                   const char* second) {
    char text[kMessageCapacity];
    formatText(text, sizeof text, format, first, second);
    tellUser(state, text);
}

void silentLogPath(char (&path)[kPathCapacity]) {
    char folder[kPathCapacity];
    DWORD n = GetTempPathA(sizeof folder, folder);
    if (n == 0 || n >= sizeof folder || !joinPath(path, folder, "VopaSetup.log"))
        std::strcpy(path, "VopaSetup.log");
}

void writeSilentLog(const char* line) {
    char path[kPathCapacity];
    silentLogPath(path);
    HANDLE log = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return;
    SYSTEMTIME t;
    GetLocalTime(&t);
    // One write: lines of two installers that share the log do not interleave.
    char text[kMessageCapacity + 32];  // the message, its time stamp and CR LF
    if (!formatText(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u %s\r\n", t.wYear, t.wMonth,
                    t.wDay, t.wHour, t.wMinute, t.wSecond, line))
        std::strcpy(text + sizeof text - 3, "\r\n");  // cut short, still a line
    DWORD written;
    WriteFile(log, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
    CloseHandle(log);
}
