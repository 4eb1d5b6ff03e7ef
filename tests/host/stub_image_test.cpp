// The stub finds its setup block from its own section table. Checked on the real
// PE32 and PE32+ builds, and on files that are not images.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/pe_image.h"

namespace {

struct File {
    std::FILE* f = nullptr;
    explicit File(const char* path) : f(std::fopen(path, "rb")) {}
    ~File() {
        if (f) std::fclose(f);
    }
};

long fileSize(std::FILE* f) {
    std::fseek(f, 0, SEEK_END);
    return std::ftell(f);
}

void checkStub(const char* variable, PeKind kind) {
    const char* path = std::getenv(variable);
    if (!path || !*path) GTEST_SKIP() << variable << " not set";
    File stub(path);
    if (!stub.f) GTEST_SKIP() << path << " not built";
    PeImageInfo info = readPeImageInfo(stub.f);
    EXPECT_EQ(info.kind, kind);
    EXPECT_EQ(info.subsystem, 2) << "GUI subsystem";
    // The bare stub carries nothing after its image.
    EXPECT_EQ(static_cast<long>(info.imageEnd), fileSize(stub.f));
}

}  // namespace

TEST(StubImage, Pe32ReleaseStubEndsAtItsLastSection) { checkStub("VOPA_WIN32_STUB", PeKind::pe32); }
TEST(StubImage, Pe32PlusTestStubEndsAtItsLastSection) {
    checkStub("VOPA_WIN64_STUB", PeKind::pe32plus);
}

TEST(StubImage, AppendedDataDoesNotMoveTheEnd) {
    const char* path = std::getenv("VOPA_WIN64_STUB");
    File stub(path ? path : "");
    if (!stub.f) GTEST_SKIP();
    long size = fileSize(stub.f);
    std::vector<char> bytes(static_cast<std::size_t>(size));
    std::rewind(stub.f);
    ASSERT_EQ(std::fread(bytes.data(), 1, bytes.size(), stub.f), bytes.size());
    std::FILE* copy = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), copy);
    std::fputs("\1\5hello", copy);
    EXPECT_EQ(static_cast<long>(readPeImageInfo(copy).imageEnd), size);
    std::fclose(copy);
}

TEST(StubImage, NotAnImage) {
    const std::vector<std::string> inputs = {"", "MZ", std::string("MZ") + std::string(62, '\0'),
                                             std::string(64, 'x'), "-lh5- an archive"};
    for (const std::string& bytes : inputs) {
        std::FILE* f = std::tmpfile();
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        EXPECT_EQ(readPeImageInfo(f).kind, PeKind::notPe);
        std::fclose(f);
    }
}
