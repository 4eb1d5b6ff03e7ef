// What the installer tells the user: a message box owned by the main window, or, in a
// silent run, a line in the log file, where a deployment tool that started the
// installer without anyone watching finds it. Nothing here ever waits in a silent run,
// and nothing here allocates: the stub's last word on exhausted memory comes this way.
#pragma once
#include <cstddef>

#include "extract/lha/path_text.h"

struct InstallerState;

enum class MessageKind { warning, error };

// Bytes of a message with two paths in it, its own words and the terminator.
constexpr std::size_t kMessageCapacity = 2 * kPathCapacity + 256;

// `caption` null: the system's default caption.
void tellUser(InstallerState& state, const char* text, const char* caption = nullptr,
              MessageKind kind = MessageKind::warning);
// A message formatted with one path or name (printf's %s).
void tellUserAbout(InstallerState& state, const char* format, const char* path);
// A message formatted with two names.
void tellUserAbout(InstallerState& state, const char* format, const char* first,
                   const char* second);

// The log of silent runs: "VopaSetup.log" in the user's temporary folder.
void silentLogPath(char (&path)[kPathCapacity]);
// Appends one line, with the date and time, to the log.
void writeSilentLog(const char* line);
