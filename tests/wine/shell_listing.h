// What an installation leaves in the registry and the shell, read back with plain Win32
// calls as text, and what a full installation leaves. Shared by the win64 tests and the
// PE32 probe, which read the same keys after the release installer has run.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

// The value as text, "dword:N" for a number, "(type N)" for another type, "<none>" when it is missing.
std::string readText(HKEY root, const std::string& key, const char* name);
// Every key the installer may write, in a fixed order.
std::vector<std::pair<HKEY, std::string>> ourKeys();
// Each of ourKeys() that exists: "[root\key]", its "name=value" lines, then its subkeys.
std::string dumpOurKeys();
// A full installation into C:\Program Files\Vopa: uninstall entry, the shell extension
// and its handlers (the right-drag ones with dragDrop), every type associated with View;
// `installedKb` the size the uninstall entry gives.
std::string fullInstallListing(bool dragDrop, unsigned installedKb);

std::string folderPath(int csidl);
// "target|working folder|icon,index", or "" when the shortcut does not load. Needs COM.
std::string readLink(const std::string& path);
