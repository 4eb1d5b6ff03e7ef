// Member paths: the archive format's rules, and the final check that keeps every
// member inside the destination.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "extract/entry_path.h"

namespace {

std::string sanitized(const std::string& name) {
    char path[260] = {};
    std::memcpy(path, name.data(), name.size());
    sanitizeEntryPath(path, '/');
    return path;
}

}  // namespace

TEST(EntryPath, DocumentedExamples) {
    EXPECT_EQ(sanitized("/abs/x.txt"), "abs/x.txt");
    EXPECT_EQ(sanitized("../../etc/x"), "etc/x");
    EXPECT_EQ(sanitized("a/../b.txt"), "a/b.txt");
    EXPECT_EQ(sanitized("a/./b"), "a/b");
    EXPECT_EQ(sanitized("C:/x/y.txt"), "x/y.txt");
    EXPECT_EQ(sanitized("C:../x"), "x");
    EXPECT_EQ(sanitized("a/.profile"), "a/profile");
    EXPECT_EQ(sanitized("x/.."), "x/");
    EXPECT_EQ(sanitized("a.b/c"), "a.b/c");
    EXPECT_EQ(sanitized("dir/"), "dir/");
    for (const char* ok : {"abs/x.txt", "etc/x", "a/b", "x/", "dir/", "a.b/c", "\x95\x5C/x.txt"})
        EXPECT_EQ(checkEntryPath(ok), PathVerdict::inside) << ok;
}

TEST(EntryPath, KnownEscapesOfTheRulesAreCaughtByTheFinalCheck) {
    const char* hostile[] = {
        "C://Windows/x.dll",  // one separator dropped after the drive: "/Windows/x.dll"
        "C:///srv/share/x",   // "//srv/share/x"
        "a\\..\\..\\x.dll",   // "\" separates on Windows; stripping knows only "/"
        "x\x80\\..\\y",       // 0x80 is no lead byte for Windows: "\" is real
        "..\\x",
        "\\\\server\\share\\x",
        "a/b:stream",
        "C:\\x",
        "a/ ../x",
        "a/.. /x",
    };
    for (const char* name : hostile) {
        std::string path = sanitized(name);
        EXPECT_NE(checkEntryPath(path.c_str()), PathVerdict::inside) << name << " -> " << path;
    }
}

TEST(EntryPath, DotRunsTheRulesAlreadyRemove) {
    EXPECT_EQ(sanitized("D:x"), "x");
    EXPECT_EQ(sanitized("a/.../x"), "a/x");
}

TEST(EntryPath, DeviceNamesInAnyCaseFolderOrExtension) {
    for (const char* name :
         {"CON", "con.txt", "dir/Nul", "aux.tar.gz", "a/b/COM1", "lpt9.log", "Prn", "com5 .txt"})
        EXPECT_EQ(checkEntryPath(name), PathVerdict::deviceName) << name;
    for (const char* name : {"CONSOLE", "com0", "lpt", "nul_", "a/comx.txt", "context.txt"})
        EXPECT_EQ(checkEntryPath(name), PathVerdict::inside) << name;
}

TEST(EntryPath, EmptyAndOnlySeparators) {
    EXPECT_EQ(checkEntryPath(sanitized("").c_str()), PathVerdict::empty);
    EXPECT_EQ(checkEntryPath(sanitized("/").c_str()), PathVerdict::empty);
    EXPECT_EQ(checkEntryPath(sanitized("./././").c_str()), PathVerdict::empty);
    EXPECT_EQ(checkEntryPath(sanitized("....").c_str()), PathVerdict::empty);
}

TEST(EntryPath, LongNamesStayInTheirBuffer) {
    std::string name(259, 'a');
    for (std::size_t i = 10; i < name.size(); i += 10) name[i] = '/';
    std::string out = sanitized(name);
    EXPECT_EQ(out.size(), 259u);
    EXPECT_EQ(checkEntryPath(out.c_str()), PathVerdict::inside);
}
