// vopa-pack's host calls on Windows: every path goes to the wide API, as an
// extended-length path (\\?\) so that a product tree deeper than MAX_PATH still lists
// and reads; code page 932 through the system's own table.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>

#include "tools/vopa-pack/host_files.h"

namespace {

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                      nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

std::string utf8(const wchar_t* text, std::size_t length) {
    if (length == 0) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                      nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), s.data(), n, nullptr,
                        nullptr);
    return s;
}

std::string utf8(const std::wstring& text) { return utf8(text.data(), text.size()); }

// The absolute extended-length form; GetFullPathNameW also turns "/" into "\\".
std::wstring systemPath(const std::string& path) {
    std::wstring w = wide(path);
    if (w.rfind(L"\\\\?\\", 0) == 0) return w;
    DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (n == 0) return w;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
    full.resize(n);
    if (full.rfind(L"\\\\.\\", 0) == 0) return full;  // a device: no other form
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::string systemMessage(DWORD code) {
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' ')) --n;
    std::string s = n ? utf8(text, n) : "error " + std::to_string(code);
    LocalFree(text);
    return s;
}

// 100-nanosecond ticks from 1601 to 1970.
constexpr std::int64_t kUnixEpochTicks = 116444736000000000ll;
constexpr std::int64_t kTicksPerSecond = 10000000;

UINT consoleCodePage;
void restoreConsole() { SetConsoleOutputCP(consoleCodePage); }

}  // namespace

std::vector<std::string> hostArguments(int, char**) {
    // The console shows the UTF-8 that vopa-pack prints, as a Linux terminal does;
    // redirected output is the same bytes on both systems.
    consoleCodePage = GetConsoleOutputCP();
    if (consoleCodePage != 0 && SetConsoleOutputCP(CP_UTF8)) std::atexit(restoreConsole);
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> arguments;
    for (int i = 0; argv && i < argc; ++i) arguments.push_back(utf8(std::wstring(argv[i])));
    LocalFree(argv);
    return arguments;
}

bool standardErrorIsTerminal() {
    // A console that cannot take escape sequences (before Windows 10) gets no line.
    HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode;
    return GetConsoleMode(h, &mode) &&
           SetConsoleMode(h, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

std::string pathIn(const std::string& folder, const std::string& name) {
    // "C:" names the drive's current folder: a separator there would mean its root.
    const bool bare = folder.empty() || folder.back() == '\\' || folder.back() == '/' ||
                      (folder.size() == 2 && folder[1] == ':');
    return bare ? folder + name : folder + "\\" + name;
}

bool listFolder(const std::string& path, std::vector<FolderEntry>& entries, std::string& error) {
    WIN32_FIND_DATAW found;
    std::wstring pattern = systemPath(path);
    if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';  // a root keeps its own
    pattern += L'*';
    HANDLE h = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                nullptr, 0);
    if (h == INVALID_HANDLE_VALUE) {
        error = systemMessage(GetLastError());
        return false;
    }
    entries.clear();
    do {
        std::wstring n = found.cFileName;
        if (n == L"." || n == L"..") continue;
        const DWORD a = found.dwFileAttributes;
        // A symbolic link or junction is not followed, as lstat does not follow links.
        EntryKind kind = (a & FILE_ATTRIBUTE_REPARSE_POINT) ? EntryKind::other
                         : (a & FILE_ATTRIBUTE_DIRECTORY)   ? EntryKind::folder
                                                            : EntryKind::file;
        const std::int64_t ticks = static_cast<std::int64_t>(
            (static_cast<std::uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
            found.ftLastWriteTime.dwLowDateTime);
        entries.push_back({utf8(n), kind,
                           (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) |
                               found.nFileSizeLow,
                           (ticks - kUnixEpochTicks) / kTicksPerSecond});
    } while (FindNextFileW(h, &found));
    const DWORD last = GetLastError();
    FindClose(h);
    if (last != ERROR_NO_MORE_FILES) {
        error = systemMessage(last);
        return false;
    }
    return true;
}

std::FILE* openFile(const std::string& path, const char* mode) {
    return _wfopen(systemPath(path).c_str(), wide(mode).c_str());
}

std::FILE* openScratchFile() {
    wchar_t folder[MAX_PATH + 1], name[MAX_PATH];
    if (!GetTempPathW(MAX_PATH + 1, folder) || !GetTempFileNameW(folder, L"vpk", 0, name))
        return nullptr;
    return _wfopen(name, L"w+bD");  // D: deleted on the last close
}

bool removeFile(const std::string& path) { return DeleteFileW(systemPath(path).c_str()) != 0; }

bool replaceFile(const std::string& from, const std::string& to) {
    return MoveFileExW(systemPath(from).c_str(), systemPath(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING) != 0;
}

namespace {

bool fileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    // No access asked and every share granted: a file in use still tells who it is.
    HANDLE h = CreateFileW(systemPath(path).c_str(), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return ok;
}

}  // namespace

bool sameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION ia, ib;
    return fileIdentity(a, ia) && fileIdentity(b, ib) &&
           ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

std::string besideThisProgram(const std::string& name) {
    std::wstring self(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
        if (n == 0) return name;
        if (n < self.size()) {
            self.resize(n);
            break;
        }
        self.resize(self.size() * 2);  // cut short: try again with more room
    }
    return utf8(self.substr(0, self.find_last_of(L"\\/") + 1)) + name;
}

bool utf8ToCp932(const std::string& text, std::string& out) {
    out.clear();
    if (text.empty()) return true;
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                      static_cast<int>(text.size()), nullptr, 0);
    if (n == 0) return false;
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), w.data(), n);
    // No best fit: a character the code page lacks is refused, not swapped for a
    // look-alike, as iconv refuses it on Linux.
    BOOL usedDefault = FALSE;
    const int m = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, w.data(), n, nullptr, 0,
                                      nullptr, &usedDefault);
    if (m == 0 || usedDefault) return false;
    out.assign(static_cast<std::size_t>(m), '\0');
    WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, w.data(), n, out.data(), m, nullptr, nullptr);
    return true;
}

bool cp932ToUtf8(const std::string& text, std::string& out) {
    out.clear();
    if (text.empty()) return true;
    const int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, text.data(),
                                      static_cast<int>(text.size()), nullptr, 0);
    if (n == 0) return false;
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(932, 0, text.data(), static_cast<int>(text.size()), w.data(), n);
    out = utf8(w);
    return true;
}

const char* const kSigningRefused =
    "--sign runs osslsigncode, in the Linux build; on Windows sign the finished installer "
    "with signtool";

bool signInstaller(const std::string&, const std::string&, const std::string&) { return false; }
