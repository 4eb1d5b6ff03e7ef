// The stubs as files: the release stub (PE32) and the win64 build are GUI images that
// end at their last section and carry the manifest, icon group 102, the version
// resource and dialog 103; hostile PE headers are refused.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "app/pe_image.h"
#include "tests/host/test_support.h"

namespace {

std::uint32_t le16(const Bytes& b, std::size_t at) { return b[at] | (b[at + 1] << 8); }
std::uint32_t le32(const Bytes& b, std::size_t at) { return le16(b, at) | (le16(b, at + 2) << 16); }

// The (type, id) pairs of the image's resource directory, with their data.
std::map<std::pair<std::uint32_t, std::uint32_t>, std::string> resourcesOf(const Bytes& b) {
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::string> items;
    std::size_t pe = le32(b, 0x3C), optional = pe + 24;
    bool pe32 = le16(b, optional) == 0x10B;
    std::uint32_t rva = le32(b, optional + (pe32 ? 96 : 112) + 2 * 8);  // data directory 2
    std::size_t sections = optional + le16(b, pe + 20), count = le16(b, pe + 6);
    auto offsetOf = [&](std::uint32_t at) -> std::size_t {
        for (std::size_t s = sections; s < sections + 40 * count; s += 40)
            if (at >= le32(b, s + 12) && at < le32(b, s + 12) + le32(b, s + 16))
                return le32(b, s + 20) + (at - le32(b, s + 12));
        return 0;
    };
    const std::size_t root = offsetOf(rva);
    // Three levels (type, id, language); an entry is an id and an offset, whose high bit
    // marks a subdirectory.
    auto entries = [&](std::size_t dir) {
        std::vector<std::pair<std::uint32_t, std::size_t>> e;
        for (std::size_t i = 0, n = le16(b, dir + 12) + le16(b, dir + 14); i < n; ++i)
            e.push_back(
                {le32(b, dir + 16 + 8 * i), root + (le32(b, dir + 20 + 8 * i) & 0x7FFFFFFF)});
        return e;
    };
    for (auto [type, ids] : entries(root))
        for (auto [id, languages] : entries(ids))
            for (auto [language, leaf] : entries(languages)) {
                std::size_t data = offsetOf(le32(b, leaf));
                items[{type, id}] =
                    std::string(b.begin() + static_cast<long>(data),
                                b.begin() + static_cast<long>(data + le32(b, leaf + 4)));
            }
    return items;
}

PeImageInfo infoOf(const Bytes& bytes) {
    std::FILE* f = streamOf(bytes);
    PeImageInfo info = readPeImageInfo(f);
    std::fclose(f);
    return info;
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A small PE32 image: headers, one section of 512 bytes at 1024, then data.
Bytes smallImage() {
    Bytes b(1536 + 100, 0);
    b[0] = 'M', b[1] = 'Z';
    put32(b, 0x3C, 64);
    b[64] = 'P', b[65] = 'E';
    b[64 + 6] = 1;     // one section
    b[64 + 20] = 224;  // optional header size
    b[88] = 0x0B, b[89] = 0x01;
    put32(b, 88 + 60, 1024);  // SizeOfHeaders
    b[88 + 68] = 2;           // GUI
    put32(b, 88 + 224 + 16, 512);
    put32(b, 88 + 224 + 20, 1024);
    return b;
}

}  // namespace

class StubResources : public ::testing::TestWithParam<const char*> {};

TEST_P(StubResources, GuiImageWithManifestIconVersionAndDialog) {
    const char* path = std::getenv(GetParam());
    if (!path) GTEST_SKIP() << GetParam() << " not set";
    Bytes image = readWholeFile(path);
    ASSERT_FALSE(image.empty()) << path << " not built";
    PeImageInfo info = infoOf(image);
    EXPECT_EQ(info.kind,
              std::string(GetParam()) == "VOPA_WIN32_STUB" ? PeKind::pe32 : PeKind::pe32plus);
    EXPECT_EQ(info.subsystem, 2) << "Windows GUI";
    EXPECT_EQ(info.imageEnd, image.size()) << "the bare stub carries nothing after its image";
    image.insert(image.end(), {1, 5, 'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(infoOf(image).imageEnd, info.imageEnd) << "appended data does not move the end";

    // The resources the dialog test under Wine shows in use, present in both builds.
    auto resources = resourcesOf(image);
    ASSERT_TRUE(resources.count({24, 1})) << "manifest";
    const std::string& manifest = resources[{24, 1}];
    EXPECT_NE(manifest.find("level=\"highestAvailable\""), std::string::npos);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
    EXPECT_TRUE(resources.count({14, 102})) << "icon group 102";
    EXPECT_TRUE(resources.count({16, 1})) << "version resource";
    ASSERT_TRUE(resources.count({5, 103})) << "dialog 103";
    const std::string font("M\0S\0 \0U\0I\0", 10), dialog = resources[{5, 103}];
    EXPECT_NE(dialog.find(font), std::string::npos) << "in MS UI Gothic";
}

INSTANTIATE_TEST_SUITE_P(Builds, StubResources,
                         ::testing::Values("VOPA_WIN32_STUB", "VOPA_WIN64_STUB"));

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
        {"PE header at 0", 0x3C, 0, 4},
        {"PE header past the end", 0x3C, 0x7FFFFF00u, 4},
        {"PE header at a negative offset", 0x3C, 0x80000000u, 4},
        {"no PE signature", 66, 1, 1},
        {"no section", 64 + 6, 0, 2},
        {"97 sections", 64 + 6, 97, 2},
        {"optional header too small", 64 + 20, 69, 2},
        {"unknown magic", 88, 0x10C, 2},
        {"section table past the end", 64 + 20, 0xF000, 2},
        {"section data past 2 GiB", 88 + 224 + 20, 0x7FFFFF00u, 4},
        {"symbols past 2 GiB", 64 + 12, 0x7FFFFFF0u, 4},
        {"symbol count past 2 GiB", 64 + 16, 0x10000000u, 4},
    };
    for (const Case& c : cases) {
        Bytes b = smallImage();
        if (c.what == std::string("symbol count past 2 GiB")) put32(b, 64 + 12, 1536);
        for (int i = 0; i < c.bytes; ++i)
            b[c.at + i] = static_cast<std::uint8_t>(c.value >> (8 * i));
        EXPECT_EQ(infoOf(b).kind, PeKind::notPe) << c.what;
    }
    for (const char* bytes : {"", "MZ", "-lh5- an archive"})
        EXPECT_EQ(infoOf(Bytes(bytes, bytes + std::strlen(bytes))).kind, PeKind::notPe) << bytes;
    // A symbol table inside the file counts, with its string table.
    Bytes symbols = smallImage();
    put32(symbols, 64 + 12, 1536);
    put32(symbols, 64 + 16, 2);
    put32(symbols, 1536 + 36, 40);
    symbols.resize(1536 + 36 + 40);
    EXPECT_EQ(infoOf(symbols).imageEnd, 1536u + 36 + 40);
}
