// The stubs as files: the release stub (PE32) and the win64 build are GUI images that
// end at their last section, link no exception runtime, and the release stub keeps its
// size budget; hostile PE headers are refused.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/setup/payload_record.h"
#include "app/setup/pe_image.h"
#include "tests/host/test_support.h"

namespace {

PeImageInfo infoOf(const Bytes& bytes) {
    std::FILE* f = streamOf(bytes);
    PeImageInfo info = readPeImageInfo(f);
    std::fclose(f);
    return info;
}

// `v` in `bytes` bytes, little-endian.
void put(Bytes& b, std::size_t at, std::uint32_t v, int bytes = 4) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A small PE32 image: headers, one section of 512 bytes at 1024, then data; room for
// the headers of 97 sections.
Bytes smallImage() {
    Bytes b(312 + 97 * 40, 0);
    b[0] = 'M', b[1] = 'Z';
    put(b, 0x3C, 64);
    b[64] = 'P', b[65] = 'E';
    b[64 + 6] = 1;     // one section
    b[64 + 20] = 224;  // optional header size
    b[88] = 0x0B, b[89] = 0x01;
    put(b, 88 + 60, 1024);  // SizeOfHeaders
    b[88 + 68] = 2;         // GUI
    put(b, 88 + 224 + 16, 512);
    put(b, 88 + 224 + 20, 1024);
    return b;
}

}  // namespace

TEST(StubImage, BothBuildsAreGuiImagesThatEndAtTheirLastSection) {
    for (auto [build, kind] : {std::pair{"VOPA_WIN32_STUB", PeKind::pe32},
                               std::pair{"VOPA_WIN64_STUB", PeKind::pe32plus}}) {
        const char* path = std::getenv(build);
        if (!path) GTEST_SKIP() << build << " not set";
        Bytes image = readWholeFile(path);
        ASSERT_FALSE(image.empty()) << path << " not built";
        PeImageInfo info = infoOf(image);
        EXPECT_EQ(info.kind, kind) << build;
        EXPECT_EQ(info.subsystem, 2) << "Windows GUI";
        EXPECT_EQ(info.imageEnd, image.size()) << "the bare stub carries nothing after its image";
        // Its payload record area, found through the section table, empty as built.
        ASSERT_NE(info.recordOffset, 0u) << build;
        PayloadRecord record;
        EXPECT_TRUE(readPayloadRecord(image.data() + info.recordOffset, record));
        EXPECT_EQ(record.length, 0u);
        EXPECT_EQ(info.certificateOffset, 0u) << "unsigned";
        image.insert(image.end(), {1, 5, 'h', 'e', 'l', 'l', 'o'});
        EXPECT_EQ(infoOf(image).imageEnd, info.imageEnd) << "appended data does not move the end";
    }
}

// What every installer carries before its first byte of product: the release stub, at
// most 96 KB (taken as 96,000 bytes). It is 94,720 today; the README's table shows what
// each part adds. Raise this only for a feature worth its bytes to every installer.
constexpr std::size_t kReleaseStubBudget = 96000;

TEST(StubImage, ReleaseStubKeepsItsBudget) {
    const char* path = std::getenv("VOPA_WIN32_STUB");
    if (!path) GTEST_SKIP() << "VOPA_WIN32_STUB not set";
    const std::size_t size = readWholeFile(path).size();
    ASSERT_GT(size, 0u) << path << " not built";
    EXPECT_LE(size, kReleaseStubBudget) << "the release stub grew past its budget";
}

// The link maps of both stubs: none of the C++ library's exception, unwinding and
// terminate code (through which a failure would end in the runtime's abort; the stub's
// runtime ends it with the installer's message), no winpthread, no iostreams and no
// printf of the C++ library's own.
TEST(StubImage, StubsLinkNoExceptionRuntime) {
    for (const char* build : {"VOPA_WIN32_STUB", "VOPA_WIN64_STUB"}) {
        const char* path = std::getenv(build);
        if (!path) GTEST_SKIP() << build << " not set";
        std::string map = path;
        map.replace(map.size() - 4, 4, ".map");
        const Bytes bytes = readWholeFile(map);
        ASSERT_FALSE(bytes.empty()) << map << " not built";
        const std::string text(bytes.begin(), bytes.end());
        for (const char* part : {"libstdc++.a(eh_", "libstdc++.a(functexcept.o)",
                                 "libstdc++.a(vterminate.o)", "libgcc_eh.a(", "libpthread.a(",
                                 "libstdc++.a(ios", "mingw_pformat"})
            EXPECT_EQ(text.find(part), std::string::npos) << build << " links " << part;
    }
}

TEST(PeImage, HostileHeadersAreNotAnImage) {
    ASSERT_EQ(infoOf(smallImage()).kind, PeKind::pe32);
    EXPECT_EQ(infoOf(smallImage()).imageEnd, 1536u);
    struct Case {
        const char* what;
        std::size_t at;
        std::uint32_t value;
        int bytes;
    };
    const Case cases[] = {
        {"no MZ", 0, 'X', 1},
        {"PE header past the end", 0x3C, 0x7FFFFF00u, 4},
        {"no PE signature", 66, 1, 1},
        {"no section", 64 + 6, 0, 2},
        {"97 sections", 64 + 6, 97, 2},
        {"optional header too small", 64 + 20, 69, 2},
        {"unknown magic", 88, 0x10C, 2},
        {"section table past the end", 64 + 20, 0xF000, 2},
        {"section data a byte past the end", 88 + 224 + 16, 312 + 97 * 40 - 1024 + 1, 4},
        {"symbol count past 2 GiB", 64 + 16, 0x10000000u, 4},
    };
    for (const Case& c : cases) {
        Bytes b = smallImage();
        if (c.what == std::string("symbol count past 2 GiB")) put(b, 64 + 12, 1536);
        put(b, c.at, c.value, c.bytes);
        EXPECT_EQ(infoOf(b).kind, PeKind::notPe) << c.what;
    }
    Bytes most = smallImage();
    most[64 + 6] = 96;  // as many sections as Windows loads
    EXPECT_EQ(infoOf(most).kind, PeKind::pe32);
    for (const char* bytes : {"", "MZ", "-lh5- an archive"})
        EXPECT_EQ(infoOf(Bytes(bytes, bytes + std::strlen(bytes))).kind, PeKind::notPe) << bytes;
    // A symbol table inside the file counts, with its string table.
    Bytes symbols = smallImage();
    put(symbols, 64 + 12, 1536);
    put(symbols, 64 + 16, 2);
    put(symbols, 1536 + 36, 40);
    symbols.resize(1536 + 36 + 40);
    EXPECT_EQ(infoOf(symbols).imageEnd, 1536u + 36 + 40);
}

TEST(PeImage, PayloadAreaAndCertificateTableAreFoundOnlyWhereTheHeadersSayTheyAre) {
    // Directory 4 of a PE32 header: 96 bytes into the optional header, after the count.
    Bytes signedImage = smallImage();
    put(signedImage, 88 + 92, 16);
    put(signedImage, 88 + 96 + 4 * 8, 1600);
    put(signedImage, 88 + 96 + 4 * 8 + 4, 64);
    std::memcpy(&signedImage[88 + 224], kPayloadSectionName, 8);
    PeImageInfo info = infoOf(signedImage);
    EXPECT_EQ(info.certificateOffset, 1600u);
    EXPECT_EQ(info.certificateSize, 64u);
    EXPECT_EQ(info.recordOffset, 1024u);
    // Fewer directories than five, or a header too short to hold the fifth: none.
    Bytes few = signedImage;
    put(few, 88 + 92, 4);
    EXPECT_EQ(infoOf(few).certificateOffset, 0u);
    Bytes shortHeader = signedImage;
    put(shortHeader, 64 + 20, 96 + 4 * 8 + 4);
    EXPECT_EQ(infoOf(shortHeader).certificateOffset, 0u);
    // A section of that name too small for the record is no area.
    Bytes small = signedImage;
    put(small, 88 + 224 + 16, kPayloadRecordBytes - 1);
    EXPECT_EQ(infoOf(small).recordOffset, 0u);
}

TEST(PayloadRecord, RecordsAndChecksThePayloadAfterTheImage) {
    EXPECT_EQ(crc32After(0, reinterpret_cast<const unsigned char*>("123456789"), 9), 0xCBF43926u);
    Bytes long1(100000);
    for (std::size_t i = 0; i < long1.size(); ++i) long1[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
    // Any split gives the same CRC: the 16-byte steps and the tail agree.
    EXPECT_EQ(crc32After(crc32After(0, long1.data(), 12345), long1.data() + 12345, long1.size() - 12345),
              crc32After(0, long1.data(), long1.size()));
    unsigned char area[kPayloadRecordBytes];
    writePayloadRecord(area, {0x123456789ull, 0xDEADBEEF});
    PayloadRecord back;
    ASSERT_TRUE(readPayloadRecord(area, back));
    EXPECT_EQ(back.length, 0x123456789ull);
    EXPECT_EQ(back.crc, 0xDEADBEEFu);
    area[0] ^= 1;
    EXPECT_FALSE(readPayloadRecord(area, back)) << "no area of ours";

    // An image of 100 bytes, the payload, then what a signature adds.
    const Bytes image(100, 'i'), payload(long1.begin(), long1.begin() + 5000);
    const PayloadRecord record{payload.size(), crc32After(0, payload.data(), payload.size())};
    auto matches = [&](const Bytes& tail, std::uint64_t certificate, Bytes body) {
        Bytes file = image;
        file.insert(file.end(), body.begin(), body.end());
        file.insert(file.end(), tail.begin(), tail.end());
        std::FILE* f = streamOf(file);
        const bool ok = payloadMatches(f, image.size(), record, certificate);
        std::fclose(f);
        return ok;
    };
    const std::uint64_t end = image.size() + payload.size();
    EXPECT_TRUE(matches({}, 0, payload));
    EXPECT_TRUE(matches({'x'}, 0, payload)) << "bytes after it are not the payload's";
    EXPECT_TRUE(matches({0, 0, 0, 'S', 'I', 'G'}, end + 3, payload)) << "a signature after zeros";
    EXPECT_FALSE(matches({0, 1, 0, 'S'}, end + 3, payload)) << "other bytes before it";
    EXPECT_FALSE(matches(Bytes(8, 0), end + 8, payload)) << "more than its alignment";
    EXPECT_FALSE(matches({}, end - 1, payload)) << "a table inside the payload";
    Bytes changed = payload;
    changed[2500] ^= 0x40;
    EXPECT_FALSE(matches({}, 0, changed));
    EXPECT_FALSE(matches({}, 0, Bytes(payload.begin(), payload.end() - 1))) << "cut short";
}
