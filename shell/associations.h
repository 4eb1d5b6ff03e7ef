// File associations: each selected extension points at our archive class, whose
// verbs extract or view with the installed program; the previous class is saved.
#pragma once
#include <cstddef>

#include "extract/lha/path_text.h"

struct InstallerState;

// A verb's command: the program's quoted path and its switch and "%1".
constexpr std::size_t kCommandCapacity = kPathCapacity + 40;

constexpr const char kSavedClassKey[] = "Software\\Morvane\\Vopa\\Output";

void registerExtension(InstallerState& state, std::size_t typeIndex);

// "<folder>\<file>", with `folder` passed through appendBackslash. False when it does
// not fit a path buffer: the item that needs it is skipped rather than misnamed.
bool installedPath(const InstallerState& state, const char* file, char (&out)[kPathCapacity]);
// The program path in double quotes, as command values need it, then `arguments`.
// False without a program file name or when it does not fit.
bool programCommand(const InstallerState& state, const char* arguments,
                    char (&out)[kCommandCapacity]);
