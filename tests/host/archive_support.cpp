#include "tests/host/archive_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "decode/crc16.h"
#include "decode/lha_format.h"
#include "extract/member_data.h"

std::vector<std::uint8_t> readWholeFile(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    std::uint8_t chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
    return bytes;
}

void writeWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
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
            long size = std::ftell(out);
            m.bytes.resize(static_cast<std::size_t>(size));
            std::rewind(out);
            if (size) std::fread(m.bytes.data(), 1, m.bytes.size(), out);
            std::fclose(out);
        }
        members.push_back(std::move(m));
        if (!seekStream(f, data + members.back().header.packedSize)) break;
    }
    std::fclose(f);
    return members;
}

int runCommand(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool haveTool(const char* name) {
    return runCommand(std::string("command -v ") + name + " >/dev/null 2>&1") == 0;
}

std::string makeTempDir() {
    char pattern[] = "/tmp/vopa-test-XXXXXX";
    const char* dir = mkdtemp(pattern);
    return dir ? dir : "/tmp";
}

std::string corpusDir() {
    const char* dir = std::getenv("VOPA_CORPUS");
    struct stat info;
    return dir && stat(dir, &info) == 0 ? dir : "";
}

std::vector<std::string> listArchives(const std::string& root) {
    std::vector<std::string> files;
    std::function<void(const std::string&)> walk = [&](const std::string& dir) {
        DIR* d = opendir(dir.c_str());
        if (!d) return;
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            std::string path = dir + "/" + name;
            struct stat info;
            if (stat(path.c_str(), &info) != 0) continue;
            if (S_ISDIR(info.st_mode)) walk(path);
            else if (name != "README.md") files.push_back(path);
        }
        closedir(d);
    };
    walk(root);
    std::sort(files.begin(), files.end());
    return files;
}
