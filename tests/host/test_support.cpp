#include "tests/host/test_support.h"

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "decode/crc16.h"
#include "decode/lha_format.h"
#include "extract/lha/archive_check.h"
#include "extract/lha/entry_path.h"
#include "extract/lha/header_layout.h"
#include "extract/lha/member_data.h"

namespace fs = std::filesystem;

Bytes readWholeFile(const std::string& path) {
    if (!fs::is_regular_file(path)) return {};  // reading a folder would throw
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

void writeWholeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

std::FILE* streamOf(const Bytes& bytes, const char* after) {
    std::FILE* f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fputs(after, f);
    std::rewind(f);
    return f;
}

int runCommand(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool haveTool(const char* name) {
    return runCommand(std::string("command -v ") + name + " >/dev/null 2>&1") == 0;
}

namespace {
// Removed at exit unless a test failed, whose files stay to be looked at.
struct TempDirs : std::vector<std::string> {
    ~TempDirs() {
        std::error_code e;
        if (!testing::UnitTest::GetInstance()->Failed())
            for (const std::string& d : *this) fs::remove_all(d, e);
    }
} tempDirs;
}  // namespace

std::string makeTempDir() {
    char pattern[] = "/tmp/vopa-test-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (dir) tempDirs.push_back(dir);
    return dir ? dir : "/tmp";
}

bool exists(const std::string& path) { return fs::exists(path); }

namespace {

// Everything written to the stream, which is closed.
Bytes contentsOf(std::FILE* f) {
    Bytes bytes(static_cast<std::size_t>(std::ftell(f)));
    std::rewind(f);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
    std::fclose(f);
    return bytes;
}

std::uint32_t nextRandom(std::uint32_t& x) { return x = x * 1103515245u + 12345u; }

}  // namespace

Bytes textLike(std::size_t n, std::uint32_t seed) {
    static const char* words[] = {"archive", "folder", "install", "the", "of",     "Vopa",
                                  "shell",   "data",   "member",  "\n",  "header", ", "};
    Bytes out;
    while (out.size() < n) {
        const char* w = words[(nextRandom(seed) >> 16) % 12];
        out.insert(out.end(), w, w + std::strlen(w));
        out.push_back(' ');
    }
    out.resize(n);
    return out;
}

Bytes noise(std::size_t n, std::uint32_t seed) {
    Bytes out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(nextRandom(seed) >> 24);
    return out;
}

Bytes runs(std::size_t n) {
    Bytes out;
    while (out.size() < n) {
        out.insert(out.end(), 3000, 0);
        out.insert(out.end(), 700, 'a');
        for (int i = 0; i < 300; ++i) out.push_back(static_cast<std::uint8_t>(i % 3));
    }
    out.resize(n);
    return out;
}

Bytes mixed(std::size_t n) {
    Bytes out;
    for (std::uint32_t seed = 1; out.size() < n; seed += 2) {
        Bytes t = textLike(1 << 20, seed), r = noise(1 << 18, seed + 1), u = runs(1 << 17);
        for (const Bytes* part : {&t, &r, &u}) out.insert(out.end(), part->begin(), part->end());
    }
    out.resize(n);
    return out;
}

std::string corpusDir() {
    const char* dir = std::getenv("VOPA_CORPUS");
    return dir && fs::exists(dir) ? dir : "";
}

std::vector<std::string> listArchives(const std::string& root) {
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (!e.is_directory() && e.path().filename() != "README.md") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

void lhasaExtract(const std::string& archive, const std::string& dir) {
    runCommand("mkdir -p '" + dir + "' && cd '" + dir + "' && lhasa -xqw='" + dir + "' '" +
               archive + "' >/dev/null 2>&1");
}

std::string lhasaFile(const std::string& dir, const std::string& path) {
    std::string lower = path;  // lhasa writes all-capital MS-DOS names in lower case
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const std::string& file : {dir + "/" + path, dir + "/" + lower})
        if (fs::is_regular_file(file)) return file;
    return "";
}

const char* expectedFailure(const std::string& path, bool* decodes) {
    struct Expectation {
        const char* path;
        const char* message;
        bool decodes;
    };
    static const Expectation kExpected[] = {
        {"/lhark04d/lh7", "が壊れています", false},  // another variant under the -lh7- name
        {"/regression/truncated.lzh", "が壊れています", false},  // cut short
        // A file "subdir" (OS/2 extended attributes), then a member inside a folder of
        // that name: one name for a file and a folder.
        {"/lh2_222/easubdir.lzh", "同じ名前", true},
        // Names Windows has no file for: terminal escapes and control characters, and
        // Unix symbolic links, stored as "name|target".
        {"/regression/badterm.lzh", "は使用できません", true},
        {"symlink", "は使用できません", true},
        {"/lha_os2_208/h3_", "Unknown header", true},  // header level 3, not read
        // Methods of other archivers (-pm0- to -pm2-, -lhx-).
        {"/pmarc", "展開できない形式", true},
        {"/generated/pm1/", "展開できない形式", true},
        {"lhx", "展開できない形式", true},
    };
    for (const Expectation& e : kExpected) {
        if (path.find(e.path) == std::string::npos) continue;
        if (decodes) *decodes = e.decodes;
        return e.message;
    }
    if (decodes) *decodes = true;
    return nullptr;
}

Text le16(unsigned v) { return Text{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
Text le32(std::uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }

Text withChecksum(Text h) {
    h[1] = static_cast<char>(
        headerChecksum(reinterpret_cast<const std::uint8_t*>(h.data()), std::uint8_t(h[0])));
    return h;
}

Text level01(int level, const Text& name, const Text& tail, std::uint32_t packed) {
    Text body = "-lh5-" + le32(packed) + le32(26948) + le32(0x2B1E2A6D) + "\x20" +
                static_cast<char>(level) + static_cast<char>(name.size()) + name + tail;
    return withChecksum(static_cast<char>(body.size()) + Text("\x00", 1) + body);
}

Text level2(const Text& ext, std::uint32_t packed, char os) {
    Text withExt = Text("-lh5-") + le32(packed) + le32(3) + le32(999148766) + Text("\x20\x02", 2) +
                   le16(0xBEEF) + os + ext;
    return le16(static_cast<unsigned>(2 + withExt.size())) + withExt;
}

Text extended(char type, const Text& data) {
    return le16(static_cast<unsigned>(data.size() + 3)) + type + data;
}

Text os68kHeader(std::uint32_t packed, std::uint16_t crc) {
    return le16(44) + "-lh5-" + le32(packed) + le32(18092) + le32(0x4B3D8F60) + "\x20\x02" +
           le16(crc) + "K" + le16(5) + "\x50" + le16(0x27) + le16(7) + "\x51" + le32(0) +
           le16(8) + "\x01gpl-2" + le16(0);
}

Bytes archiveOf(const std::vector<LhaMember>& members) {
    Bytes out;
    std::string error;
    EXPECT_TRUE(writeArchive(members, out, error)) << error;
    return out;
}

std::vector<DecodedMember> decodeArchive(const std::string& path, long offset, HeaderRead* last) {
    initCrcTable();
    std::vector<DecodedMember> members;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return members;
    std::fseek(f, offset, SEEK_SET);
    for (;;) {
        DecodedMember m{};
        HeaderRead r = readEntryHeader(f, m.header, 0);
        if (last) *last = r;
        if (r != HeaderRead::member) break;
        std::uint64_t data = tellStream(f);
        m.methodIndex = findMethod(m.header.method);
        m.result = DecodeResult::complete;
        if (m.methodIndex >= 0 && kMethodTable[m.methodIndex].kind != MemberKind::folder) {
            std::FILE* out = std::tmpfile();
            m.result = extractMemberData(f, out, m.header, m.methodIndex);
            m.crc = runningCrc;
            m.bytes = contentsOf(out);
        }
        members.push_back(std::move(m));
        if (!seekStream(f, data + members.back().header.packedSize)) break;
    }
    std::fclose(f);
    return members;
}

Decoded decodeMember(const Bytes& packed, std::uint32_t originalSize, int method,
                     std::uint32_t packedSize) {
    initCrcTable();
    std::FILE *in = streamOf(packed, "NEXT MEMBER BYTES THAT MUST NOT BE READ"),
              *out = std::tmpfile();
    EntryHeader h{};
    h.originalSize = originalSize;
    h.packedSize = packedSize == ~0u ? static_cast<std::uint32_t>(packed.size()) : packedSize;
    const DecodeResult result = extractMemberData(in, out, h, method);
    const Bytes bytes = contentsOf(out);
    std::fclose(in);
    return {result, std::string(bytes.begin(), bytes.end()), runningCrc};
}

Bytes finished(BitWriter w) {
    w.flush();
    return w.bytes;
}

std::string sanitizedName(const char* name) {
    char path[kPathCapacity] = {};
    std::strncpy(path, name, sizeof path - 1);
    sanitizeEntryPath(path, '/');
    return path;
}

std::string win64Dir() {
    const char* dir = std::getenv("VOPA_WIN64_DIR");
    return dir ? dir : "";
}

std::string windowsPath(const std::string& host) {
    std::string p = "Z:" + host;
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
}

int runInWine(const std::string& program, const std::string& args, const std::string& prefix) {
    std::string env = prefix.empty() ? "" : "VOPA_WINE_PREFIX='" + prefix + "' ";
    return runCommand(env + "'" + std::string(VOPA_SOURCE_DIR) + "/tests/wine/run-in-wine.sh' '" +
                      program + "' " + args);
}
