// Running the win64 build under Wine from host tests.
#pragma once
#include <string>

// Folder of the win64 build (VOPA_WIN64_DIR), or "" when not built.
std::string win64Dir();
// Z:\... path that Wine maps to the host path.
std::string windowsPath(const std::string& hostPath);
// Runs `program args` under run-in-wine.sh; `prefix` non-empty keeps that prefix.
int runInWine(const std::string& program, const std::string& args, const std::string& prefix = "");
