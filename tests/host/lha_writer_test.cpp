// The archive writer: every level and field at its limits, read back by our reader and,
// where installed, by lhasa.
#include <gtest/gtest.h>

#include <string>

#include "tests/host/test_support.h"
#include "tools/lha_writer.h"

namespace {

std::vector<std::uint8_t> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }

}  // namespace

TEST(LhaWriter, FieldsAtTheirLimitsReadBack) {
    std::vector<LhaMember> members;
    const std::uint32_t times[] = {0, 315532800, 999148766, 0x7FFFFFFE};
    int i = 0;
    for (int level : {0, 1, 2}) {
        std::string longest = level == 2   ? std::string(120, 'd') + "/" + std::string(138, 'f')
                              : level == 1 ? std::string(230, 'f')
                                           : std::string(233, 'f');
        members.push_back(storedMember(longest, bytesOf("x"), 999148766, level));
        members.push_back(
            storedMember("a/b/c" + std::to_string(level) + ".txt", {}, times[i++ % 4], level));
        members.push_back(
            storedMember("\x95\x5C\x8E\xA6/\x83\x74.txt", bytesOf("kanji"), 999148766, level));
        members.push_back(folderMember("dir" + std::to_string(level) + "/", 999148766, level));
    }
    std::vector<std::uint8_t> big(70000);
    for (std::size_t k = 0; k < big.size(); ++k) big[k] = static_cast<std::uint8_t>(k * 13);
    members.push_back(storedMember("big.bin", big, 999148766, 2));
    std::vector<std::uint8_t> archive;
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
        EXPECT_EQ(h.originalSize, m.originalSize) << k;
        EXPECT_EQ(h.packedSize, m.data.size()) << k;
        EXPECT_TRUE(h.hasCrc);
        EXPECT_EQ(h.crc, m.crc);
        if (m.level == 2) EXPECT_EQ(h.modifiedTime, m.modifiedTime) << k;
        else
            EXPECT_EQ(h.modifiedTime,
                      m.modifiedTime < 315532800 ? 315532800u : m.modifiedTime & ~1u)
                << k;
        EXPECT_EQ(read[k].bytes, m.data) << k;
    }

    if (haveTool("lhasa")) {
        EXPECT_EQ(runCommand("lhasa -tq '" + dir + "/t.lzh' >/dev/null 2>&1"), 0);
        EXPECT_EQ(runCommand("cd '" + dir + "' && lhasa -xqw=out t.lzh >/dev/null 2>&1"), 0);
        EXPECT_EQ(readWholeFile(dir + "/out/big.bin"), big);
        EXPECT_EQ(readWholeFile(dir + "/out/a/b/c2.txt").size(), 0u);
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
