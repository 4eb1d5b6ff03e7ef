// The extraction worker under Wine (win64 build, code page 932), driven through
// extract_driver.exe: conformance with the shared corpus and lhasa, hostile member
// names, oversized members, and the abort button.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "decode/lha_format.h"
#include "extract/entry_path.h"
#include "tests/host/archive_support.h"
#include "tests/host/wine_support.h"
#include "tools/lha_writer.h"

namespace {

struct DriverRun {
    std::string archive, end, destination;
    std::vector<std::string> entries, messages;
    std::vector<unsigned> positions;
    bool failed = false;
};

std::vector<DriverRun> readLog(const std::string& path) {
    std::vector<DriverRun> runs;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return runs;
    char line[4096];
    while (std::fgets(line, sizeof line, f)) {
        std::string l = line;
        while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
        auto value = [&](const char* key) { return l.substr(std::strlen(key) + 1); };
        if (l.rfind("ARCHIVE ", 0) == 0) {
            runs.emplace_back();
            runs.back().archive = value("ARCHIVE");
        } else if (runs.empty()) continue;
        else if (l.rfind("ENTRY ", 0) == 0) runs.back().entries.push_back(value("ENTRY"));
        else if (l.rfind("MSG ", 0) == 0) runs.back().messages.push_back(value("MSG"));
        else if (l.rfind("POS ", 0) == 0)
            runs.back().positions.push_back(static_cast<unsigned>(std::stoul(value("POS"))));
        else if (l.rfind("END ", 0) == 0) runs.back().end = value("END");
        else if (l.rfind("FAILED ", 0) == 0) runs.back().failed = value("FAILED") == "1";
        else if (l.rfind("DESTINATION ", 0) == 0) runs.back().destination = value("DESTINATION");
    }
    std::fclose(f);
    return runs;
}

// Runs the driver over (archive, destination) pairs of host paths.
std::vector<DriverRun> extractUnderWine(
    const std::vector<std::pair<std::string, std::string>>& jobs, const std::string& work,
    const std::string& abort = "", const std::string& prefix = "") {
    std::string list = work + "/list.txt", log = work + "/log.txt";
    std::FILE* f = std::fopen(list.c_str(), "wb");
    for (const auto& [archive, destination] : jobs)
        std::fprintf(f, "%s\t%s\n", windowsPath(archive).c_str(), windowsPath(destination).c_str());
    std::fclose(f);
    std::string args = "'" + windowsPath(list) + "' '" + windowsPath(log) + "'";
    if (!abort.empty()) args += " " + abort;
    EXPECT_EQ(runInWine(win64Dir() + "/tests/wine/extract_driver.exe", args, prefix), 0);
    return readLog(log);
}

bool exists(const std::string& path, struct stat* out = nullptr) {
    struct stat st;
    bool ok = stat(path.c_str(), &st) == 0;
    if (ok && out) *out = st;
    return ok;
}

std::string sanitizedName(const char* name) {
    char path[260];
    std::memcpy(path, name, sizeof path);
    sanitizeEntryPath(path, '/');
    return path;
}

bool contains(const std::vector<std::string>& texts, const char* part) {
    for (const std::string& t : texts)
        if (t.find(part) != std::string::npos) return true;
    return false;
}

// The message an archive of the corpus must stop with, or null when it must install.
const char* expectedFailure(const std::string& path) {
    if (path.find("/lhark04d/lh7") != std::string::npos ||
        path.find("/regression/truncated.lzh") != std::string::npos)
        return "が壊れています";
    // A file "subdir" (OS/2 extended attributes) and then a member inside a folder
    // of that name: the folder cannot be made.
    if (path.find("/lh2_222/easubdir.lzh") != std::string::npos) return "を作成できません";
    // A name made of terminal escape sequences and control characters: Windows has no
    // such file name, so the member fails with a message.
    if (path.find("/regression/badterm.lzh") != std::string::npos) return "を作成できません";
    // Header level 3: not a level this installer reads.
    if (path.find("/lha_os2_208/h3_") != std::string::npos) return "Unknown header";
    return nullptr;
}

// Wine stores code page 932 names as UTF-8 on the host.
std::string hostName(const std::string& cp932) {
    std::string in = makeTempDir();
    writeWholeFile(in + "/n", std::vector<std::uint8_t>(cp932.begin(), cp932.end()));
    runCommand("iconv -f CP932 -t UTF-8 '" + in + "/n' > '" + in + "/u' 2>/dev/null");
    std::vector<std::uint8_t> out = readWholeFile(in + "/u");
    runCommand("rm -rf '" + in + "'");
    return {out.begin(), out.end()};
}

bool isAscii(const std::string& s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Files below `root` whose name contains `marker`.
std::vector<std::string> findFiles(const std::string& root, const std::string& marker) {
    std::vector<std::string> found;
    std::string out = makeTempDir() + "/found.txt";
    runCommand("find '" + root + "' -name '*" + marker + "*' > '" + out + "' 2>/dev/null");
    std::FILE* f = std::fopen(out.c_str(), "rb");
    char line[4096];
    while (f && std::fgets(line, sizeof line, f)) {
        std::string l = line;
        if (!l.empty() && l.back() == '\n') l.pop_back();
        found.push_back(l);
    }
    if (f) std::fclose(f);
    return found;
}

}  // namespace

class WineExtraction : public ::testing::Test {
protected:
    void SetUp() override {
        if (win64Dir().empty()) GTEST_SKIP() << "win64 build not found (VOPA_WIN64_DIR)";
        work = makeTempDir();
    }
    void TearDown() override {
        if (!work.empty() && !HasFailure()) runCommand("rm -rf '" + work + "'");
    }
    std::string work;
};

TEST_F(WineExtraction, CorpusConformsToLhasaWithTimes) {
    std::string corpus = corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "corpus not found";
    std::vector<std::string> archives = listArchives(corpus);
    std::vector<std::pair<std::string, std::string>> jobs;
    for (std::size_t i = 0; i < archives.size(); ++i)
        jobs.push_back({archives[i], work + "/out/" + std::to_string(i)});
    std::vector<DriverRun> runs = extractUnderWine(jobs, work);
    ASSERT_EQ(runs.size(), archives.size());

    const bool lhasa = haveTool("lhasa");
    struct Tally {
        int members = 0, equal = 0, timeEqual = 0;
    };
    std::map<std::string, Tally> byMethod;
    int skipped = 0, failedAsExpected = 0, pending = 0;
    for (std::size_t i = 0; i < archives.size(); ++i) {
        const std::string& archive = archives[i];
        const DriverRun& run = runs[i];
        std::vector<DecodedMember> members = decodeArchive(archive);
        bool needsPending = false;
        for (const DecodedMember& m : members)
            needsPending |= m.methodIndex >= 0 &&
                            kMethodTable[m.methodIndex].kind == MemberKind::compressed &&
                            !kMethodTable[m.methodIndex].run;
        if (needsPending) {
            ++pending;
            continue;
        }
        EXPECT_EQ(run.end, "done") << archive;
        if (const char* message = expectedFailure(archive)) {
            EXPECT_TRUE(run.failed) << archive;
            EXPECT_TRUE(contains(run.messages, message)) << archive;
            failedAsExpected += run.failed;
            continue;
        }
        EXPECT_FALSE(run.failed) << archive;
        EXPECT_TRUE(run.messages.empty())
            << archive << ": " << (run.messages.empty() ? "" : run.messages[0]);
        EXPECT_EQ(run.entries.size(), members.size()) << archive;
        std::string reference;
        if (lhasa) {
            reference = work + "/ref/" + std::to_string(i);
            runCommand("mkdir -p '" + reference + "' && cd '" + reference + "' && lhasa -xqw='" +
                       reference + "' '" + archive + "' >/dev/null 2>&1");
        }
        for (const DecodedMember& m : members) {
            std::string name = sanitizedName(m.header.name);
            if (!isAscii(name)) name = hostName(name);
            std::string ours = jobs[i].second + "/" + name;
            if (m.methodIndex < 0) {
                ++skipped;
                EXPECT_FALSE(exists(ours)) << "skipped member written: " << archive << " " << name;
                continue;
            }
            if (kMethodTable[m.methodIndex].kind == MemberKind::folder) continue;
            Tally& t = byMethod[std::string(m.header.method, 5)];
            ++t.members;
            struct stat mine;
            ASSERT_TRUE(exists(ours, &mine)) << archive << " " << name;
            EXPECT_EQ(readWholeFile(ours), m.bytes) << archive << " " << name;
            if (!lhasa || m.header.osId == 'm') continue;  // lhasa unwraps MacBinary
            std::string lower = name;
            for (char& c : lower)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            std::string theirs = reference + "/" + name;
            if (!exists(theirs)) theirs = reference + "/" + lower;
            struct stat ref;
            if (!exists(theirs, &ref)) continue;
            if (readWholeFile(theirs) == readWholeFile(ours)) ++t.equal;
            else ADD_FAILURE() << "differs from lhasa: " << archive << " " << name;
            // A stamp of 0 is 1970 for us; lhasa leaves the extraction time. For levels
            // 0 and 1 we take the MS-DOS stamp (2-second steps) where lhasa may prefer a
            // Unix time extended header — an hour apart when the archive was made in
            // summer time, which a DOS stamp does not record.
            long diff = static_cast<long>(ref.st_mtime - mine.st_mtime);
            bool dosStep = diff >= -1 && diff <= 1, summerTime = diff == 3600 || diff == -3600;
            if (diff == 0 || m.header.rawTime == 0 ||
                (m.header.level < 2 && (dosStep || summerTime)))
                ++t.timeEqual;
            else
                ADD_FAILURE() << "time differs from lhasa by " << diff << " s: " << archive << " "
                              << name;
        }
    }
    std::printf("\n%zu archives extracted by the worker under Wine\n", archives.size());
    std::printf("%-8s %8s %14s %14s\n", "method", "members", "equal (lhasa)", "time (lhasa)");
    for (const auto& [method, t] : byMethod)
        std::printf("%-8s %8d %14d %14d\n", method.c_str(), t.members, t.equal, t.timeEqual);
    std::printf(
        "skipped (method outside the table): %d; failed as expected: %d archives; "
        "waiting for a method: %d archives\n",
        skipped, failedAsExpected, pending);
    EXPECT_EQ(failedAsExpected, 9);
}

TEST_F(WineExtraction, NoMemberWritesOutsideTheDestination) {
    // Each archive: one crafted member, then "after.txt".
    const std::vector<std::string> hostile = {
        "C://Windows/vopa-escape.dll",
        "C:///tmp/vopa-escape",
        "a\\..\\..\\vopa-escape",
        "x\x80\\..\\..\\vopa-escape",
        "../../vopa-escape",
        "/tmp/vopa-escape",
        "\\\\srv\\s\\vopa-escape",
        "a/vopa-escape:stream",
        "sub/CON",
        "nul.txt",
        "Lpt3.log",
        "d/./../vopa-escape",
        std::string(180, 'd') + "/" + std::string(90, 'f') + "vopa-escape",
        "",
        "/",
        "....",
        "\x95\x5C/vopa-escape-kanji",
        "ok/vopa-escape-plain",
    };
    std::vector<std::pair<std::string, std::string>> jobs;
    for (std::size_t i = 0; i < hostile.size(); ++i) {
        std::vector<std::uint8_t> archive;
        std::string error;
        ASSERT_TRUE(writeArchive({storedMember(hostile[i], {'x'}, 999148766),
                                  storedMember("after.txt", {'y'}, 999148766)},
                                 archive, error));
        std::string path = work + "/h" + std::to_string(i) + ".lzh";
        writeWholeFile(path, archive);
        jobs.push_back({path, work + "/dest/" + std::to_string(i) + "/in"});
    }
    // A member that claims 2 GiB is refused before anything is written.
    LhaMember huge = storedMember("huge.bin", {'z'}, 0);
    std::memcpy(huge.method, "-lh5-", 6);
    huge.originalSize = 0x80000000u;
    std::vector<std::uint8_t> hugeArchive;
    std::string error;
    ASSERT_TRUE(writeArchive({huge}, hugeArchive, error));
    writeWholeFile(work + "/huge.lzh", hugeArchive);
    jobs.push_back({work + "/huge.lzh", work + "/dest/huge"});

    std::string prefix = work + "/prefix";
    std::vector<DriverRun> runs = extractUnderWine(jobs, work, "", prefix);
    ASSERT_EQ(runs.size(), jobs.size());
    for (std::size_t i = 0; i < hostile.size(); ++i) {
        // What the worker sees: the name as our reader gives it, then the path rules.
        std::vector<DecodedMember> read = decodeArchive(jobs[i].first);
        ASSERT_FALSE(read.empty());
        std::string name = sanitizedName(read[0].header.name);
        PathVerdict verdict =
            read[0].header.nameTooLong ? PathVerdict::escapes : checkEntryPath(name.c_str());
        const DriverRun& run = runs[i];
        const std::string dest = jobs[i].second;
        if (verdict == PathVerdict::inside) {
            EXPECT_FALSE(run.failed) << hostile[i];
            EXPECT_TRUE(exists(dest + "/" + hostName(name))) << hostile[i] << " -> " << name;
            EXPECT_TRUE(exists(dest + "/after.txt")) << hostile[i];
        } else {
            // Refused: the member fails, or (a name too long for any destination) the
            // destination is refused before anything starts.
            EXPECT_TRUE(run.failed || run.end == "not-started") << hostile[i];
            EXPECT_EQ(run.messages.size(), 1u) << hostile[i];
            EXPECT_FALSE(exists(dest + "/after.txt")) << hostile[i];
        }
    }
    // Every file the members made lies inside its own destination.
    for (const std::string& root : {work, prefix}) {
        for (const std::string& file : findFiles(root, "vopa-escape")) {
            bool inside = false;
            for (std::size_t i = 0; i < hostile.size(); ++i)
                inside |= file.rfind(jobs[i].second + "/", 0) == 0;
            EXPECT_TRUE(inside) << "written outside the destination: " << file;
        }
    }
    const DriverRun& hugeRun = runs.back();
    EXPECT_TRUE(hugeRun.failed);
    EXPECT_TRUE(contains(hugeRun.messages, "大きすぎる"));
    EXPECT_FALSE(exists(work + "/dest/huge/huge.bin"));
}

TEST_F(WineExtraction, AbortDeletesOnlyTheMemberBeingWritten) {
    std::vector<std::uint8_t> small(1000, 's'), big(24u << 20);
    std::uint32_t x = 12345;
    for (auto& b : big) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    std::vector<std::uint8_t> stored;
    std::string error;
    ASSERT_TRUE(writeArchive(
        {storedMember("small.txt", small, 999148766), storedMember("big.bin", big, 999148766),
         storedMember("tail.txt", small, 999148766)},
        stored, error));
    writeWholeFile(work + "/stored.lzh", stored);
    std::vector<std::pair<std::string, std::string>> jobs = {{work + "/stored.lzh", work + "/a1"}};
    if (haveTool("jlha")) {
        // A compressed large member: the decoder notices the abort.
        runCommand("mkdir -p '" + work + "/src' && cd '" + work +
                   "/src' && printf small > small.txt && "
                   "for i in $(seq 1 3000); do cat '" VOPA_SOURCE_DIR
                   "/README.md' 2>/dev/null || echo line $i; "
                   "seq $i $((i + 300)); done > big.txt && printf tail > tail.txt && "
                   "jlha ao5q ../packed.lzh small.txt big.txt tail.txt >/dev/null 2>&1");
        jobs.push_back({work + "/packed.lzh", work + "/a2"});
    }
    std::vector<DriverRun> runs = extractUnderWine(jobs, work, "30");
    ASSERT_EQ(runs.size(), jobs.size());
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const std::string dest = jobs[i].second;
        const char* bigName = i == 0 ? "big.bin" : "big.txt";
        EXPECT_EQ(runs[i].end, "aborted") << i;
        EXPECT_TRUE(exists(dest + "/small.txt")) << "an earlier file stays";
        EXPECT_FALSE(exists(dest + "/" + bigName)) << "the member being written is gone";
        EXPECT_FALSE(exists(dest + "/tail.txt"));
        EXPECT_EQ(runs[i].entries.size(), 2u);
        ASSERT_FALSE(runs[i].positions.empty());
        EXPECT_GE(runs[i].positions.back(), 30u);
        EXPECT_LT(runs[i].positions.back(), 100u);
        for (std::size_t k = 1; k < runs[i].positions.size(); ++k)
            EXPECT_GT(runs[i].positions[k], runs[i].positions[k - 1]) << "each position sent once";
    }
}

TEST_F(WineExtraction, AbortAfterTheLastFileKeepsIt) {
    // Abort while only folder members remain: the finished, checked file stays.
    std::vector<std::uint8_t> archive;
    std::string error;
    ASSERT_TRUE(
        writeArchive({storedMember("done.txt", std::vector<std::uint8_t>(5000, 'd'), 999148766),
                      folderMember("later/"), folderMember("later/more/")},
                     archive, error));
    writeWholeFile(work + "/late.lzh", archive);
    std::vector<DriverRun> runs =
        extractUnderWine({{work + "/late.lzh", work + "/late"}}, work, "entry:2");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].end, "aborted");
    EXPECT_TRUE(exists(work + "/late/done.txt"));
}

TEST_F(WineExtraction, RelativeDestinationBecomesFullAndFullDiskIsAFailure) {
    std::vector<std::uint8_t> small, large;
    std::string error;
    ASSERT_TRUE(writeArchive({storedMember("a.txt", {'a'}, 999148766)}, small, error));
    ASSERT_TRUE(
        writeArchive({storedMember("first.txt", {'1'}, 999148766),
                      storedMember("big.bin", std::vector<std::uint8_t>(3u << 20, 'b'), 999148766),
                      storedMember("after.txt", {'2'}, 999148766)},
                     large, error));
    writeWholeFile(work + "/small.lzh", small);
    writeWholeFile(work + "/large.lzh", large);
    // A one-megabyte disk for the second job (skipped where mounting is not allowed).
    std::string disk = work + "/disk";
    bool mounted = runCommand("mkdir -p '" + disk + "' && mount -t tmpfs -o size=1m tmpfs '" +
                              disk + "' 2>/dev/null") == 0;
    std::vector<std::pair<std::string, std::string>> jobs = {
        {work + "/small.lzh", "relative-dest"}};
    if (mounted) jobs.push_back({work + "/large.lzh", disk + "/inst"});
    std::string cwd = work + "/cwd";
    runCommand("mkdir -p '" + cwd + "'");
    char previous[4096];
    ASSERT_TRUE(getcwd(previous, sizeof previous));
    ASSERT_EQ(chdir(cwd.c_str()), 0);
    std::vector<DriverRun> runs = extractUnderWine(jobs, work);
    ASSERT_EQ(chdir(previous), 0);
    ASSERT_EQ(runs.size(), jobs.size());
    EXPECT_EQ(runs[0].destination, windowsPath(cwd + "/relative-dest"))
        << "a full path for the registry";
    EXPECT_TRUE(exists(cwd + "/relative-dest/a.txt"));
    if (mounted) {
        const DriverRun& full = runs[1];
        EXPECT_TRUE(full.failed);
        EXPECT_TRUE(contains(full.messages, "書き込めません"))
            << (full.messages.empty() ? "" : full.messages[0]);
        EXPECT_TRUE(exists(disk + "/inst/first.txt"));
        EXPECT_FALSE(exists(disk + "/inst/big.bin")) << "a short file could pass its CRC: it goes";
        EXPECT_FALSE(exists(disk + "/inst/after.txt"));
        runCommand("umount '" + disk + "'");
    } else {
        std::printf("full-disk case skipped: tmpfs cannot be mounted here\n");
    }
}
