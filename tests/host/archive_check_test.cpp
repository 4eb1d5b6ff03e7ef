// The check that runs before anything is written: each thing that makes an archive
// uninstallable is found, named and stops the check; the layouts other archivers
// write (level-2 lengths of 256 * k bytes, OS-9's short lengths, 0x1A padding, 64-bit
// sizes) are read as they are meant.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "decode/crc16.h"
#include "extract/archive_check.h"
#include "extract/entry_header.h"
#include "extract/progress.h"
#include "tests/host/test_support.h"
#include "tools/lha_writer.h"

namespace {

ArchiveSummary check(const Bytes& archive, bool decode = true) {
    std::FILE* f = streamOf(archive);
    CheckOptions options;
    options.decode = decode;
    ArchiveSummary s = checkArchive(f, options);
    EXPECT_EQ(std::ftell(f), 0L) << "the stream is left where it was";
    std::fclose(f);
    return s;
}

// A level-2 header with `extra` extended headers before its last size field, its length
// and its CRC made right again; `shortBy` leaves the length that many bytes short.
Bytes level2With(const LhaMember& m, const Bytes& extra, std::size_t shortBy = 0, char os = 'M') {
    std::string error;
    Bytes h = lhaHeader(m, error);
    std::size_t length = h[0] | (h[1] << 8);
    h.resize(length);
    while (h[h.size() - 1] == 0 && h[h.size() - 2] == 0 && h[h.size() - 3] == 0) h.pop_back();
    h.resize(h.size() - 2);  // the last size field (and any padding) go
    h.insert(h.end(), extra.begin(), extra.end());
    h.insert(h.end(), {0, 0});
    const std::size_t stated = h.size() - shortBy;
    h[0] = static_cast<std::uint8_t>(stated), h[1] = static_cast<std::uint8_t>(stated >> 8);
    h[23] = static_cast<std::uint8_t>(os);
    h[27] = h[28] = 0;  // the CRC extended header comes first: its data at 27
    std::uint16_t crc = crcOf(h.data(), h.size());
    h[27] = static_cast<std::uint8_t>(crc), h[28] = static_cast<std::uint8_t>(crc >> 8);
    h.insert(h.end(), m.data.begin(), m.data.end());
    return h;
}

Bytes size64(std::uint64_t packed, std::uint64_t original) {
    Bytes e = {19, 0, 0x42};
    for (std::uint64_t v : {packed, original})
        for (int i = 0; i < 8; ++i) e.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return e;
}

}  // namespace

TEST(ArchiveCheck, EachProblemIsFoundAndNamed) {
    const LhaMember a = storedMember("a.txt", {'a'}), b = storedMember("dir/b.txt", {'b', 'b'});
    LhaMember unknown = storedMember("x.bin", {'x'});
    std::memcpy(unknown.method, "-pm1-", 6);
    LhaMember badCrc = storedMember("crc.txt", {'c'});
    badCrc.crc ^= 1;
    LhaMember huge = storedMember("huge.bin", {'h'});
    huge.originalSize = 0x80000000u;
    LhaMember level1 = storedMember("one.txt", {'1'}, 0, 1);
    const std::size_t second = archiveOf({a}).size() - 1;  // where the second header starts
    Bytes badChecksum = archiveOf({a, level1});
    badChecksum[second + 22] ^= 1;  // a byte of the level-1 name
    Bytes badHeaderCrc = archiveOf({a});
    badHeaderCrc[33] ^= 1;  // a byte of the name extended header
    Bytes cut = archiveOf({a, b});
    cut.resize(cut.size() - 2);  // b's data runs past the end
    Bytes unknownLayout = archiveOf({a, level1});
    unknownLayout[second + 20] = 5;  // level 5
    struct Case {
        const char* what;
        Bytes archive;
        ArchiveProblem problem;
        const char* member;
    };
    const Case cases[] = {
        {"an archive that installs", archiveOf({a, b, folderMember("dir/")}), ArchiveProblem::none,
         ""},
        {"an unknown method", archiveOf({a, unknown}), ArchiveProblem::unknownMethod, "x.bin"},
        {"a CRC that does not match", archiveOf({a, badCrc, b}), ArchiveProblem::damagedMember,
         "crc.txt"},
        {"data past the end", cut, ArchiveProblem::damagedMember, "dir/b.txt"},
        {"2 GiB", archiveOf({a, huge}), ArchiveProblem::tooLarge, "huge.bin"},
        {"a level-1 checksum", badChecksum, ArchiveProblem::damagedHeader, ""},
        {"a level-2 header CRC", badHeaderCrc, ArchiveProblem::damagedHeader, ""},
        {"an unknown layout", unknownLayout, ArchiveProblem::unknownHeader, ""},
        {"one file under Windows",
         archiveOf({storedMember("README", {}), storedMember("readme", {})}),
         ArchiveProblem::sameName, "readme"},
        {"a name Windows changes", archiveOf({storedMember("notes.", {})}),
         ArchiveProblem::unusableName, "notes."},
        {"a name that escapes", archiveOf({storedMember("C://x", {})}), ArchiveProblem::escapes,
         "C://x"},
        {"a name over 259 bytes",
         archiveOf({storedMember(std::string(200, 'd') + "/" + std::string(60, 'f'), {})}),
         ArchiveProblem::nameTooLong, nullptr},
    };
    for (const Case& c : cases) {
        ArchiveSummary s = check(c.archive);
        EXPECT_EQ(s.problem, c.problem) << c.what;
        if (c.member) EXPECT_EQ(s.member, c.member) << c.what;
    }
    EXPECT_EQ(check(archiveOf({storedMember("README", {}), storedMember("readme", {})})).other,
              "README");
    // Headers and names alone: the CRC is not looked at.
    EXPECT_EQ(check(archiveOf({a, badCrc}), false).problem, ArchiveProblem::none);
    ArchiveSummary s = check(archiveOf({a, b, folderMember("dir/")}));
    EXPECT_EQ(s.members, 3u);
    EXPECT_EQ(s.totalOriginalSize, 3u);
    EXPECT_EQ(s.fileBytes, 3u);
    EXPECT_EQ(s.longestName, 9u);
}

TEST(ArchiveCheck, LayoutsOfOtherArchiversAreRead) {
    const LhaMember a = storedMember("a.txt", {'a'}), b = storedMember("b.txt", {'b'});
    Bytes end = {0};
    // A level-2 header of exactly 256 bytes: its first byte is 0, like the end marker.
    LhaMember long256 = b;
    std::string error;
    for (std::size_t n = 200; n < 260; ++n) {
        long256.name = std::string(n, 'n');
        if (lhaHeader(long256, error).size() == 257) break;  // 256 and the writer's pad
    }
    Bytes exact = level2With(long256, {});
    ASSERT_EQ(exact[0], 0);
    ASSERT_EQ(exact[1], 1);
    // OS-9: the length 2 short, its last size field after it.
    Bytes shortOne = level2With(b, {}, 2, '9'), notOs9 = level2With(b, {}, 2);
    auto join = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    Bytes first = archiveOf({a});
    first.pop_back();  // the end byte
    struct Case {
        const char* what;
        Bytes archive;
        ArchiveProblem problem;
        std::uint32_t members;
    };
    const Case cases[] = {
        {"a level-2 length of 256", join({first, exact, end}), ArchiveProblem::none, 2},
        {"OS-9's short length", join({first, shortOne, end}), ArchiveProblem::none, 2},
        {"a short length elsewhere", join({first, notOs9, end}), ArchiveProblem::unknownHeader, 1},
        {"0x1A padding", join({first, Bytes(100, 0x1A)}), ArchiveProblem::none, 1},
        {"0x1A, then more", join({first, Bytes(3, 0x1A), Bytes{'x'}}),
         ArchiveProblem::damagedHeader, 1},
        {"64-bit sizes", join({first, level2With(b, size64(1, 0x100000000ull)), end}),
         ArchiveProblem::tooLarge, 2},
        {"64-bit sizes that fit", join({first, level2With(b, size64(1, 1)), end}),
         ArchiveProblem::none, 2},
    };
    for (const Case& c : cases) {
        ArchiveSummary s = check(c.archive);
        EXPECT_EQ(s.problem, c.problem) << c.what;
        EXPECT_EQ(s.members, c.members) << c.what;
    }
}

TEST(ArchiveCheck, TheCallerMayRefuseAndTheUserMayAbort) {
    std::FILE* f = streamOf(
        archiveOf({storedMember("a.txt", Bytes(5000, 'a')), storedMember("b.txt", {'b'})}));
    CheckOptions options;
    options.decode = true;
    std::vector<std::string> seen;
    options.onMember = [&](const EntryHeader&, const char* path) {
        seen.push_back(path);
        return seen.size() < 2;
    };
    ArchiveSummary s = checkArchive(f, options);
    EXPECT_EQ(s.problem, ArchiveProblem::refused);
    EXPECT_EQ(s.member, "b.txt");
    EXPECT_EQ(seen.size(), 2u);
    options.onMember = nullptr;
    totalOriginalSize = 5001;
    progressSink = [](std::uint32_t) { continueFlag = 0; };
    s = checkArchive(f, options);
    continueFlag = 1;
    progressSink = nullptr;
    totalOriginalSize = 0;
    EXPECT_EQ(s.problem, ArchiveProblem::aborted);
    std::fclose(f);
}
