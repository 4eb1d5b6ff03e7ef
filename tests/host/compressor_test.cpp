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

// Tables kept from one file to the next, or about to run out of entries, hold nothing
// that reaches into the next file: it packs as it would with fresh ones.
TEST(Compressor, TablesKeptFromFileToFileLeaveNoTrace) {
    const Bytes before = textLike(100000, 2), file = textLike(50000, 3);
    for (int level : {1, 4, 6}) {
        CompressOptions options;
        options.level = level;
        FinderTables fresh, kept, nearlyFull;
        const BitWriter alone = compressPiece(file.data(), file.size(), 0, options, fresh);
        compressPiece(before.data(), before.size(), 0, options, kept);
        compressPiece(before.data(), before.size(), 0, options, nearlyFull);
        nearlyFull.reserve(0xFFFFFFFFu - 30000, 0);  // the file's entries would wrap
        for (FinderTables* t : {&kept, &nearlyFull})
            EXPECT_TRUE(compressPiece(file.data(), file.size(), 0, options, *t).bytes ==
                        alone.bytes)
                << level;
    }
    FinderTables t;  // entries stay below 2^32: tables about to run out start afresh
    t.reserve(0xFFFFFFFFu - 30000, 0);
    EXPECT_LE(std::uint64_t{t.reserve(50000, 65536)} + 50000, 0xFFFFFFFFu);
}

// Files held in memory, read as the packer reads a product folder; `reads` records the
// longest single read.
struct FakeFiles {
    std::vector<Bytes> bytes;
    std::size_t longestRead = 0;
    ReadPackFile reader() {
        return [this](std::size_t i, std::uint64_t offset, std::uint8_t* out, std::size_t length,
                      std::string&) -> long long {
            const Bytes& b = bytes[i];
            const std::size_t n = std::min<std::size_t>(length, b.size() - offset);
            std::copy_n(b.begin() + static_cast<long>(offset), n, out);
            longestRead = std::max(longestRead, length);
            return static_cast<long long>(n);
        };
    }
};

std::vector<PackFile> listOf(const std::vector<Bytes>& bytes, std::size_t folder) {
    std::vector<PackFile> files;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        files.push_back({"f" + std::to_string(i), i == folder, 1000, bytes[i].size()});
    return files;
}

// The archive as vopa-pack writes it, or the writer's error.
Bytes written(const std::vector<LhaMember>& members, const ReadPackFile& read, std::string& error) {
    std::FILE* f = std::tmpfile();
    return writePackedArchive(members, read, f, error) ? contentsOf(f) : (std::fclose(f), Bytes());
}

TEST(MemberPacker, SameArchiveOnAnyNumberOfThreadsAndIncompressibleFilesCopied) {
    // Over 2 MiB: packed in pieces that the threads share, among whole small files.
    Bytes mostlyNoise = noise(1u << 20, 6);  // compressible bytes in one sample only
    std::fill(mostlyNoise.end() - 65536, mostlyNoise.end(), 'z');
    FakeFiles disk{{mixed(5u << 20),
                    {},
                    {},
                    textLike(70000, 2),
                    noise(1u << 20, 3),
                    Bytes(300000, 'a'),
                    noise(100000, 4),
                    mostlyNoise}};
    const std::vector<PackFile> files = listOf(disk.bytes, 2);
    for (int level : {2, 6}) {
        PackOptions options;
        options.level = level;
        options.threads = 1;
        std::vector<LhaMember> one, many;
        std::string error;
        ASSERT_TRUE(packMembers(files, options, disk.reader(), one, error));
        const Bytes archive = written(one, disk.reader(), error);
        ASSERT_FALSE(archive.empty()) << error;
        for (int threads : {2, 3}) {
            options.threads = threads;
            ASSERT_TRUE(packMembers(files, options, disk.reader(), many, error));
            EXPECT_TRUE(written(many, disk.reader(), error) == archive) << level << threads;
        }
        // Spotted by its samples, noise is stored as a full compression would store it,
        // and never held whole.
        for (std::size_t i : {4u, 6u})
            EXPECT_TRUE(one[i].copied && !std::strcmp(one[i].method, "-lh0-")) << i;
        options.spotIncompressible = false;
        disk.longestRead = 0;
        ASSERT_TRUE(packMembers(files, options, disk.reader(), many, error));
        EXPECT_TRUE(written(many, disk.reader(), error) == archive) << level;
        EXPECT_GT(disk.longestRead, 1u << 20);
        for (std::size_t i : {0u, 5u, 7u}) EXPECT_STREQ(one[i].method, "-lh7-") << i;
        EXPECT_STREQ(one[2].method, "-lhd-");
    }
    // A stored method copies every file a chunk at a time.
    PackOptions stored;
    stored.method = findMethod("-lh0-");
    std::vector<LhaMember> members;
    std::string error;
    disk.longestRead = 0;
    ASSERT_TRUE(packMembers(files, stored, disk.reader(), members, error));
    EXPECT_LE(disk.longestRead, (256u << 10) + 1);
    const std::string path = makeTempDir() + "/stored.lzh";
    writeWholeFile(path, written(members, disk.reader(), error));
    const std::vector<DecodedMember> back = decodeArchive(path);
    ASSERT_EQ(back.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        if (!files[i].folder) {
            EXPECT_TRUE(back[i].bytes == disk.bytes[i]) << i;
        }
}

TEST(MemberPacker, ReadErrorsAndFilesThatChangedFailThePack) {
    FakeFiles disk{{Bytes(10, 'x'), Bytes(10, 'x'), {}, noise(1u << 20, 3)}};
    const std::vector<PackFile> files = listOf(disk.bytes, 2);
    std::vector<LhaMember> members;
    std::string error;
    auto cannotRead = [&](std::size_t i, std::uint64_t at, std::uint8_t* out, std::size_t n,
                          std::string& why) -> long long {
        if (i == 1) return why = "cannot read b", -1;
        return disk.reader()(i, at, out, n, why);
    };
    EXPECT_FALSE(packMembers(files, PackOptions(), cannotRead, members, error));
    EXPECT_EQ(error, "cannot read b");
    for (std::size_t changed : {1u, 3u}) {  // read whole, or copied
        for (long grow : {1, -1}) {
            FakeFiles other = disk;
            std::string why;
            ASSERT_TRUE(packMembers(files, PackOptions(), disk.reader(), members, why));
            other.bytes[changed].resize(
                static_cast<std::size_t>(static_cast<long>(other.bytes[changed].size()) + grow));
            EXPECT_FALSE(packMembers(files, PackOptions(), other.reader(), members, error));
            EXPECT_EQ(error, "a file changed size while it was being packed");
        }
    }
    // A copied file whose bytes differ when the archive is written.
    ASSERT_TRUE(packMembers(files, PackOptions(), disk.reader(), members, error));
    ASSERT_TRUE(members[3].copied);
    FakeFiles other = disk;
    other.bytes[3][12345] ^= 1;
    EXPECT_TRUE(written(members, other.reader(), error).empty());
    EXPECT_EQ(error, "a file changed while it was being packed");
}
