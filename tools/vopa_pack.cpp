// vopa-pack: writes an installer file — the stub, a setup block made from the
// options, then an LHA archive. Texts are given in UTF-8 and stored as code page 932.
#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/pe_image.h"

namespace {

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "vopa-pack: %s\n", message.c_str());
    std::exit(2);
}

void usage() {
    std::fputs(
        "usage: vopa-pack --stub STUB --archive ARCHIVE.lzh --out INSTALLER.exe [fields]\n"
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

std::vector<char> readFile(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) fail("cannot open " + path + ": " + std::strerror(errno));
    std::vector<char> bytes;
    char chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    bool bad = std::ferror(f);
    std::fclose(f);
    if (bad) fail("cannot read " + path);
    return bytes;
}

std::string toCp932(const std::string& utf8, const char* field) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) fail("no UTF-8 to CP932 conversion on this system");
    std::string out(utf8.size() * 2 + 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size(), outLeft = out.size();
    char* o = out.data();
    std::size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1))
        fail(std::string(field) + " \"" + utf8 + "\" cannot be written in code page 932");
    out.resize(out.size() - outLeft);
    return out;
}

struct Options {
    std::string stub, archive, out;
    std::string title, folder, program, launch, shortcut;
    bool programFiles = false, noBlock = false;
    int startMenu = 3, desktop = 3, sendTo = 3;
};

int optionByte(const char* text, const char* name) {
    char* end;
    long v = std::strtol(text, &end, 0);
    if (*end || v < 0 || v > 255) fail(std::string(name) + " takes a byte value 0 to 255");
    return static_cast<int>(v);
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) fail(a + " needs a value");
            return argv[++i];
        };
        if (a == "--stub") o.stub = value();
        else if (a == "--archive") o.archive = value();
        else if (a == "--out") o.out = value();
        else if (a == "--title") o.title = value();
        else if (a == "--folder") o.folder = value();
        else if (a == "--program") o.program = value();
        else if (a == "--launch") o.launch = value();
        else if (a == "--shortcut") o.shortcut = value();
        else if (a == "--program-files") o.programFiles = true;
        else if (a == "--no-setup-block") o.noBlock = true;
        else if (a == "--start-menu") o.startMenu = optionByte(value(), "--start-menu");
        else if (a == "--desktop") o.desktop = optionByte(value(), "--desktop");
        else if (a == "--send-to") o.sendTo = optionByte(value(), "--send-to");
        else if (a == "--help" || a == "-h") usage();
        else fail("unknown option " + a + " (see --help)");
    }
    if (o.stub.empty() || o.archive.empty() || o.out.empty()) usage();
    return o;
}

void appendText(std::string& block, const std::string& utf8, const char* field) {
    std::string text = toCp932(utf8, field);
    if (text.size() > 255) fail(std::string(field) + " is longer than the block's 255 bytes");
    block += static_cast<char>(text.size());
    block += text;
}

std::string setupBlock(const Options& o) {
    if (o.noBlock) return std::string(1, '\0');
    std::string b(1, '\1');
    appendText(b, o.title, "--title");
    b += static_cast<char>(o.programFiles ? 1 : 0);
    appendText(b, o.folder, "--folder");
    appendText(b, o.program, "--program");
    b += static_cast<char>(o.startMenu);
    b += static_cast<char>(o.desktop);
    b += static_cast<char>(o.sendTo);
    appendText(b, o.launch, "--launch");
    appendText(b, o.shortcut, "--shortcut");
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    Options o = parse(argc, argv);
    std::vector<char> stub = readFile(o.stub);
    {
        std::FILE* f = std::fopen(o.stub.c_str(), "rb");
        PeImageInfo info = f ? readPeImageInfo(f) : PeImageInfo{};
        if (f) std::fclose(f);
        if (info.kind == PeKind::notPe) fail(o.stub + " is not a PE executable");
        if (info.imageEnd != stub.size())
            fail(o.stub + " already carries data after its image (" +
                 std::to_string(stub.size() - info.imageEnd) + " bytes)");
    }
    std::string block = setupBlock(o);
    std::vector<char> archive = readFile(o.archive);

    // Written beside the target and renamed, so a failed run leaves no half installer.
    std::string temporary = o.out + ".part";
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (!out) fail("cannot create " + temporary + ": " + std::strerror(errno));
    bool ok = std::fwrite(stub.data(), 1, stub.size(), out) == stub.size() &&
              std::fwrite(block.data(), 1, block.size(), out) == block.size() &&
              std::fwrite(archive.data(), 1, archive.size(), out) == archive.size();
    ok = (std::fclose(out) == 0) && ok;
    if (!ok || std::rename(temporary.c_str(), o.out.c_str()) != 0) {
        std::remove(temporary.c_str());
        fail("cannot write " + o.out + ": " + std::strerror(errno));
    }
    return 0;
}
