// The compressor: every method restores every kind of data byte for byte through our
// decoder, and independent tools (lhasa, 7-Zip, jlha) accept what it writes.
#include <gtest/gtest.h>

#include <string>

#include "decode/crc16.h"
#include "decode/lha_format.h"
#include "tests/host/test_support.h"
#include "tools/lha_compressor.h"
#include "tools/lha_writer.h"
#include "tools/member_packer.h"

namespace {

struct Input {
    std::string name;
    Bytes bytes;
};

std::vector<Input> inputs() {
    return {{"empty", {}},
            {"one", {'x'}},
            {"text", textLike(300000, 7)},
            {"random", noise(200000, 9)},
            {"runs", runs(500000)},
            {"window8k", textLike(8192, 3)},
            {"window64k", noise(65536, 4)},
            {"window64k-text", textLike(65536, 5)}};
}

// The static-Huffman method (-lh4- to -lh7-) of a window.
const char* methodName(int windowBits) {
    for (int i = findMethod("-lh4-"); i <= findMethod("-lh7-"); ++i)
        if (kMethodTable[i].windowBits == windowBits) return kMethodTable[i].identifier;
    return "";
}

LhaMember packedMember(const std::string& name, const Bytes& bytes, int windowBits, int level) {
    LhaMember m = storedMember(name, bytes, 999148766);
    CompressOptions options;
    options.windowBits = windowBits;
    options.level = level;
    m.data = compressLha(bytes.data(), bytes.size(), options);
    std::memcpy(m.method, methodName(windowBits), 6);
    return m;
}

}  // namespace

TEST(Compressor, EveryMethodRoundTripsAndPeersAgree) {
    std::string dir = makeTempDir();
    for (int windowBits : {13, 15, 16}) {
        for (int level : {1, 6, 9}) {
            std::vector<LhaMember> members;
            for (const Input& in : inputs())
                members.push_back(packedMember(in.name, in.bytes, windowBits, level));
            Bytes archive;
            std::string error;
            ASSERT_TRUE(writeArchive(members, archive, error)) << error;
            std::string path =
                dir + "/m" + std::to_string(windowBits) + "_" + std::to_string(level) + ".lzh";
            writeWholeFile(path, archive);
            std::vector<DecodedMember> read = decodeArchive(path);
            ASSERT_EQ(read.size(), members.size());
            for (std::size_t i = 0; i < read.size(); ++i) {
                EXPECT_EQ(read[i].result, DecodeResult::complete) << path << " " << members[i].name;
                EXPECT_TRUE(read[i].bytes == inputs()[i].bytes) << path << " " << members[i].name;
            }
            // Compression pays off where it can.
            EXPECT_LT(members[2].data.size(), members[2].originalSize / 2) << "text";
            EXPECT_LT(members[4].data.size(), members[4].originalSize / 20) << "runs";
            if (level != 6) continue;
            if (haveTool("lhasa")) {
                EXPECT_EQ(runCommand("lhasa -tq '" + path + "' >/dev/null 2>&1"), 0) << path;
                std::string out = dir + "/x" + std::to_string(windowBits);
                runCommand("mkdir -p '" + out + "' && lhasa -xqw='" + out + "' '" + path +
                           "' >/dev/null 2>&1");
                for (const Input& in : inputs()) {
                    if (in.bytes.empty()) continue;
                    EXPECT_TRUE(readWholeFile(out + "/" + in.name) == in.bytes) << in.name;
                }
            }
            if (haveTool("7zz")) {
                EXPECT_EQ(runCommand("7zz t '" + path + "' >/dev/null 2>&1"), 0) << path;
            }
            if (haveTool("jlha")) {
                EXPECT_EQ(runCommand("jlha l '" + path + "' 2>/dev/null | grep -q window64k-text"),
                          0)
                    << path;
            }
        }
    }
    runCommand("rm -rf '" + dir + "'");
}

TEST(Compressor, FortyMegabytesOfMixedDataRoundTrip) {
    Bytes data = mixed(40u << 20);
    std::string dir = makeTempDir();
    for (int windowBits : {13, 15, 16}) {
        Bytes archive;
        std::string error;
        ASSERT_TRUE(writeArchive({packedMember("mixed.bin", data, windowBits, 6)}, archive, error));
        writeWholeFile(dir + "/big.lzh", archive);
        std::vector<DecodedMember> read = decodeArchive(dir + "/big.lzh");
        ASSERT_EQ(read.size(), 1u);
        EXPECT_EQ(read[0].result, DecodeResult::complete);
        EXPECT_TRUE(read[0].bytes == data) << windowBits;
        EXPECT_EQ(read[0].crc, read[0].header.crc);
        // The pieces joined mid-byte read as one stream to an independent decoder too.
        if (haveTool("lhasa")) {
            EXPECT_EQ(runCommand("lhasa -tq '" + dir + "/big.lzh' >/dev/null 2>&1"), 0)
                << windowBits;
        }
    }
    runCommand("rm -rf '" + dir + "'");
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
    auto read = [&](std::size_t i, Bytes& out, std::string&) {
        out = bytes[i < 2 ? i : i - 1];
        return true;
    };
    for (int level : {2, 6}) {
        PackOptions options;
        options.level = level;
        options.threads = 1;
        std::vector<LhaMember> one, many;
        std::string error;
        ASSERT_TRUE(packMembers(files, options, read, one, error));
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
