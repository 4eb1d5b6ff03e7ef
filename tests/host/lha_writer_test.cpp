// The archive writer: every level and field at its limits, read back by our reader and,
// where installed, by lhasa.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/host/test_support.h"
#include "tools/pack/lha_writer.h"

TEST(LhaWriter, FieldsAtTheirLimitsReadBack) {
    std::vector<LhaMember> members;
    for (int level : {0, 1, 2}) {
        std::string longest = level == 2   ? std::string(120, 'd') + "/" + std::string(138, 'f')
                              : level == 1 ? std::string(230, 'f')
                                           : std::string(233, 'f');
        members.push_back(storedMember(longest, Bytes(1, 'x'), 999148766, level));
        // Before 1980, its first second, an odd second, the last time a level 2 holds.
        for (std::uint32_t time : {0u, 315532800u, 999148767u, 0x7FFFFFFEu})
            members.push_back(storedMember(
                "a/b/c" + std::to_string(level) + "-" + std::to_string(time), {}, time, level));
        members.push_back(
            storedMember("\x95\x5C\x8E\xA6/\x83\x74.txt", Bytes(5, 'k'), 999148766, level));
        members.push_back(folderMember("dir" + std::to_string(level) + "/", 999148766, level));
    }
    const Bytes big = noise(70000, 1);
    members.push_back(storedMember("big.bin", big, 999148766, 2));
    Bytes archive;
    std::string error;
    ASSERT_TRUE(writeArchive(members, archive, error)) << error;

    std::string dir = makeTempDir();
    writeWholeFile(dir + "/t.lzh", archive);
    HeaderRead last;
    std::vector<DecodedMember> read = decodeArchive(dir + "/t.lzh", 0, &last);
    EXPECT_EQ(last, HeaderRead::end);
    ASSERT_EQ(read.size(), members.size());
    for (std::size_t k = 0; k < members.size(); ++k) {
        const LhaMember& m = members[k];
        const EntryHeader& h = read[k].header;
        EXPECT_EQ(std::string(h.name), m.name) << k;
        EXPECT_EQ(h.level, m.level) << k;
        EXPECT_EQ(std::string(h.method), std::string(m.method)) << k;
        EXPECT_TRUE(h.hasCrc);
        EXPECT_EQ(h.crc, m.crc);
        // Levels 0 and 1 hold DOS times: even seconds, from 1980 on.
        const std::uint32_t dos = std::max(m.modifiedTime, 315532800u) & ~1u;
        EXPECT_EQ(h.modifiedTime, m.level == 2 ? m.modifiedTime : dos) << k;
        EXPECT_EQ(read[k].bytes, m.data) << k;
    }

    if (haveTool("lhasa")) {
        EXPECT_EQ(runCommand("cd '" + dir + "' && lhasa -xqw=out t.lzh >/dev/null 2>&1"), 0);
        EXPECT_EQ(readWholeFile(dir + "/out/big.bin"), big);
        EXPECT_EQ(readWholeFile(dir + "/out/a/b/c2-0").size(), 0u);
    }
    runCommand("rm -rf '" + dir + "'");
}

TEST(LhaWriter, RefusesWhatAHeaderCannotHold) {
    std::string error;
    EXPECT_TRUE(lhaHeader(storedMember(std::string(231, 'f'), {}, 0, 1), error).empty());
    EXPECT_NE(error.find("too long"), std::string::npos);
    EXPECT_TRUE(lhaHeader(storedMember(std::string(234, 'f'), {}, 0, 0), error).empty());
    EXPECT_FALSE(lhaHeader(storedMember(std::string(230, 'f'), {}, 0, 1), error).empty());
    // Level 2 pads a length whose low byte is 0, which would read as the archive's end.
    for (std::size_t n = 200; n < 260; ++n) {
        std::vector<std::uint8_t> h = lhaHeader(storedMember(std::string(n, 'f'), {}, 0, 2), error);
        ASSERT_FALSE(h.empty());
        EXPECT_NE(h[0], 0) << n;
    }
}
