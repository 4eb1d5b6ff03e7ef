// The compressor: every method restores every kind of data byte for byte through our
// decoder, and independent tools (lhasa, 7-Zip, jlha) accept what it writes.
#include <gtest/gtest.h>

#include <string>

#include "decode/crc16.h"
#include "decode/lha_format.h"
#include "tests/host/test_support.h"
#include "tools/lha_compressor.h"
#include "tools/lha_writer.h"

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

TEST(Compressor, SameInputSameBytesOnAnyNumberOfThreads) {
    // Over 2 MiB: packed in pieces that the threads share.
    Bytes data = mixed(5u << 20);
    for (int level : {2, 6, 9}) {
        CompressOptions options;
        options.level = level;
        options.threads = 1;
        Bytes one = compressLha(data.data(), data.size(), options);
        for (int threads : {2, 3}) {
            options.threads = threads;
            EXPECT_TRUE(compressLha(data.data(), data.size(), options) == one)
                << level << " " << threads;
        }
    }
}
