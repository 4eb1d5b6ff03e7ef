// Real archives: every member of the shared corpus, decoded by our reader and
// decoders, matches its stored CRC-16 and, where lhasa is installed, lhasa's output
// byte for byte.
#include <gtest/gtest.h>

#include <map>

#include "decode/lha_format.h"
#include "tests/host/test_support.h"

TEST(Corpus, EveryMemberDecodesToItsCrcAndEqualsLhasa) {
    std::string corpus = corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "corpus not found (VOPA_CORPUS)";
    const bool lhasa = haveTool("lhasa");
    std::map<std::string, int> crcChecked, equalToLhasa;
    const std::vector<std::string> archives = listArchives(corpus);
    EXPECT_GT(archives.size(), 100u);
    for (const std::string& archive : archives) {
        bool decodes = true;
        expectedFailure(archive, &decodes);
        std::string reference = makeTempDir();
        if (lhasa) lhasaExtract(archive, reference);
        for (const DecodedMember& m : decodeArchive(archive)) {
            const std::string method(m.header.method, 5), where = archive + " " + m.header.name;
            if (m.methodIndex < 0) continue;  // outside the table
            // Folders are told by their identifier, not by the table being checked.
            const bool folder = method == "-lhd-";
            EXPECT_EQ(kMethodTable[m.methodIndex].kind == MemberKind::folder, folder) << where;
            if (folder) continue;
            if (!decodes) {
                EXPECT_TRUE(m.result == DecodeResult::damaged || m.crc != m.header.crc) << where;
                continue;
            }
            EXPECT_EQ(m.result, DecodeResult::complete) << where;
            EXPECT_EQ(m.bytes.size(), m.header.originalSize) << where;
            if (m.header.hasCrc) {
                EXPECT_EQ(m.crc, m.header.crc) << where;
                ++crcChecked[method];
            }
            // lhasa unwraps MacBinary members ('m'); we install the stored bytes.
            if (!lhasa || m.header.osId == 'm') continue;
            std::string file = lhasaFile(reference, sanitizedName(m.header.name));
            if (file.empty()) std::printf("not written by lhasa: %s\n", where.c_str());
            else if (readWholeFile(file) == m.bytes) ++equalToLhasa[method];
            else ADD_FAILURE() << "differs from lhasa: " << where;
        }
        runCommand("rm -rf '" + reference + "'");
    }
    for (const char* method :
         {"-lh0-", "-lh1-", "-lh4-", "-lh5-", "-lh6-", "-lh7-", "-lz4-", "-lz5-", "-lzs-"}) {
        EXPECT_GT(crcChecked[method], 0) << method << " members were checked";
        EXPECT_TRUE(!lhasa || equalToLhasa[method] > 0) << method << " members were compared";
    }
}
