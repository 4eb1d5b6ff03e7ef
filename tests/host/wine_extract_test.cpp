// The extraction worker under Wine (win64 build, code page 932), driven through
// extract_driver.exe: the shared corpus as files with their times, hostile member
// names, oversized members, the abort button, a full disk and the shell-extension
// DLL in use.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "decode/lha_format.h"
#include "extract/entry_path.h"
#include "tests/host/test_support.h"
#include "tools/lha_compressor.h"
#include "tools/lha_writer.h"

namespace {

struct DriverRun {
    std::string end, destination;
    std::vector<std::string> entries, messages;
    std::vector<unsigned> positions;
    bool failed = false, handlerKey = false;
};

// Host paths, and the driver's option for the job (see extract_driver.cpp).
struct Job {
    std::string archive, destination, option = "";
};
using Jobs = std::vector<Job>;

// Runs the driver over the jobs and reads back what it logged per job.
std::vector<DriverRun> extractUnderWine(const Jobs& jobs, const std::string& work,
                                        const std::string& prefix = "") {
    std::string list = work + "/list.txt", log = work + "/log.txt";
    std::FILE* f = std::fopen(list.c_str(), "wb");
    for (const Job& job : jobs)
        std::fprintf(f, "%s\t%s\t%s\n", windowsPath(job.archive).c_str(),
                     windowsPath(job.destination).c_str(), job.option.c_str());
    std::fclose(f);
    std::string args = "'" + windowsPath(list) + "' '" + windowsPath(log) + "'";
    EXPECT_EQ(runInWine(win64Dir() + "/tests/wine/extract_driver.exe", args, prefix), 0);
    std::vector<DriverRun> runs;
    f = std::fopen(log.c_str(), "rb");
    char line[4096];
    while (f && std::fgets(line, sizeof line, f)) {
        std::string l = line;
        l.erase(l.find_last_not_of("\r\n") + 1);
        std::string key = l.substr(0, l.find(' ')), value = l.substr(l.find(' ') + 1);
        if (key == "ARCHIVE") runs.emplace_back();
        if (runs.empty()) continue;
        DriverRun& r = runs.back();
        if (key == "ENTRY") r.entries.push_back(value);
        else if (key == "MSG") r.messages.push_back(value);
        else if (key == "POS") r.positions.push_back(static_cast<unsigned>(std::stoul(value)));
        else if (key == "END") r.end = value;
        else if (key == "FAILED") r.failed = value == "1";
        else if (key == "DESTINATION") r.destination = value;
        else if (key == "HANDLER-KEY") r.handlerKey = value == "1";
    }
    if (f) std::fclose(f);
    return runs;
}

// Modification time, -1 for a missing file.
long mtimeOf(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_mtime) : -1;
}

bool noFiles(const std::string& dir) {
    return runCommand("[ -z \"$(find '" + dir + "' -type f)\" ]") == 0;
}

bool contains(const std::vector<std::string>& texts, const char* part) {
    for (const std::string& t : texts)
        if (t.find(part) != std::string::npos) return true;
    return false;
}

// Wine stores code page 932 names as UTF-8 on the host.
std::string hostName(const std::string& cp932) {
    std::string dir = makeTempDir();
    writeWholeFile(dir + "/n", Bytes(cp932.begin(), cp932.end()));
    runCommand("iconv -f CP932 -t UTF-8 '" + dir + "/n' > '" + dir + "/u' 2>/dev/null");
    Bytes out = readWholeFile(dir + "/u");
    runCommand("rm -rf '" + dir + "'");
    return {out.begin(), out.end()};
}

}  // namespace

class WineExtraction : public ::testing::Test {
protected:
    void SetUp() override {
        if (win64Dir().empty()) GTEST_SKIP() << "no win64 build (VOPA_WIN64_DIR)";
        setenv("TZ", "UTC", 1);  // Wine's C runtime and our reader on the same clock
        work = makeTempDir();
    }
    void TearDown() override {
        if (!work.empty() && !HasFailure()) runCommand("rm -rf '" + work + "'");
    }
    // An archive of our writer under the work folder.
    std::string archive(const std::string& name, const std::vector<LhaMember>& members) {
        writeWholeFile(work + "/" + name + ".lzh", archiveOf(members));
        return work + "/" + name + ".lzh";
    }
    std::string work;
};

TEST_F(WineExtraction, CorpusFilesAndTimesAreOurReaders) {
    std::string corpus = corpusDir();
    if (corpus.empty()) GTEST_SKIP() << "corpus not found";
    std::vector<std::string> archives = listArchives(corpus);
    Jobs jobs;
    for (std::size_t i = 0; i < archives.size(); ++i)
        jobs.push_back({archives[i], work + "/out/" + std::to_string(i)});
    std::vector<DriverRun> runs = extractUnderWine(jobs, work);
    ASSERT_EQ(runs.size(), archives.size());
    std::set<std::string> methods;
    int expectedFailures = 0;
    for (std::size_t i = 0; i < archives.size(); ++i) {
        const std::string& archive = archives[i];
        const DriverRun& run = runs[i];
        EXPECT_EQ(run.end, "done") << archive;
        if (const char* message = expectedFailure(archive)) {
            ++expectedFailures;
            EXPECT_TRUE(run.failed) << archive;
            EXPECT_TRUE(contains(run.messages, message)) << archive;
            EXPECT_TRUE(run.entries.empty() && noFiles(jobs[i].destination))
                << "checked whole before anything is written: " << archive;
            continue;
        }
        EXPECT_FALSE(run.failed) << archive;
        EXPECT_TRUE(run.messages.empty())
            << archive << ": " << (run.messages.empty() ? "" : run.messages[0]);
        std::vector<DecodedMember> members = decodeArchive(archive);
        EXPECT_EQ(run.entries.size(), members.size()) << archive;
        for (const DecodedMember& m : members) {
            std::string name = sanitizedName(m.header.name);
            // Folders, also those stored as empty members named "dir/", carry no time.
            if (kMethodTable[m.methodIndex].kind == MemberKind::folder ||
                (!name.empty() && name.back() == '/'))
                continue;
            std::string ours = jobs[i].destination + "/" + hostName(name);
            // The time as our reader gives it; the host tests hold that to the calendar.
            EXPECT_EQ(mtimeOf(ours), static_cast<long>(m.header.modifiedTime)) << archive << name;
            EXPECT_TRUE(readWholeFile(ours) == m.bytes) << archive << " " << name;
            methods.insert(std::string(m.header.method, 5));
        }
    }
    EXPECT_GE(expectedFailures, 20);
    EXPECT_EQ(methods.size(), 11u) << "files of every compressed and stored method";
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
    Jobs jobs;
    for (std::size_t i = 0; i < hostile.size(); ++i) {
        std::string path = archive("h" + std::to_string(i), {storedMember(hostile[i], {'x'}),
                                                             storedMember("after.txt", {'y'})});
        jobs.push_back({path, work + "/dest/" + std::to_string(i) + "/in"});
    }
    // A member that claims 2 GiB is refused before anything is written.
    LhaMember huge = storedMember("huge.bin", {'z'}, 0);
    std::memcpy(huge.method, "-lh5-", 6);
    huge.originalSize = 0x80000000u;
    jobs.push_back({archive("huge", {huge}), work + "/dest/huge"});
    // A folder link planted in the destination, leading outside: Wine shows a Unix
    // symbolic link to a folder as a reparse point, as Windows shows links and junctions.
    runCommand("mkdir -p '" + work + "/outside' '" + work + "/dest/link' && ln -s '" + work +
               "/outside' '" + work + "/dest/link/sub'");
    jobs.push_back(
        {archive("link", {storedMember("first.txt", {'1'}), storedMember("sub/victim.txt", {'v'})}),
         work + "/dest/link"});

    std::string prefix = work + "/prefix";
    std::vector<DriverRun> runs = extractUnderWine(jobs, work, prefix);
    ASSERT_EQ(runs.size(), jobs.size());
    for (std::size_t i = 0; i < hostile.size(); ++i) {
        // What the worker sees: the name as our reader gives it, then the path rules.
        std::vector<DecodedMember> read = decodeArchive(jobs[i].archive);
        ASSERT_FALSE(read.empty());
        std::string name = sanitizedName(read[0].header.name);
        bool inside =
            !read[0].header.nameTooLong && checkEntryPath(name.c_str()) == PathVerdict::inside;
        const DriverRun& run = runs[i];
        const std::string dest = jobs[i].destination;
        // Refused: the member fails, or (a name too long for any destination) the
        // destination is refused before anything starts; one message either way.
        EXPECT_EQ(run.failed || run.end == "not-started", !inside) << hostile[i];
        EXPECT_EQ(run.messages.size(), inside ? 0u : 1u) << hostile[i];
        EXPECT_EQ(exists(dest + "/after.txt"), inside) << hostile[i];
        EXPECT_TRUE(!inside || exists(dest + "/" + hostName(name))) << hostile[i] << " " << name;
    }
    // Every file the members made lies inside its own destination (".../in").
    EXPECT_EQ(runCommand("! find '" + work + "' '" + prefix +
                         "' -name '*vopa-escape*' ! -path '*/in/*' | grep ."),
              0)
        << "written outside the destination";
    const DriverRun& hugeRun = runs[runs.size() - 2];
    EXPECT_TRUE(hugeRun.failed);
    EXPECT_TRUE(contains(hugeRun.messages, "大きすぎる"));
    EXPECT_FALSE(exists(work + "/dest/huge/huge.bin"));
    EXPECT_TRUE(runs.back().failed);
    EXPECT_TRUE(contains(runs.back().messages, "sub はリンク"));
    EXPECT_FALSE(exists(work + "/outside/victim.txt"));
    EXPECT_FALSE(exists(work + "/dest/link/first.txt")) << "nothing is written";
}

TEST_F(WineExtraction, AbortDeletesOnlyTheMemberBeingWrittenAndKeepsFinishedOnes) {
    // The large member stored (the copy notices the abort) and compressed (the decoder).
    Bytes small(1000, 's'), big = mixed(8u << 20);
    LhaMember packed = storedMember("big.bin", big);
    packed.data = compressLha(big.data(), big.size(), CompressOptions());
    std::memcpy(packed.method, "-lh7-", 6);
    Jobs jobs;
    for (const LhaMember& member : {storedMember("big.bin", big), packed}) {
        std::string name = "a" + std::to_string(jobs.size());
        jobs.push_back({archive(name, {storedMember("small.txt", small), member,
                                       storedMember("tail.txt", small)}),
                        work + "/" + name, "abort:30"});
    }
    // Aborted while the archive is checked (also as the last, empty member is), and while
    // only folder members remain.
    jobs.push_back({jobs[1].archive, work + "/checked", "check:30"});
    jobs.push_back({archive("last", {storedMember("one.txt", small), storedMember("empty", {})}),
                    work + "/last", "checked:2"});
    std::string late = archive("late", {storedMember("done.txt", Bytes(5000, 'd')),
                                        folderMember("later/"), folderMember("later/more/")});
    jobs.push_back({late, work + "/late", "entry:2"});
    std::vector<DriverRun> runs = extractUnderWine(jobs, work);
    ASSERT_EQ(runs.size(), jobs.size());
    for (const DriverRun& run : runs) EXPECT_EQ(run.end, "aborted") << run.destination;
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(exists(jobs[i].destination + "/small.txt")) << "an earlier file stays";
        EXPECT_FALSE(exists(jobs[i].destination + "/big.bin"))
            << "the member being written is gone";
        EXPECT_FALSE(exists(jobs[i].destination + "/tail.txt"));
        EXPECT_EQ(runs[i].entries.size(), 2u);
        // The bar runs once while the archive is checked, then again while it is written.
        const std::vector<unsigned>& p = runs[i].positions;
        auto restart = std::find(p.begin(), p.end(), 0u);
        ASSERT_TRUE(restart != p.end() && restart != p.begin());
        EXPECT_EQ(*(restart - 1), 100u) << "checked to the end";
        EXPECT_GE(p.back(), 30u);
        EXPECT_LT(p.back(), 100u);
        for (auto k = p.begin() + 1; k != p.end(); ++k)
            if (k != restart) {
                EXPECT_GT(*k, *(k - 1)) << "each position sent once";
            }
    }
    EXPECT_TRUE(runs[2].entries.empty() && runs[3].entries.empty()) << "no member is begun";
    EXPECT_TRUE(noFiles(work + "/checked")) << "nothing at all is written";
    EXPECT_TRUE(exists(work + "/late/done.txt")) << "the finished, checked file stays";
}

TEST_F(WineExtraction, DestinationsAndWhatTheyAlreadyHold) {
    LhaMember damaged = storedMember("b.txt", {'b'});
    damaged.crc ^= 1;
    runCommand("mkdir -p '" + work + "/previous' && printf old > '" + work + "/previous/a.txt'");
    std::string small = archive("small", {storedMember("a.txt", {'a'})});
    Jobs jobs = {
        {small, "relative-dest"},
        {small, work + "/x/../trail. "},
        {archive("dll", {storedMember("VopaDll.dll", {'d'}), storedMember("after.txt", {'2'})}),
         work + "/dll"},
        {archive("update", {storedMember("a.txt", {'n'}), damaged}), work + "/previous"},
        {archive("twins", {storedMember("notes", {'1'}), storedMember("NOTES", {'2'})}),
         work + "/twins"}};
    // A 4 MiB disk holding a 3 MiB file: 3 MiB more do not fit, unless they replace it
    // (left out where mounting is not allowed).
    std::string disk = work + "/disk";
    bool mounted = runCommand("mkdir -p '" + disk + "' && mount -t tmpfs -o size=4m tmpfs '" +
                              disk + "' 2>/dev/null && mkdir '" + disk + "/old' && head -c 3M " +
                              "/dev/zero > '" + disk + "/old/big.bin'") == 0;
    std::string large = archive(
        "large", {storedMember("first.txt", {'1'}), storedMember("big.bin", Bytes(3u << 20, 'b'))});
    if (mounted) jobs.insert(jobs.end(), {{large, disk + "/inst"}, {large, disk + "/old"}});
    std::string cwd = work + "/cwd";
    runCommand("mkdir -p '" + cwd + "'");
    char previous[4096];
    ASSERT_TRUE(getcwd(previous, sizeof previous));
    ASSERT_EQ(chdir(cwd.c_str()), 0);
    // The driver holds VopaDll.dll open in every destination, as a running shell would.
    for (Job& job : jobs) job.option = "hold:VopaDll.dll";
    std::vector<DriverRun> runs = extractUnderWine(jobs, work);
    ASSERT_EQ(chdir(previous), 0);
    ASSERT_EQ(runs.size(), jobs.size());
    // Destinations as Windows resolves them, for the registry and the shortcuts.
    EXPECT_EQ(runs[0].destination, windowsPath(cwd + "/relative-dest"));
    EXPECT_TRUE(exists(cwd + "/relative-dest/a.txt"));
    EXPECT_EQ(runs[1].destination, windowsPath(work + "/trail"));
    EXPECT_TRUE(exists(work + "/trail/a.txt"));
    EXPECT_TRUE(runs[2].failed);
    EXPECT_TRUE(contains(runs[2].messages, "VopaDll.dll が使用中です"));
    EXPECT_FALSE(runs[2].handlerKey) << "the file context-menu handler key goes";
    EXPECT_TRUE(runs[0].handlerKey);
    EXPECT_FALSE(exists(work + "/dll/after.txt"));
    // A damaged member found before the first byte is written: the earlier installation
    // stays as it was.
    EXPECT_TRUE(runs[3].failed);
    EXPECT_TRUE(contains(runs[3].messages, "b.txt が壊れています"));
    EXPECT_EQ(readWholeFile(work + "/previous/a.txt"), Bytes({'o', 'l', 'd'}));
    EXPECT_FALSE(exists(work + "/previous/b.txt"));
    EXPECT_TRUE(runs[4].failed);
    EXPECT_TRUE(contains(runs[4].messages, "notes と NOTES は同じ名前"));
    EXPECT_FALSE(exists(work + "/twins/notes") || exists(work + "/twins/NOTES"));
    if (!mounted) {
        std::printf("free-space case left out: tmpfs cannot be mounted here\n");
        return;
    }
    const DriverRun& full = runs[5];
    EXPECT_TRUE(full.failed);
    EXPECT_TRUE(contains(full.messages, "ディスクの空きが足りません"))
        << (full.messages.empty() ? "" : full.messages[0]);
    EXPECT_FALSE(exists(disk + "/inst/first.txt")) << "nothing is written";
    EXPECT_FALSE(runs[6].failed) << "room counted with the bytes it replaces";
    EXPECT_TRUE(exists(disk + "/old/first.txt"));
    runCommand("umount '" + disk + "'");
}
