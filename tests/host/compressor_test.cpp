// The compressor: every method and level restores every kind of data byte for byte
// through our decoder, members of many pieces too, and independent tools (lhasa, 7-Zip)
// accept what it writes.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>

#include "decode/lha_format.h"
#include "tests/host/test_support.h"
#include "tools/lha_compressor.h"
#include "tools/lha_writer.h"
#include "tools/member_packer.h"

namespace {

// Writes `members` to `path`, expects our decoder to give back `inputs` and the peers
// that are installed to accept the archive.
void expectRoundTrip(const std::vector<LhaMember>& members, const std::vector<Bytes>& inputs,
                     const std::string& path) {
    Bytes archive;
    std::string error;
    ASSERT_TRUE(writeArchive(members, archive, error)) << error;
    writeWholeFile(path, archive);
    std::vector<DecodedMember> read = decodeArchive(path);
    ASSERT_EQ(read.size(), members.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].result, DecodeResult::complete) << path << " " << members[i].name;
        EXPECT_TRUE(read[i].bytes == inputs[i]) << path << " " << members[i].name;
    }
    if (haveTool("lhasa"))
        EXPECT_EQ(runCommand("lhasa -tq '" + path + "' >/dev/null 2>&1"), 0) << path;
    if (haveTool("7zz")) EXPECT_EQ(runCommand("7zz t '" + path + "' >/dev/null 2>&1"), 0) << path;
}

}  // namespace

TEST(Compressor, EveryMethodAndLevelRoundTrips) {
    // Byte values 19 to 22 apart leave runs of zero lengths at the limits of each run
    // code in the literal list.
    Bytes gaps = noise(30000, 8);
    for (auto& b : gaps) b = std::array<std::uint8_t, 6>{0, 19, 39, 60, 82, 105}[b % 6];
    const std::vector<Bytes> inputs = {Bytes(),           Bytes(1, 'x'),   textLike(300000, 7),
                                       noise(200000, 9),  runs(500000),    gaps,
                                       textLike(8192, 3), noise(65536, 4), textLike(65536, 5)};
    const std::string dir = makeTempDir();
    for (auto [windowBits, method] : {std::pair{13, "-lh5-"}, {15, "-lh6-"}, {16, "-lh7-"}}) {
        for (int level : {1, 6, 9}) {
            std::vector<LhaMember> members;
            for (const Bytes& in : inputs) {
                LhaMember& m = members.emplace_back(
                    storedMember("m" + std::to_string(members.size()), in, 999148766));
                CompressOptions options;
                options.windowBits = windowBits;
                options.level = level;
                m.data = compressLha(in.data(), in.size(), options);
                std::memcpy(m.method, method, 6);
            }
            expectRoundTrip(members, inputs, dir + "/" + method + std::to_string(level) + ".lzh");
            // Compression pays off where it can.
            EXPECT_LT(members[2].data.size(), members[2].originalSize / 2) << "text";
            EXPECT_LT(members[4].data.size(), members[4].originalSize / 20) << "runs";
        }
    }
    runCommand("rm -rf '" + dir + "'");
}

TEST(BlockWriter, CodeLengthsOfSkewedCountsStayWithin16Bits) {
    // Counts that grow like Fibonacci numbers make a Huffman tree 17 levels deep.
    std::vector<std::uint32_t> counts = {1, 1};
    while (counts.size() < 18) counts.push_back(counts[counts.size() - 1] + counts.end()[-2]);
    double kraft = 0;
    for (unsigned length : codeLengths(counts)) {
        EXPECT_TRUE(length >= 1 && length <= kMaxCodeLength) << length;
        kraft += std::ldexp(1.0, -static_cast<int>(length));
    }
    EXPECT_EQ(kraft, 1.0) << "a complete code";
}

TEST(MemberPacker, SameMembersOnAnyNumberOfThreadsAndIncompressibleFilesStored) {
    // Over 2 MiB: packed in pieces that the threads share, among whole small files.
    const std::vector<Bytes> bytes = {mixed(5u << 20),    {},
                                      textLike(70000, 2), noise(1u << 20, 3),
                                      Bytes(300000, 'a'), noise(100000, 4)};
    std::vector<PackFile> files;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        files.push_back({"f" + std::to_string(i), false, 1000, bytes[i].size()});
    files.insert(files.begin() + 2, {"dir/", true, 1000, 0});
    std::vector<Bytes> contents = bytes;
    contents.insert(contents.begin() + 2, Bytes());
    auto read = [&](std::size_t i, Bytes& out, std::string&) {
        out = contents[i];
        return true;
    };
    const std::string dir = makeTempDir();
    for (int level : {2, 6}) {
        PackOptions options;
        options.level = level;
        options.threads = 1;
        std::vector<LhaMember> one, many;
        std::string error;
        ASSERT_TRUE(packMembers(files, options, read, one, error));
        // The pieces joined mid-byte read as one stream.
        expectRoundTrip(one, contents, dir + "/p" + std::to_string(level) + ".lzh");
        for (int threads : {2, 3}) {
            options.threads = threads;
            ASSERT_TRUE(packMembers(files, options, read, many, error));
            for (std::size_t i = 0; i < files.size(); ++i)
                EXPECT_TRUE(many[i].data == one[i].data &&
                            !std::strcmp(many[i].method, one[i].method))
                    << level << " " << threads << " " << i;
        }
        // Spotted by its samples, noise is stored as a full compression would store it.
        options.spotIncompressible = false;
        ASSERT_TRUE(packMembers(files, options, read, many, error));
        for (std::size_t i : {4u, 6u}) {
            EXPECT_STREQ(one[i].method, "-lh0-") << i;
            EXPECT_TRUE(one[i].data == many[i].data && !std::strcmp(many[i].method, "-lh0-"));
        }
        EXPECT_STREQ(one[0].method, "-lh7-");
        EXPECT_STREQ(one[5].method, "-lh7-");
        EXPECT_STREQ(one[2].method, "-lhd-");
    }
    runCommand("rm -rf '" + dir + "'");
    EXPECT_TRUE(looksIncompressible(noise(1u << 20, 5).data(), 1u << 20, 16));
    // Compressible bytes in just one sample keep the file from being stored.
    Bytes mostlyNoise = noise(1u << 20, 6);
    std::fill(mostlyNoise.end() - 65536, mostlyNoise.end(), 'z');
    EXPECT_FALSE(looksIncompressible(mostlyNoise.data(), mostlyNoise.size(), 16));
}

TEST(MemberPacker, ReadErrorsAndFilesThatChangedSizeFailThePack) {
    std::vector<PackFile> files = {{"a", false, 0, 10}, {"b", false, 0, 10}};
    std::vector<LhaMember> members;
    std::string error;
    auto cannotRead = [](std::size_t i, Bytes& out, std::string& why) {
        out = Bytes(10, 'x');
        if (i == 1) why = "cannot read b";
        return i == 0;
    };
    EXPECT_FALSE(packMembers(files, PackOptions(), cannotRead, members, error));
    EXPECT_EQ(error, "cannot read b");
    auto grown = [](std::size_t i, Bytes& out, std::string&) {
        out = Bytes(i == 1 ? 11 : 10, 'x');
        return true;
    };
    EXPECT_FALSE(packMembers(files, PackOptions(), grown, members, error));
    EXPECT_EQ(error, "a file changed size while it was being packed");
}
