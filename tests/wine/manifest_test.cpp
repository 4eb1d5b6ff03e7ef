// The installer's manifest as Windows reads it. Wine, told to be a Windows of 8.1 or
// later, tells a program its true version only for that Windows' supportedOS entry,
// and 8 otherwise, as Windows does. The stand-in program carries our manifest and exits
// with the version it is told.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

namespace {

// The version told to `program` (built beside this test) when Wine is the Windows named.
int versionTold(const std::string& program, const char* windows) {
    const std::string settings = "Software\\Wine\\AppDefaults\\" + program;
    RegSetKeyValueA(HKEY_CURRENT_USER, settings.c_str(), "Version", REG_SZ, windows,
                    static_cast<DWORD>(std::strlen(windows) + 1));
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string path = self;
    path = path.substr(0, path.rfind('\\') + 1) + program;
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    PROCESS_INFORMATION process = {};
    DWORD status = 0;
    if (CreateProcessA(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start,
                       &process)) {
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, settings.c_str());
    return static_cast<int>(status);
}

}  // namespace

TEST(Manifest, WindowsTellsItsVersionForOurSupportedOsEntries) {
    EXPECT_EQ(versionTold("stand_in_program.exe", "win10"), 1000);
    EXPECT_EQ(versionTold("stand_in_program.exe", "win81"), 603);
    // Without the manifest: the same Wine says 8, so the entries are what made the difference.
    EXPECT_EQ(versionTold("plain_program.exe", "win10"), 602);
}
