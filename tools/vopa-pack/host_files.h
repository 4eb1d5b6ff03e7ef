// What vopa-pack asks of the system it runs on, one implementation for Linux and one
// for Windows. Paths and texts are UTF-8 on both sides: on Windows they reach the
// system as wide strings, so a product folder may be named in any script.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The program's arguments as UTF-8 (on Windows, from the wide command line; standard
// output stays UTF-8 there too, and a console is set to show it).
std::vector<std::string> hostArguments(int argc, char** argv);

// Whether standard error is a terminal that takes a line rewritten in place ("\r" and
// the ANSI erase-to-end-of-line); on Windows a console, switched to take it.
bool standardErrorIsTerminal();

// The path of `name` inside `folder`, with this system's separator.
std::string pathIn(const std::string& folder, const std::string& name);

// One entry of a folder. `other` is whatever is not a plain file or folder: a link, a
// device, a Windows reparse point (symbolic link or junction).
enum class EntryKind { file, folder, other };
struct FolderEntry {
    std::string name;  // UTF-8
    EntryKind kind;
    std::uint64_t size;
    std::int64_t mtime;  // seconds since 1970, UTC
};

// The entries of a folder, "." and ".." left out, in no set order; false with a
// reason in `error` when the folder does not read.
bool listFolder(const std::string& path, std::vector<FolderEntry>& entries, std::string& error);

// fopen with a UTF-8 path (errno set on failure, as fopen does).
std::FILE* openFile(const std::string& path, const char* mode);
// A file for scratch data that is gone once closed; null when none can be made.
std::FILE* openScratchFile();
bool removeFile(const std::string& path);
// Renames `from` over `to`, which may exist.
bool replaceFile(const std::string& from, const std::string& to);
// Whether both paths name one existing file, spelt alike or not, or through a link.
bool sameFile(const std::string& a, const std::string& b);

// `name` in the folder that holds this program (name alone when that is unknown).
std::string besideThisProgram(const std::string& name);

// Code page 932 conversions; false when a character has no place in the target.
bool utf8ToCp932(const std::string& utf8, std::string& out);
bool cp932ToUtf8(const std::string& cp932, std::string& out);

// Signs the file in place with osslsigncode (CERT and KEY in PEM). The Windows build
// does not sign: `kSigningRefused` says why, empty where signing works.
extern const char* const kSigningRefused;
bool signInstaller(const std::string& path, const std::string& cert, const std::string& key);
