// vopa-pack's host calls on Linux: paths are bytes (UTF-8 by convention), iconv
// converts code page 932, osslsigncode signs.
#include <dirent.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/vopa-pack/host_files.h"

std::vector<std::string> hostArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

bool standardErrorIsTerminal() { return isatty(2) == 1; }

std::string pathIn(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool listFolder(const std::string& path, std::vector<FolderEntry>& entries, std::string& error) {
    DIR* d = opendir(path.c_str());
    if (!d) {
        error = std::strerror(errno);
        return false;
    }
    entries.clear();
    bool ok = true;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        struct stat st;
        // lstat: a symbolic link is reported as itself, never followed.
        if (lstat((path + "/" + n).c_str(), &st) != 0) {
            error = n + ": " + std::strerror(errno);
            ok = false;
            break;
        }
        EntryKind kind = S_ISDIR(st.st_mode)   ? EntryKind::folder
                         : S_ISREG(st.st_mode) ? EntryKind::file
                                               : EntryKind::other;
        entries.push_back({n, kind, static_cast<std::uint64_t>(st.st_size), st.st_mtime});
    }
    closedir(d);
    return ok;
}

std::FILE* openFile(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

std::FILE* openScratchFile() { return std::tmpfile(); }

bool removeFile(const std::string& path) { return std::remove(path.c_str()) == 0; }

bool replaceFile(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

std::string besideThisProgram(const std::string& name) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self);
    // Unknown, or a path cut short: the name alone, looked for in the current folder.
    if (n <= 0 || static_cast<std::size_t>(n) == sizeof self) return name;
    std::string path(self, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/') + 1) + name;
}

namespace {

bool convert(const std::string& text, const char* from, const char* to, std::string& out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        std::fprintf(stderr, "vopa-pack: no %s to %s conversion here\n", from, to);
        std::exit(2);
    }
    out.assign(text.size() * 3 + 4, '\0');  // 3 UTF-8 bytes at most per code page 932 byte
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size(), outLeft = out.size();
    char* o = out.data();
    std::size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return r != static_cast<std::size_t>(-1);
}

std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace

bool utf8ToCp932(const std::string& utf8, std::string& out) {
    // iconv also takes look-alikes that read back as other characters ("¥" as a
    // backslash, "‾" as "~"): a text is held only if it reads back unchanged, as on Windows.
    std::string back;
    return convert(utf8, "UTF-8", "CP932", out) && convert(out, "CP932", "UTF-8", back) &&
           back == utf8;
}

bool cp932ToUtf8(const std::string& cp932, std::string& out) {
    return convert(cp932, "CP932", "UTF-8", out);
}

const char* const kSigningRefused = "";

bool signInstaller(const std::string& path, const std::string& cert, const std::string& key) {
    std::string signedFile = path + ".signed";
    std::remove(signedFile.c_str());
    std::string command = "osslsigncode sign -certs " + shellQuote(cert) + " -key " +
                          shellQuote(key) + " -n Vopa -in " + shellQuote(path) + " -out " +
                          shellQuote(signedFile) + " >/dev/null";
    if (std::system(command.c_str()) == 0 && std::rename(signedFile.c_str(), path.c_str()) == 0)
        return true;
    std::remove(signedFile.c_str());
    return false;
}
