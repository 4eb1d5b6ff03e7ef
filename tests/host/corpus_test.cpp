// Every member of the shared corpus of real archives, decoded by our reader and
// decoders: the stored CRC-16 must match, and where lhasa is installed its output
// must equal ours byte for byte.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cctype>
#include <cstring>
#include <map>
#include <string>

#include "decode/lha_format.h"
#include "extract/entry_path.h"
#include "tests/host/archive_support.h"

namespace {

// An incompatible variant under the -lh7- name: its members must fail cleanly.
bool expectedToFail(const std::string& path) {
    return path.find("/lhark04d/lh7") != std::string::npos ||
           path.find("/regression/truncated.lzh") != std::string::npos;
}

bool fileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

struct Tally {
    int members = 0, crcChecked = 0, equalToLhasa = 0, failedAsExpected = 0;
};

}  // namespace

TEST(Corpus, EveryMemberDecodesToItsCrcAndEqualsLhasa) {
    std::string corpus = corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "corpus not found (VOPA_CORPUS)";
    const bool lhasa = haveTool("lhasa");
    std::map<std::string, Tally> byMethod;
    int archives = 0, skipped = 0;
    for (const std::string& archive : listArchives(corpus)) {
        ++archives;
        std::string reference;
        if (lhasa) {
            reference = makeTempDir();
            runCommand("cd '" + reference + "' && lhasa -xw='" + reference + "' '" + archive +
                       "' >/dev/null 2>&1");
        }
        for (const DecodedMember& m : decodeArchive(archive)) {
            std::string method(m.header.method, 5);
            if (m.methodIndex < 0) {
                ++skipped;  // outside the table: the installer skips these silently
                continue;
            }
            const DecodeMethod& row = kMethodTable[m.methodIndex];
            if (row.kind == MemberKind::folder) continue;
            if (row.kind == MemberKind::compressed && !row.run) continue;  // not built yet
            Tally& t = byMethod[method];
            ++t.members;
            if (expectedToFail(archive)) {
                bool failed = m.result == DecodeResult::damaged || m.crc != m.header.crc;
                EXPECT_TRUE(failed) << archive << " " << m.header.name;
                t.failedAsExpected += failed;
                continue;
            }
            EXPECT_EQ(m.result, DecodeResult::complete) << archive << " " << m.header.name;
            EXPECT_EQ(m.bytes.size(), m.header.originalSize) << archive << " " << m.header.name;
            if (m.header.hasCrc) {
                EXPECT_EQ(m.crc, m.header.crc) << archive << " " << m.header.name;
                ++t.crcChecked;
            }
            // lhasa unwraps MacBinary members ('m'); we install the stored bytes.
            if (lhasa && m.header.osId != 'm') {
                char path[260];
                std::memcpy(path, m.header.name, sizeof path);
                sanitizeEntryPath(path, '/');
                // lhasa writes all-capital MS-DOS names in lower case.
                std::string lower = path;
                for (char& c : lower)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                std::string file = reference + "/" + path;
                if (!fileExists(file)) file = reference + "/" + lower;
                if (fileExists(file)) {
                    if (readWholeFile(file) == m.bytes) ++t.equalToLhasa;
                    else ADD_FAILURE() << "differs from lhasa: " << archive << " " << path;
                } else {
                    std::printf("not written by lhasa: %s %s\n", archive.c_str(), path);
                }
            }
        }
        if (lhasa) runCommand("rm -rf '" + reference + "'");
    }
    std::printf("\n%-8s %8s %12s %14s %17s\n", "method", "members", "crc checked", "equal (lhasa)",
                "failed as expected");
    for (const auto& [method, t] : byMethod)
        std::printf("%-8s %8d %12d %14d %17d\n", method.c_str(), t.members, t.crcChecked,
                    t.equalToLhasa, t.failedAsExpected);
    std::printf("%d archives, %d members outside the method table skipped\n", archives, skipped);
    EXPECT_GT(archives, 100);
}

// Data made at test time and packed by an independent archiver (jlha): our decoder
// must give back every byte, for each static-Huffman method.
TEST(IndependentArchiver, JlhaMembersDecodeByteForByte) {
    if (!haveTool("jlha")) GTEST_SKIP() << "jlha not installed";
    std::string dir = makeTempDir();
    std::map<std::string, std::vector<std::uint8_t>> inputs;
    std::uint32_t x = 2024;
    auto next = [&x] { return x = x * 1103515245u + 12345u; };
    auto text = [&](std::size_t n) {
        static const char* words[] = {"installer ", "archive ", "folder ", "Vopa ",
                                      "member\n",   "the ",     "of "};
        std::vector<std::uint8_t> t;
        while (t.size() < n) {
            const char* w = words[(next() >> 16) % 7];
            t.insert(t.end(), w, w + std::strlen(w));
        }
        t.resize(n);
        return t;
    };
    auto noise = [&](std::size_t n) {
        std::vector<std::uint8_t> r(n);
        for (auto& b : r) b = static_cast<std::uint8_t>(next() >> 24);
        return r;
    };
    inputs["empty.bin"] = {};
    inputs["one.bin"] = {'v'};
    inputs["text.txt"] = text(200000);
    inputs["random.bin"] = noise(100000);
    inputs["window4k.txt"] = text(4096);
    inputs["window8k.txt"] = text(8192);
    inputs["window32k.txt"] = text(32768);
    inputs["window64k.txt"] = text(65536);
    std::vector<std::uint8_t> big = text(3u << 20), tail = noise(1u << 20);
    big.insert(big.end(), tail.begin(), tail.end());
    inputs["several.bin"] = big;
    std::string names;
    for (const auto& [name, bytes] : inputs) {
        writeWholeFile(dir + "/" + name, bytes);
        names += " " + name;
    }
    std::map<std::string, int> checked;
    for (const char* method : {"5", "6", "7"}) {
        std::string archive = dir + "/j" + method + ".lzh";
        ASSERT_EQ(runCommand("cd '" + dir + "' && jlha ao" + method + "q '" + archive + "'" +
                             names + " >/dev/null 2>&1"),
                  0);
        std::vector<DecodedMember> members = decodeArchive(archive);
        ASSERT_EQ(members.size(), inputs.size()) << archive;
        for (const DecodedMember& m : members) {
            auto it = inputs.find(m.header.name);
            ASSERT_NE(it, inputs.end()) << m.header.name;
            EXPECT_EQ(m.result, DecodeResult::complete) << method << " " << m.header.name;
            EXPECT_TRUE(m.bytes == it->second) << method << " " << m.header.name;
            ++checked[std::string(m.header.method, 5)];
        }
    }
    for (const auto& [method, n] : checked)
        std::printf("%s: %d members from jlha decoded byte for byte\n", method.c_str(), n);
    EXPECT_GT(checked["-lh7-"], 4);
    runCommand("rm -rf '" + dir + "'");
}
