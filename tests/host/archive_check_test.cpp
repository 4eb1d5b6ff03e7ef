// The check that runs before anything is written: each thing that makes an archive
// uninstallable is found, named and stops the check, and what it sums up for the
// installer's messages and vopa-pack's room check.
#include <gtest/gtest.h>

#include <cstring>

#include "decode/crc16.h"
#include "extract/lha/archive_check.h"
#include "extract/lha/header_layout.h"
#include "extract/lha/member_data.h"
#include "extract/lha/progress.h"
#include "tools/pack/lha_compressor.h"
#include "tests/host/test_support.h"

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

}  // namespace

TEST(ArchiveCheck, EachProblemIsFoundAndNamed) {
    const LhaMember a = storedMember("a.txt", {'a'}), b = storedMember("dir/b.txt", {'b', 'b'});
    LhaMember unknown = storedMember("x.bin", {'x'});
    std::memcpy(unknown.method, "-pm1-", 6);
    LhaMember badCrc = storedMember("crc.txt", {'c'});
    badCrc.crc ^= 1;
    LhaMember over = storedMember("over.txt", {'o', 'v'});  // the CRC of its first byte
    over.originalSize = 1;
    over.crc = storedMember("", {'o'}).crc;
    LhaMember huge = storedMember("huge.bin", {'h'});
    huge.originalSize = 0x80000000u;
    LhaMember level1 = storedMember("one.txt", {'1'}, 0, 1);
    const std::size_t second = archiveOf({a}).size() - 1;  // where the second header starts
    Bytes badChecksum = archiveOf({a, level1});
    badChecksum[second + 22] ^= 1;  // a byte of the level-1 name
    Bytes hugePacked = archiveOf({level1});
    hugePacked[10] = 0x80;  // the packed size's high byte (only a checksum guards level 1)
    hugePacked[1] = headerChecksum(hugePacked.data(), hugePacked[0]);
    Bytes badHeaderCrc = archiveOf({a});
    badHeaderCrc[33] ^= 1;  // a byte of the name extended header
    Bytes cut = archiveOf({a, b});
    cut.resize(cut.size() - 2);  // b's data runs past the end
    Bytes unknownLayout = archiveOf({a, level1});
    unknownLayout[second + 20] = 5;  // level 5
    // A level-2 member of one byte whose 64-bit sizes (extended header 0x42) say 4 GiB.
    const Text sizes = le32(1) + le32(0) + le32(0) + le32(1),
               size64 = level2(extended(0x01, "s.bin") + extended(0x42, sizes) + le16(0)) + "x";
    // A folder whose 64-bit packed size wraps the next header back onto its own last byte.
    Text wrapped = level2(extended(0x02, "w\xFF") +
                          extended(0x42, le32(~0u) + le32(~0u) + Text(8, '\0')) + le16(0)) +
                   "x";
    wrapped.replace(2, 5, "-lhd-");
    // An OS-9/68K archiver's member, its data from our compressor.
    const Bytes gpl = textLike(18092, 2), packed = compressLha(gpl.data(), gpl.size(), {13, 6});
    Bytes os68k;
    for (const Text& part : {os68kHeader(static_cast<std::uint32_t>(packed.size()),
                                         crcOf(gpl.data(), gpl.size())),
                             Text(packed.begin(), packed.end()), Text(1, '\0')})
        os68k.insert(os68k.end(), part.begin(), part.end());
    const Bytes twins = archiveOf({storedMember("README", {}), storedMember("readme", {})});
    using P = ArchiveProblem;
    struct Case {
        const char* what;
        Bytes archive;
        P problem;
        const char* member;
    };
    const Case cases[] = {
        {"installs", archiveOf({a, b, folderMember("dir/")}), P::none, ""},
        {"folders as empty files, and \"./\"",
         archiveOf({storedMember("d/", {}), storedMember("d/x", {'x'}), folderMember("./")}),
         P::none, ""},
        {"an OS-9/68K archive", os68k, P::none, ""},
        {"an unknown method", archiveOf({a, unknown}), P::unknownMethod, "x.bin"},
        {"a CRC that does not match", archiveOf({a, badCrc, b}), P::damagedMember, "crc.txt"},
        {"data past the end", cut, P::damagedMember, "dir/b.txt"},
        {"stored data longer than its file", archiveOf({a, over, b}), P::damagedMember, "over.txt"},
        {"2 GiB", archiveOf({a, huge}), P::tooLarge, "huge.bin"},
        {"2 GiB packed", hugePacked, P::tooLarge, "one.txt"},
        {"64-bit sizes", Bytes(size64.begin(), size64.end()), P::tooLarge, "s.bin"},
        {"a packed size that wraps", Bytes(wrapped.begin(), wrapped.end()), P::damagedMember, "w/"},
        {"a level-1 checksum", badChecksum, P::damagedHeader, ""},
        {"a level-2 header CRC", badHeaderCrc, P::damagedHeader, ""},
        {"an unknown layout", unknownLayout, P::unknownHeader, ""},
        {"one file under Windows", twins, P::sameName, "readme"},
        {"one file, spelt with \"//\"",
         archiveOf({storedMember("d/a", {}), storedMember("d//a", {})}), P::sameName, "d/a"},
        {"a file where \"\\\" after 0x80 needs a folder",
         archiveOf({storedMember("\x80", {}), storedMember("\x80\\a", {})}), P::sameName, "\x80/a"},
        {"a name Windows changes", archiveOf({storedMember("notes.", {})}), P::unusableName,
         "notes."},
        {"bytes under a folder's name: no file can be made of them",
         archiveOf({a, storedMember("dir/", {'x', 'y'})}), P::unusableName, "dir/"},
        {"a name that escapes", archiveOf({storedMember("C://x", {})}), P::escapes, "C://x"},
        {"a name over 259 bytes",
         archiveOf({storedMember(std::string(200, 'd') + "/" + std::string(60, 'f'), {})}),
         P::nameTooLong, nullptr},
    };
    for (const Case& c : cases) {
        ArchiveSummary s = check(c.archive);
        EXPECT_EQ(s.problem, c.problem) << c.what;
        EXPECT_EQ(s.member, c.member ? c.member : s.member) << c.what;
    }
    EXPECT_EQ(check(twins).other, "README");
    // Headers and names alone: the CRC is not looked at, the data's end is.
    EXPECT_EQ(check(archiveOf({a, badCrc}), false).problem, ArchiveProblem::none);
    EXPECT_EQ(check(cut, false).problem, ArchiveProblem::damagedMember);
    EXPECT_EQ(check(archiveOf({over}), false).problem, ArchiveProblem::damagedMember);
    // Sums for the messages and the room check; the longest path is one as installed, a
    // folder's too, not a name as stored.
    ArchiveSummary s =
        check(archiveOf({a, storedMember("./././././b.txt", {'b', 'b'}), folderMember("folder/")}));
    EXPECT_EQ(s.members, 3u);
    EXPECT_EQ(s.totalOriginalSize, 3u);
    EXPECT_EQ(s.fileBytes, 3u);
    EXPECT_EQ(s.longestName, 7u);
}

TEST(MemberData, StoredDataCutShortIsDamaged) {
    std::FILE* f = streamOf({'a', 'b', 'c'});  // 3 of 4 bytes: damage, with no CRC to tell
    EntryHeader h{};
    h.originalSize = h.packedSize = 4;
    EXPECT_EQ(extractMemberData(f, nullptr, h, 0), DecodeResult::damaged);
    std::fclose(f);
    // 4 bytes said, 3 packed: the fourth would be the next header's.
    f = streamOf({'a', 'b', 'c', 'd'});
    h.packedSize = 3;
    EXPECT_EQ(extractMemberData(f, nullptr, h, 0), DecodeResult::damaged);
    EXPECT_EQ(std::ftell(f), 3L);
    std::fclose(f);
}

TEST(ArchiveCheck, TheCallerMayRefuseAndTheUserMayAbort) {
    std::FILE* f = streamOf(
        archiveOf({storedMember("a.txt", Bytes(5000, 'a')), storedMember("b.txt", {'b'})}));
    CheckOptions options;
    options.decode = true;
    int seen = 0;
    options.onMember = [&](const EntryHeader&, const MemberTarget&) { return ++seen < 2; };
    ArchiveSummary s = checkArchive(f, options);
    EXPECT_EQ(s.problem, ArchiveProblem::refused);
    EXPECT_EQ(s.member, "b.txt");
    EXPECT_EQ(seen, 2);
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
