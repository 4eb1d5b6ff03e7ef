// Static checks of the release stub (PE32) and the win64 build: a GUI image with the
// manifest, icon group 102, the version resource, and dialog 103 exactly as laid out.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/pe_image.h"
#include "tests/host/archive_support.h"

namespace {

std::uint32_t le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8);
}
std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return le16(b, at) | (le16(b, at + 2) << 16);
}

// Resource data by (type, id), read from the image's resource directory.
struct Resources {
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::vector<std::uint8_t>> items;
    bool pe32 = false;
    std::uint32_t subsystem = 0;
};

Resources readResources(const std::string& path) {
    Resources r;
    std::vector<std::uint8_t> b = readWholeFile(path);
    if (b.size() < 0x40) return r;
    std::size_t pe = le32(b, 0x3C);
    std::size_t optional = pe + 24;
    r.pe32 = le16(b, optional) == 0x10B;
    r.subsystem = le16(b, optional + 68);
    std::size_t dirs = optional + (r.pe32 ? 96 : 112);
    std::uint32_t rsrcRva = le32(b, dirs + 2 * 8);
    std::size_t sections = optional + le16(b, pe + 20), count = le16(b, pe + 6);
    auto fileOffset = [&](std::uint32_t rva) -> std::size_t {
        for (std::size_t i = 0; i < count; ++i) {
            std::size_t s = sections + 40 * i;
            std::uint32_t va = le32(b, s + 12), size = le32(b, s + 16), raw = le32(b, s + 20);
            if (rva >= va && rva < va + size) return raw + (rva - va);
        }
        return 0;
    };
    std::size_t root = fileOffset(rsrcRva);
    if (!root) return r;
    // Three levels: type, name, language. Entries: id, then offset (high bit: subdirectory).
    auto entries = [&](std::size_t dir) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> e;
        std::size_t n = le16(b, dir + 12) + le16(b, dir + 14);
        for (std::size_t i = 0; i < n; ++i)
            e.push_back({le32(b, dir + 16 + 8 * i), le32(b, dir + 20 + 8 * i)});
        return e;
    };
    for (auto [type, typeDir] : entries(root))
        for (auto [id, nameDir] : entries(root + (typeDir & 0x7FFFFFFF)))
            for (auto [lang, leaf] : entries(root + (nameDir & 0x7FFFFFFF))) {
                (void)lang;
                std::size_t entry = root + leaf;
                std::size_t data = fileOffset(le32(b, entry));
                std::size_t size = le32(b, entry + 4);
                r.items[{type, id}] =
                    std::vector<std::uint8_t>(b.begin() + data, b.begin() + data + size);
            }
    return r;
}

struct Control {
    std::uint32_t style;
    int x, y, cx, cy, id;
    std::uint32_t classAtom;
    std::u16string text;
};

struct Dialog {
    std::uint32_t style;
    int cx, cy, pointSize;
    std::u16string caption, font;
    std::vector<Control> controls;
};

Dialog parseDialogEx(const std::vector<std::uint8_t>& d) {
    Dialog dlg{};
    std::size_t p = 0;
    auto u16 = [&]() {
        std::uint32_t v = le16(d, p);
        p += 2;
        return v;
    };
    auto u32 = [&]() {
        std::uint32_t v = le32(d, p);
        p += 4;
        return v;
    };
    auto text = [&]() {
        std::u16string s;
        for (char16_t c; (c = static_cast<char16_t>(u16())) != 0;) s += c;
        return s;
    };
    auto align = [&]() { p = (p + 3) & ~std::size_t{3}; };
    u16();
    u16();  // version 1, signature 0xFFFF
    u32();
    u32();  // help id, extended style
    dlg.style = u32();
    std::size_t count = u16();
    u16();
    u16();  // x, y
    dlg.cx = static_cast<int>(u16());
    dlg.cy = static_cast<int>(u16());
    if (le16(d, p) == 0xFFFF) p += 4;
    else text();  // menu
    if (le16(d, p) == 0xFFFF) p += 4;
    else text();  // class
    dlg.caption = text();
    dlg.pointSize = static_cast<int>(u16());
    u16();
    u16();  // weight, italic + charset
    dlg.font = text();
    for (std::size_t i = 0; i < count; ++i) {
        align();
        Control c{};
        u32();
        u32();  // help id, extended style
        c.style = u32();
        c.x = static_cast<std::int16_t>(u16());
        c.y = static_cast<std::int16_t>(u16());
        c.cx = static_cast<int>(u16());
        c.cy = static_cast<int>(u16());
        c.id = static_cast<std::int32_t>(u32());
        if (le16(d, p) == 0xFFFF) {
            p += 2;
            c.classAtom = u16();
        } else {
            // A class given by name: the system's predefined names stand for their atoms.
            std::u16string name = text();
            for (char16_t& ch : name)
                ch = static_cast<char16_t>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
            c.classAtom = name == u"BUTTON"   ? 0x80u
                          : name == u"EDIT"   ? 0x81u
                          : name == u"STATIC" ? 0x82u
                                              : 0u;
        }
        if (le16(d, p) == 0xFFFF) p += 4;
        else c.text = text();
        std::size_t extra = u16();
        p += extra;
        dlg.controls.push_back(c);
    }
    return dlg;
}

constexpr std::uint32_t kButton = 0x80, kEdit = 0x81, kStatic = 0x82;
constexpr std::uint32_t kTabStop = 0x00010000, kGroup = 0x00020000;

}  // namespace

class StubResources : public ::testing::TestWithParam<const char*> {};

TEST_P(StubResources, GuiImageWithManifestIconVersionAndDialog) {
    const char* path = std::getenv(GetParam());
    if (!path || readWholeFile(path).empty()) GTEST_SKIP() << GetParam() << " not built";
    Resources r = readResources(path);
    EXPECT_EQ(r.pe32, std::string(GetParam()) == "VOPA_WIN32_STUB");
    EXPECT_EQ(r.subsystem, 2u) << "Windows GUI";

    ASSERT_TRUE(r.items.count({24, 1})) << "manifest";
    std::string manifest(r.items[{24, 1}].begin(), r.items[{24, 1}].end());
    EXPECT_NE(manifest.find("level=\"highestAvailable\""), std::string::npos);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
    EXPECT_TRUE(r.items.count({14, 102})) << "icon group 102";
    EXPECT_TRUE(r.items.count({16, 1})) << "version resource";

    ASSERT_TRUE(r.items.count({5, 103})) << "dialog 103";
    Dialog d = parseDialogEx(r.items[{5, 103}]);
    EXPECT_EQ(d.style, 0x80C800C0u);
    EXPECT_EQ(d.cx, 187);
    EXPECT_EQ(d.cy, 157);
    EXPECT_EQ(d.caption, u"Vopa SFX");
    EXPECT_EQ(d.font, u"MS UI Gothic");
    EXPECT_EQ(d.pointSize, 9);

    struct Expected {
        int id;
        std::uint32_t cls;
        std::u16string text;
        int x, y, cx, cy;
        std::uint32_t kind;
    };
    const std::uint32_t check = 3 | kTabStop,
                        push = 3 | 0x1000 | kTabStop;  // BS_AUTOCHECKBOX, BS_PUSHLIKE
    const Expected expected[] = {
        {-1, kStatic, u"解凍先フォルダ(&F):", 7, 6, 51, 8, kGroup},
        {1000, kEdit, u"", 7, 15, 142, 14,
         0x80 | 0x00800000 | kTabStop},  // ES_AUTOHSCROLL, WS_BORDER
        {1001, kButton, u"参照(&R)", 153, 15, 28, 14, 0},
        {1002, kButton, u"スタートメニューに登録する(&M)", 7, 34, 95, 10, check},
        {1003, kButton, u"デスクトップにショートカットを作成する(&D)", 7, 46, 122, 10, check},
        {1004, kButton, u"「送る」に登録する(&T)", 7, 58, 73, 10, check},
        {-1, kStatic, u"", 7, 70, 174, 2, 0x1000},  // SS_SUNKEN
        {1007, kButton, u"コンテキストメニューに「Vopaで閲覧」を追加(&C)", 7, 74, 139, 10, check},
        {1015, kButton, u"コンテキストメニューに「Vopaで圧縮」を追加(&A)", 7, 86, 139, 10, check},
        {1018, kButton, u"右ドラッグ＆ドロップメニューを拡張する(&E)", 7, 98, 160, 10, check},
        {-1, kStatic, u"関連付け:", 7, 112, 28, 8, kGroup},
        {1005, kButton, u".lzh", 7, 122, 22, 13, push},
        {1006, kButton, u".zip", 31, 122, 22, 13, push},
        {1008, kButton, u".cab", 55, 122, 22, 13, push},
        {1009, kButton, u".tgz", 79, 122, 22, 13, push},
        {1010, kButton, u".tar", 103, 122, 22, 13, push},
        {1011, kButton, u".gz", 7, 137, 22, 13, push},
        {1012, kButton, u".tbz", 31, 137, 22, 13, push},
        {1013, kButton, u".bz2", 55, 137, 22, 13, push},
        {1014, kButton, u".rar", 79, 137, 22, 13, push},
        {1016, kButton, u".7z", 103, 137, 22, 13, push},
        {1, kButton, u"OK", 132, 122, 49, 13, 1},  // BS_DEFPUSHBUTTON
        {2, kButton, u"キャンセル", 132, 138, 49, 13, 0},
    };
    ASSERT_EQ(d.controls.size(), sizeof expected / sizeof expected[0]);
    for (std::size_t i = 0; i < d.controls.size(); ++i) {
        const Control& c = d.controls[i];
        const Expected& e = expected[i];
        EXPECT_EQ(c.id == 0xFFFF ? -1 : c.id, e.id) << i;
        EXPECT_EQ(c.classAtom, e.cls) << i;
        EXPECT_TRUE(c.text == e.text) << "control " << i;
        EXPECT_EQ(c.x, e.x) << i;
        EXPECT_EQ(c.y, e.y) << i;
        EXPECT_EQ(c.cx, e.cx) << i;
        EXPECT_EQ(c.cy, e.cy) << i;
        EXPECT_EQ(c.style & e.kind, e.kind) << "control " << i << " style " << std::hex << c.style;
        if (e.cls == kButton && e.kind == check) {
            EXPECT_EQ(c.style & 0xF, 3u) << "automatic check box " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, StubResources,
                         ::testing::Values("VOPA_WIN32_STUB", "VOPA_WIN64_STUB"));
