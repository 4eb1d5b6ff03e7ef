// A stand-in for the installed program. Built with the installer's manifest and a
// version resource (stand_in_program.rc) and without either: it exits with the Windows
// version it is told, major * 100 + minor, which the manifest's entries decide.
#include <windows.h>

int main() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) return 0;
    return static_cast<int>(version.dwMajorVersion * 100 + version.dwMinorVersion);
}
