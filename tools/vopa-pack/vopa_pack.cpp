// vopa-pack: writes an installer file — the stub, a setup block made from the
// options, then an LHA archive (an existing one, or one it writes from a folder of
// the product's files). Texts are given in UTF-8 and stored as code page 932.
// `--list` and `--test` show and verify an installer without running it.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "app/setup/payload_record.h"
#include "app/setup/pe_image.h"
#include "app/setup/setup_block.h"
#include "decode/crc16.h"
#include "decode/lha_format.h"
#include "extract/lha/archive_check.h"
#include "extract/lha/entry_header.h"
#include "extract/lha/entry_path.h"
#include "tools/vopa-pack/host_files.h"
#include "tools/pack/lha_writer.h"
#include "tools/pack/member_packer.h"

namespace {

// Exit statuses: 0 written; 2 refused or failed (nothing written); 3 written and right,
// but a member had to be packed again another way (a fault of the packer: see stderr).
// --test and --list: 0 all ok, 1 damaged or refused.
constexpr int kStatusPackerFault = 3;

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "vopa-pack: %s\n", message.c_str());
    std::exit(2);
}

void usage() {
    std::fputs(
        "usage: vopa-pack [--stub STUB] (--archive ARCHIVE.lzh | --files DIR) --out INSTALLER.exe "
        "[fields]\n"
        "       vopa-pack --list INSTALLER.exe | --test INSTALLER.exe\n"
        "without --stub, the stub is vopa-stub.exe beside vopa-pack\n"
        "archive options (with --files):\n"
        "  --method M              lh7 (default), lh6, lh5 or lh0; a file that would not\n"
        "                          shrink is stored as -lh0- in any case\n"
        "  --level N               compression level 1 (fast) to 9 (small), default 6\n"
        "  --header-level N        header level 2 (default) or 1\n"
        "  --sign CERT KEY         sign the finished installer with osslsigncode (PEM files)\n"
        "  --mtime SECONDS         stamp every member with this time (reproducible builds)\n"
        "  --quiet                 no progress line while packing (shown only on a terminal)\n"
        "fields of the setup block (texts in UTF-8, stored as code page 932):\n"
        "  --title TEXT            window and dialog caption (default: \"Vopa SFX\")\n"
        "  --program-files         place a relative --folder under \\Program Files\\\n"
        "  --folder NAME           destination folder name, relative or with a drive\n"
        "  --program FILE          program file name, e.g. Vopa.exe\n"
        "  --start-menu N, --desktop N, --send-to N\n"
        "                          shortcut option bytes: 1 changeable, 2 made (default 3)\n"
        "  --launch FILE           file opened after installation\n"
        "  --shortcut NAME         shortcut base name (default: the program's base name)\n"
        "  --no-setup-block        write the single 0 marker instead of a block\n",
        stderr);
    std::exit(2);
}

// The whole file, or false with `error` set; safe on any thread.
bool readHostFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
    std::FILE* f = openFile(path, "rb");
    if (!f) return error = "cannot open " + path + ": " + std::strerror(errno), false;
    bytes.clear();
    if (std::fseek(f, 0, SEEK_END) == 0) {  // one allocation for the usual file
        const long size = std::ftell(f);
        if (size > 0) bytes.reserve(static_cast<std::size_t>(size));
        std::rewind(f);
    }
    std::uint8_t chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    const bool bad = std::ferror(f);
    std::fclose(f);
    if (bad) error = "cannot read " + path;
    return !bad;
}

// Up to `length` bytes from `offset`, as the packer reads a product file; safe on any thread.
long long readHostPart(const std::string& path, std::uint64_t offset, std::uint8_t* out,
                       std::size_t length, std::string& error) {
    std::FILE* f = openFile(path, "rb");
    if (!f) return error = "cannot open " + path + ": " + std::strerror(errno), -1;
    // Listed files are under 2 GiB: every offset fits a long.
    bool bad = offset && std::fseek(f, static_cast<long>(offset), SEEK_SET) != 0;
    const std::size_t n = bad ? 0 : std::fread(out, 1, length, f);
    bad = bad || std::ferror(f);
    std::fclose(f);
    if (bad) return error = "cannot read " + path, -1;
    return static_cast<long long>(n);
}

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!readHostFile(path, bytes, error)) fail(error);
    return bytes;
}

std::string toCp932(const std::string& utf8, const char* field) {
    std::string out;
    if (!utf8ToCp932(utf8, out))
        fail(std::string(field) + " \"" + utf8 + "\" cannot be written in code page 932");
    return out;
}

// For display only: a name that does not convert is shown as it is stored.
std::string fromCp932(const std::string& text) {
    std::string out;
    return cp932ToUtf8(text, out) ? out : text;
}

struct Options {
    std::string stub, archive, files, out, list, test, signCert, signKey;
    std::string damage;  // the tests' switch: a member packed wrong on purpose
    int headerLevel = 2;
    int level = 6;
    int method = 7;  // index in the method table; -lh0- stores only
    long long mtime = -1;
    std::string title, folder, program, launch, shortcut;
    bool programFiles = false, noBlock = false, quiet = false;
    int startMenu = 3, desktop = 3, sendTo = 3;
};

// The whole of `text` as a number from `low` to `high` ("7x" is no 7, nor "" 0), else
// `refusal`. Option bytes may be written in hex or octal (`base` 0).
long long integerOption(const char* text, long long low, long long high, const std::string& refusal,
                        int base = 10) {
    char* end;
    const long long v = std::strtoll(text, &end, base);
    if (end == text || *end || v < low || v > high) fail(refusal);
    return v;
}

int optionByte(const char* text, const char* name) {
    return static_cast<int>(
        integerOption(text, 0, 255, std::string(name) + " takes a byte value 0 to 255", 0));
}

Options parse(const std::vector<std::string>& argv) {
    Options o;
    const std::size_t argc = argv.size();
    for (std::size_t i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) fail(a + " needs a value");
            return argv[++i].c_str();
        };
        if (a == "--stub") o.stub = value();
        else if (a == "--archive") o.archive = value();
        else if (a == "--files") o.files = value();
        else if (a == "--list") o.list = value();
        else if (a == "--test") o.test = value();
        else if (a == "--sign") {
            if (*kSigningRefused) fail(kSigningRefused);
            o.signCert = value();
            o.signKey = value();
        } else if (a == "--header-level") {
            o.headerLevel =
                static_cast<int>(integerOption(value(), 1, 2, "--header-level takes 1 or 2"));
        } else if (a == "--level") {
            o.level = static_cast<int>(integerOption(value(), 1, 9, "--level takes 1 to 9"));
        } else if (a == "--method") {
            std::string m = value();
            o.method = m.size() == 3 ? findMethod(("-" + m + "-").c_str()) : -1;
            if (o.method != 0 && (o.method < 5 || o.method > 7))
                fail("--method takes lh5, lh6, lh7 or lh0");
        } else if (a == "--mtime") {
            // An empty value (an unset variable, say) is no time of 1970.
            o.mtime = integerOption(value(), 0, 0xFFFFFFFFll, "--mtime takes seconds since 1970");
        } else if (a == "--out") o.out = value();
        else if (a == "--title") o.title = value();
        else if (a == "--folder") o.folder = value();
        else if (a == "--program") o.program = value();
        else if (a == "--launch") o.launch = value();
        else if (a == "--shortcut") o.shortcut = value();
        else if (a == "--program-files") o.programFiles = true;
        else if (a == "--quiet") o.quiet = true;
        else if (a == "--no-setup-block") o.noBlock = true;
        else if (a == "--start-menu") o.startMenu = optionByte(value(), "--start-menu");
        else if (a == "--desktop") o.desktop = optionByte(value(), "--desktop");
        else if (a == "--send-to") o.sendTo = optionByte(value(), "--send-to");
#if defined(VOPA_TEST_SWITCHES)
        else if (a == "--damage-member") o.damage = value();
#endif
        else if (a == "--help" || a == "-h") usage();
        else fail("unknown option " + a + " (see --help)");
    }
    if (!o.list.empty() || !o.test.empty()) return o;
    if (o.out.empty() || o.archive.empty() == o.files.empty()) usage();
    if (o.stub.empty()) o.stub = besideThisProgram("vopa-stub.exe");
    return o;
}

std::string setupBlock(const Options& o) {
    SetupBlock b;
    b.present = !o.noBlock;
    b.title = toCp932(o.title, "--title");
    b.underProgramFiles = o.programFiles;
    b.folder = toCp932(o.folder, "--folder");
    b.program = toCp932(o.program, "--program");
    b.startMenu = static_cast<std::uint8_t>(o.startMenu);
    b.desktop = static_cast<std::uint8_t>(o.desktop);
    b.sendTo = static_cast<std::uint8_t>(o.sendTo);
    b.launch = toCp932(o.launch, "--launch");
    b.shortcut = toCp932(o.shortcut, "--shortcut");
    std::string bytes, error;
    if (!writeSetupBlock(b, bytes, error)) fail(error);
    return bytes;
}

// --- writing an archive from a folder

struct SourceFile {
    std::string hostPath;  // UTF-8
    std::string name;      // code page 932, "/" separators; folders end in "/"
    bool folder;
    std::uint32_t mtime;
    std::uint64_t size;
};

// `dir` is the host path of the folder that is `relative` inside the product.
void collect(const std::string& dir, const std::string& relative, std::vector<SourceFile>& out) {
    std::vector<FolderEntry> entries;
    std::string error;
    if (!listFolder(dir, entries, error)) fail("cannot read folder " + dir + ": " + error);
    // Sorted by their UTF-8 bytes: the same input gives the same bytes, on any system.
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    for (const FolderEntry& e : entries) {
        std::string rel = relative.empty() ? e.name : relative + "/" + e.name;
        std::string host = pathIn(dir, e.name);
        bool folder = e.kind == EntryKind::folder;
        if (e.kind == EntryKind::other) fail(host + " is neither a file nor a folder");
        if (!folder && e.size >= 0x80000000ull)
            fail(host + " is 2 GiB or more: the installer cannot hold it");
        std::string name = toCp932(rel, "file name") + (folder ? "/" : "");
        // The installer writes below a destination folder into 260-byte paths.
        if (name.size() > kLongestPath)
            fail("path " + rel + " is longer than " + std::to_string(kLongestPath) +
                 " bytes in code page 932");
        // Headers hold 1970 to 2106: a time outside is stamped as the nearest end, not wrapped.
        const auto mtime = static_cast<std::uint32_t>(
            std::clamp<std::int64_t>(e.mtime, 0, std::numeric_limits<std::uint32_t>::max()));
        out.push_back({host, name, folder, mtime, folder ? 0u : e.size});
        if (folder) collect(host, rel, out);
    }
}

// Where the default destination would be: a folder with a drive as it stands, else
// under "C:\\Program Files\\" or, when the block says the current folder, under one of
// up to kCurrentFolderReserve bytes (a downloads folder, say).
constexpr std::size_t kCurrentFolderReserve = 64;
std::size_t defaultDestinationLength(const std::string& folder, bool programFiles) {
    if (folder.size() >= 2 && folder[1] == ':') return folder.size();
    if (programFiles && !folder.empty()) return std::strlen("C:\\Program Files\\") + folder.size();
    return kCurrentFolderReserve + (folder.empty() ? 0 : 1 + folder.size());
}

const char* ruleOf(ArchiveProblem p) {
    switch (p) {
        case ArchiveProblem::escapes: return "would reach outside the destination";
        case ArchiveProblem::unusableName:
            return "is a name Windows refuses or would change (a device name, one of "
                   "< > \" | ? * or a control character, or a name ending in a dot or a space)";
        case ArchiveProblem::sameName: return "is one file under Windows with ";
        case ArchiveProblem::nameTooLong: return "is longer than 259 bytes";
        case ArchiveProblem::unknownMethod:
            return "is packed with a method the installer cannot decode";
        case ArchiveProblem::tooLarge: return "is 2 GiB or more";
        case ArchiveProblem::damagedMember: return "is damaged";
        default: return "cannot be read";
    }
}

// The archive through the installer's own check: what it would refuse is refused here.
// With `expected`, each member must come back under the name it was given.
ArchiveSummary checkAsTheInstaller(const std::vector<std::uint8_t>& archive, bool decode,
                                   const std::vector<SourceFile>* expected = nullptr) {
    std::FILE* f = openScratchFile();
    if (!f || std::fwrite(archive.data(), 1, archive.size(), f) != archive.size())
        fail("cannot write a temporary file");
    std::rewind(f);
    CheckOptions options;
    options.decode = decode;
    std::size_t index = 0;
    options.onMember = [&](const EntryHeader&, const MemberTarget& target) {
        if (!expected || (*expected)[index].name == target.path) return ++index, true;
        fail("file " + fromCp932((*expected)[index].name) + " would be installed as " +
             fromCp932(target.path));
    };
    ArchiveSummary s = checkArchive(f, options);
    std::fclose(f);
    if (s.problem == ArchiveProblem::damagedHeader || s.problem == ArchiveProblem::unknownHeader)
        fail("the archive's headers do not read");
    if (s.problem != ArchiveProblem::none)
        fail("file " + fromCp932(s.member) + " " + ruleOf(s.problem) + fromCp932(s.other));
    return s;
}

// The longest member path must fit after the default destination and a "\\".
void checkRoom(const Options& o, const ArchiveSummary& s) {
    const std::size_t destination =
        defaultDestinationLength(toCp932(o.folder, "--folder"), o.programFiles);
    if (s.longestName > roomAfterDestination(destination))
        fail("the longest member path, " + std::to_string(s.longestName) +
             " bytes, does not fit after the default destination (" + std::to_string(destination) +
             " bytes) in the installer's 259: it may have " +
             std::to_string(roomAfterDestination(destination)) + " bytes");
}

double mb(std::uint64_t bytes) { return static_cast<double>(bytes) / 1e6; }

// One line on the terminal, rewritten in place while the files are packed.
class ProgressLine {
public:
    void show(std::uint64_t done, std::uint64_t total, const std::string& member) {
        const auto t = std::chrono::steady_clock::now();
        if (shown_ && done < total && t - last_ < std::chrono::milliseconds(200)) return;
        if (!shown_) start_ = t;
        shown_ = true;
        last_ = t;
        const double seconds = std::chrono::duration<double>(t - start_).count();
        char text[96];
        std::snprintf(text, sizeof text, "packing %.1f of %.1f MB, %.1f MB/s: ", mb(done),
                      mb(total), seconds > 0 ? mb(done) / seconds : 0.0);
        std::string name = fromCp932(member);
        std::fprintf(stderr, "\r%s%s\x1b[K", text, name.c_str());
    }
    void end() {
        if (shown_) std::fputc('\n', stderr);
    }

private:
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_, last_;
};

// The members of the folder's files, packed; copied files are read again when written.
struct PackedFolder {
    std::vector<SourceFile> files;
    std::vector<LhaMember> members;
    std::vector<PackFault> faults;  // members the self-check had to pack again
};

ReadPackFile readerOf(const std::vector<SourceFile>& files) {
    return [&files](std::size_t i, std::uint64_t offset, std::uint8_t* out, std::size_t length,
                    std::string& error) {
        return readHostPart(files[i].hostPath, offset, out, length, error);
    };
}

// The files a run writes: the installer is written beside --out, then renamed over it.
std::string partFile(const Options& o) { return o.out + ".part"; }
std::vector<std::string> writtenFiles(const Options& o) { return {o.out, partFile(o)}; }

// An installer written into the product folder is no part of the product: the one a run
// before left there would go into the next.
bool isTheOutput(const SourceFile& f, const Options& o) {
    if (f.folder) return false;
    const std::vector<std::string> written = writtenFiles(o);
    if (std::none_of(written.begin(), written.end(),
                     [&](const std::string& w) { return sameFile(f.hostPath, w); }))
        return false;
    std::fprintf(stderr, "vopa-pack: leaving out %s: it is the installer being written\n",
                 f.hostPath.c_str());
    return true;
}

PackedFolder packFolder(const Options& o) {
    PackedFolder packed;
    std::vector<SourceFile>& files = packed.files;
    collect(o.files, "", files);
    files.erase(std::remove_if(files.begin(), files.end(),
                               [&](const SourceFile& f) { return isTheOutput(f, o); }),
                files.end());
    if (files.empty()) fail(o.files + " holds no files");
    {
        // Names first, through the installer's check, before anything is compressed.
        std::vector<LhaMember> names;
        for (const SourceFile& f : files)
            names.push_back(f.folder ? folderMember(f.name, 0, o.headerLevel)
                                     : storedMember(f.name, {}, 0, o.headerLevel));
        std::vector<std::uint8_t> headers;
        std::string error;
        if (!writeArchive(names, headers, error)) fail(error);
        checkRoom(o, checkAsTheInstaller(headers, false, &files));
    }
    std::vector<PackFile> listed;
    for (const SourceFile& f : files)
        listed.push_back({f.name, f.folder,
                          o.mtime >= 0 ? static_cast<std::uint32_t>(o.mtime) : f.mtime, f.size});
    PackOptions options;
    options.method = o.method;
    options.level = o.level;
    options.headerLevel = o.headerLevel;
    for (std::size_t i = 0; i < files.size() && !o.damage.empty(); ++i)
        if (fromCp932(files[i].name) == o.damage) options.damageMember = i;
    ProgressLine line;
    PackProgress progress;
    if (!o.quiet && standardErrorIsTerminal())
        progress = [&](std::uint64_t done, std::uint64_t total, std::size_t member) {
            line.show(done, total, files[member].name);
        };
    std::string error;
    if (!packMembers(listed, options, readerOf(files), packed.members, error, progress,
                     &packed.faults))
        fail(error);
    line.end();
    for (const PackFault& f : packed.faults)
        std::fprintf(stderr,
                     "vopa-pack: packer fault: %s did not decode back to its bytes at %.5s level "
                     "%d; it is written %s, which does. The installer is right; please report "
                     "this file.\n",
                     fromCp932(files[f.member].name).c_str(), kMethodTable[f.method].identifier,
                     f.level,
                     f.fallbackLevel ? ("at level " + std::to_string(f.fallbackLevel)).c_str()
                                     : "stored");
    return packed;
}

// An archive given as it is must install as well.
std::vector<std::uint8_t> givenArchive(const Options& o) {
    std::vector<std::uint8_t> bytes = readFile(o.archive);
    const ArchiveSummary s = checkAsTheInstaller(bytes, true);
    // An empty file reads as an archive that ends at once: an installer of nothing.
    if (s.members == 0) fail(o.archive + " holds no files");
    checkRoom(o, s);
    return bytes;
}

// --- reading an installer back

// The payload record in the stub's area of the installer file `f`; length 0 when none.
PayloadRecord payloadRecordOf(std::FILE* f, const PeImageInfo& image) {
    PayloadRecord record;
    unsigned char area[kPayloadRecordBytes];
    if (image.recordOffset && std::fseek(f, static_cast<long>(image.recordOffset), SEEK_SET) == 0 &&
        std::fread(area, 1, sizeof area, f) == sizeof area)
        readPayloadRecord(area, record);
    return record;
}

// Writes the record of everything after the image into the installer file at `path`, in
// the stub's area (no section changes size: the payload stays where the image ends).
bool recordPayload(const std::string& path, const PeImageInfo& image) {
    std::FILE* f = openFile(path, "r+b");
    if (!f) return false;
    PayloadRecord record;
    record.crc = crc32OfStream(f, image.imageEnd, ~std::uint64_t{0}, record.length);
    unsigned char area[kPayloadRecordBytes];
    writePayloadRecord(area, record);
    bool ok = !std::ferror(f) && std::fseek(f, static_cast<long>(image.recordOffset), SEEK_SET) == 0 &&
              std::fwrite(area, 1, sizeof area, f) == sizeof area;
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

// The stub and its payload record, then the setup block.
SetupBlock showStubAndBlock(std::FILE* f, const std::string& path, const PeImageInfo& image,
                            const PayloadRecord& record) {
    // The stub's size is where its image ends: the setup block follows.
    std::printf("stub: %s, %u bytes\n", image.kind == PeKind::pe32 ? "PE32" : "PE32+",
                image.imageEnd);
    if (record.length)
        std::printf("payload record: %llu bytes, CRC-32 %08x\n",
                    static_cast<unsigned long long>(record.length), record.crc);
    else
        std::printf("payload record: none (%s)\n",
                    image.recordOffset ? "the stub's area is empty" : "the stub has no area for it");
    SetupBlock block;
    std::fseek(f, static_cast<long>(image.imageEnd), SEEK_SET);
    if (!readSetupBlock(f, block)) fail(path + ": the setup block is cut short");
    if (!block.present) {
        std::printf("no setup block\n");
        return block;
    }
    DestinationSources sources;
    sources.currentDirectory = "(current folder)";
    sources.windowsDirectory = "C:\\WINDOWS";
    char destination[kPathCapacity];
    if (!composeDestination(destination, sizeof destination, block.folder.c_str(),
                            block.underProgramFiles, sources))
        std::snprintf(destination, sizeof destination, "(longer than %zu bytes)", kLongestPath);
    std::printf(
        "title: %s\ndestination: %s\nprogram: %s\noptions: start menu %u, desktop %u, "
        "send to %u\nlaunch: %s\nshortcut: %s\n",
        fromCp932(block.title.empty() ? std::string(kDefaultTitle) : block.title).c_str(),
        fromCp932(destination).c_str(), fromCp932(block.program).c_str(), block.startMenu,
        block.desktop, block.sendTo, fromCp932(block.launch).c_str(),
        fromCp932(block.shortcut).c_str());
    return block;
}

// A line per member, from the stream's place on; how the walk ended in `last`.
int listMembers(std::FILE* f, HeaderRead& last) {
    EntryHeader h;
    int members = 0;
    while ((last = readEntryHeader(f, h, 0)) == HeaderRead::member) {
        ++members;
        std::printf("%.5s %10llu %10llu  %04x  %s%s\n", h.method,
                    static_cast<unsigned long long>(h.fullPackedSize),
                    static_cast<unsigned long long>(h.fullOriginalSize), h.crc,
                    fromCp932(h.name).c_str(),
                    findMethod(h.method) < 0 ? "  (method not installed)" : "");
        if (!seekStream(f, tellStream(f) + h.fullPackedSize)) break;
    }
    return members;
}

// What the installer itself would say of the installer file: its payload against the
// record (with `test`), then the archive's check (with `test`, every member decoded to
// its CRC, as it does before it writes). The number of problems found.
int checkAsTheInstallerWould(std::FILE* f, const PeImageInfo& image, const PayloadRecord& record,
                             const SetupBlock& block, std::uint64_t archiveStart, bool test) {
    int bad = 0;
    seekStream(f, archiveStart);
    CheckOptions options;
    options.decode = test;
    const ArchiveSummary s = checkArchive(f, options);
    if (test && record.length &&
        (!payloadMatches(f, image.imageEnd, record, image.certificateOffset) ||
         (s.problem == ArchiveProblem::none && s.end != image.imageEnd + record.length))) {
        std::printf("the payload is DAMAGED: not the bytes its record describes\n");
        ++bad;
    }
    if (s.members == 0 && s.problem == ArchiveProblem::none) {
        std::printf("the installer refuses it: the archive holds no members\n");
        ++bad;
    }
    const std::size_t destination = defaultDestinationLength(block.folder, block.underProgramFiles);
    std::printf("longest member path: %zu bytes; room after the default destination: %zu bytes\n",
                s.longestName, roomAfterDestination(destination));
    if (s.problem == ArchiveProblem::damagedMember) {
        std::printf("file %s is DAMAGED\n", fromCp932(s.member).c_str());
        ++bad;
    } else if (s.problem != ArchiveProblem::none && s.problem != ArchiveProblem::damagedHeader) {
        std::printf("the installer refuses it: file %s %s%s\n", fromCp932(s.member).c_str(),
                    ruleOf(s.problem), fromCp932(s.other).c_str());
        ++bad;
    }
    return bad;
}

int inspect(const std::string& path, bool test) {
    std::FILE* f = openFile(path, "rb");
    if (!f) fail("cannot open " + path + ": " + std::strerror(errno));
    const PeImageInfo image = readPeImageInfo(f);
    if (image.kind == PeKind::notPe) fail(path + " is not an installer (not a PE executable)");
    const PayloadRecord record = payloadRecordOf(f, image);
    const SetupBlock block = showStubAndBlock(f, path, image, record);
    initCrcTable();
    const std::uint64_t archiveStart = tellStream(f);
    HeaderRead last;
    const int members = listMembers(f, last);
    int bad = 0;
    if (last != HeaderRead::end) {
        std::printf("the archive ends with a damaged header\n");
        ++bad;
    }
    bad += checkAsTheInstallerWould(f, image, record, block, archiveStart, test);
    std::fclose(f);
    std::printf("%d members%s\n", members, test ? (bad ? ", DAMAGED" : ", all ok") : "");
    return bad ? 1 : 0;
}

// The stub's bytes, which must be a bare PE image of ours.
std::vector<std::uint8_t> readStub(const Options& o, PeImageInfo& image) {
    std::vector<std::uint8_t> stub = readFile(o.stub);
    std::FILE* f = openFile(o.stub, "rb");
    if (f) image = readPeImageInfo(f);
    if (f) std::fclose(f);
    if (image.kind == PeKind::notPe) fail(o.stub + " is not a PE executable");
    if (image.imageEnd != stub.size())
        fail(o.stub + " already carries data after its image (" +
             std::to_string(stub.size() - image.imageEnd) + " bytes)");
    if (!image.recordOffset)
        std::fprintf(stderr, "vopa-pack: %s has no area for the payload record: the "
                             "installer cannot check itself whole\n", o.stub.c_str());
    return stub;
}

// Stub, setup block and archive into `temporary`, then the payload's record; false with
// `error` set, or empty when the file took no more bytes (errno says why).
bool writeInstaller(const std::string& temporary, const std::vector<std::uint8_t>& stub,
                    const PeImageInfo& image, const std::string& block,
                    const std::vector<std::uint8_t>& given, const PackedFolder& packed,
                    std::string& error) {
    std::FILE* out = openFile(temporary, "wb");
    if (!out) fail("cannot create " + temporary + ": " + std::strerror(errno));
    bool ok =
        std::fwrite(stub.data(), 1, stub.size(), out) == stub.size() &&
        std::fwrite(block.data(), 1, block.size(), out) == block.size() &&
        (packed.files.empty() ? std::fwrite(given.data(), 1, given.size(), out) == given.size()
                              : writePackedArchive(packed.members, readerOf(packed.files), out,
                                                   error));
    ok = (std::fclose(out) == 0) && ok;
    // The record of the finished payload, read back from the file as written.
    return ok && (!image.recordOffset || recordPayload(temporary, image));
}

}  // namespace

int main(int argc, char** argv) {
    Options o = parse(hostArguments(argc, argv));
    if (!o.list.empty()) return inspect(o.list, false);
    if (!o.test.empty()) return inspect(o.test, true);
    // Neither file a run writes may be an input.
    for (const std::string* input : {&o.stub, &o.archive})
        for (const std::string& output : writtenFiles(o))
            if (!input->empty() && sameFile(*input, output))
                fail(*input + " is an input: writing " + output + " would replace it");
    PeImageInfo image;
    const std::vector<std::uint8_t> stub = readStub(o, image);
    const std::string block = setupBlock(o);
    std::vector<std::uint8_t> given;
    PackedFolder packed;
    if (o.files.empty()) given = givenArchive(o);
    else packed = packFolder(o);

    // Written beside the target and renamed, so a failed run leaves no half installer.
    const std::string temporary = partFile(o);
    std::string error;
    if (!writeInstaller(temporary, stub, image, block, given, packed, error)) {
        removeFile(temporary);
        fail(error.empty() ? "cannot write " + o.out + ": " + std::strerror(errno) : error);
    }
    // The signature goes after the payload; the setup block stays where the image ends,
    // so the signed file installs the same.
    if (!o.signCert.empty() && !signInstaller(temporary, o.signCert, o.signKey)) {
        removeFile(temporary);
        fail("signing with osslsigncode failed");
    }
    if (!replaceFile(temporary, o.out)) {
        removeFile(temporary);
        fail("cannot write " + o.out + ": " + std::strerror(errno));
    }
    // Written and right, but the packer met a fault of its own: a build should notice.
    return packed.faults.empty() ? 0 : kStatusPackerFault;
}
