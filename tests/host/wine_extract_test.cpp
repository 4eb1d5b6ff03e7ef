// The extraction worker under Wine (win64 build, code page 932), every job driven
// through extract_driver.exe in one Wine run to keep the start-up cost to one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "decode/lha_format.h"
#include "extract/entry_path.h"
#include "tests/host/test_support.h"
#include "tools/lha_compressor.h"
#include "tools/lha_writer.h"

namespace {

struct DriverRun {
    std::string end, destination, messages;  // a line per message
    std::vector<std::string> entries;
    std::vector<unsigned> positions;
    bool failed = false, handlerKey = false;
};

// The archive (a host path), the destination (relative ones from the work folder, the
// driver's current folder) and the driver's option (see extract_driver.cpp), then what
// must come of it: part of its one message (null: none, and success when done); "+PATH",
// "-PATH" there or not afterwards, "=PATH" the destination as Windows resolves it; the end.
struct Job {
    std::string archive, destination, option;
    const char* message = nullptr;
    std::string files = "", end = "done";
};

bool noFiles(const std::string& dir) {
    return runCommand("[ -z \"$(find '" + dir + "' -type f)\" ]") == 0;
}

// Wine stores code page 932 names as UTF-8 on the host (converted in the work folder).
std::string hostName(const std::string& cp932) {
    writeWholeFile("name", Bytes(cp932.begin(), cp932.end()));
    runCommand("iconv -f CP932 -t UTF-8 name > name.utf8 2>/dev/null");
    Bytes out = readWholeFile("name.utf8");
    return {out.begin(), out.end()};
}

}  // namespace

TEST(WineExtraction, CorpusHostileNamesAbortsAndDestinations) {
    if (win64Dir().empty()) GTEST_SKIP() << "no win64 build (VOPA_WIN64_DIR)";
    setenv("TZ", "UTC", 1);  // Wine's C runtime and our reader on the same clock
    const std::string work = makeTempDir();
    ASSERT_EQ(chdir(work.c_str()), 0) << "the driver runs in the work folder too";
    const auto archive = [&](const std::string& name, const std::vector<LhaMember>& members) {
        writeWholeFile(work + "/" + name + ".lzh", archiveOf(members));
        return work + "/" + name + ".lzh";
    };
    std::vector<Job> jobs;
    const std::vector<std::string> corpus =
        corpusDir().empty() ? std::vector<std::string>() : listArchives(corpusDir());
    for (const std::string& path : corpus)
        jobs.push_back(
            {path, work + "/c" + std::to_string(jobs.size()), "", expectedFailure(path)});
    // Each hostile archive: one crafted member, then "after.txt"; refused with one message
    // when the path rules refuse the member's name as our reader gives it.
    for (const std::string& hostile : std::vector<std::string>{
             "C://Windows/vopa-escape.dll", "C:///tmp/vopa-escape", "a\\..\\..\\vopa-escape",
             "x\x80\\..\\..\\vopa-escape", "../../vopa-escape", "/tmp/vopa-escape",
             "\\\\srv\\s\\vopa-escape", "a/vopa-escape:stream", "sub/CON", "nul.txt", "Lpt3.log",
             "d/./../vopa-escape",
             std::string(180, 'd') + "/" + std::string(90, 'f') + "vopa-escape", "", "/", "....",
             "\x95\x5C/vopa-escape-kanji", "ok/vopa-escape-plain"}) {
        const std::string id = "h" + std::to_string(jobs.size()), dest = id + "/in";
        Job job{archive(id, {storedMember(hostile, {'x'}), storedMember("after.txt", {'y'})}), dest,
                ""};
        const EntryHeader read = decodeArchive(job.archive).at(0).header;
        const std::string name = sanitizedName(read.name);
        job.files = "+" + dest + "/after.txt +" + dest + "/" + hostName(name);
        if (read.nameTooLong || checkEntryPath(name.c_str()) != PathVerdict::inside)
            job.message = "", job.files = "-" + dest + "/after.txt";
        jobs.push_back(job);
    }

    // A member that claims 2 GiB is refused before anything is written.
    LhaMember huge = storedMember("huge.bin", {'z'}, 0);
    std::memcpy(huge.method, "-lh5-", 6);
    huge.originalSize = 0x80000000u;
    // A folder link planted in the destination, leading outside: Wine shows a Unix
    // symbolic link to a folder as a reparse point, as Windows shows links and junctions.
    runCommand("mkdir -p outside link && ln -s \"$PWD/outside\" link/sub");
    LhaMember damaged = storedMember("b.txt", {'b'});
    damaged.crc ^= 1;
    runCommand("mkdir -p previous && printf old > previous/a.txt");
    runCommand("mkdir -p filed && printf file > filed/later");  // where a folder member goes
    const std::string small = archive("small", {storedMember("a.txt", {'a'})});
    // The large member stored (the copy notices the abort) and compressed (the decoder).
    Bytes text(1000, 's'), big = mixed(8u << 20);
    LhaMember packed = storedMember("big.bin", big);
    packed.data = compressLha(big.data(), big.size(), CompressOptions());
    std::memcpy(packed.method, "-lh7-", 6);
    std::vector<std::string> abortable;  // big.bin stored, then compressed
    for (const LhaMember& member : {storedMember("big.bin", big), packed})
        abortable.push_back(
            archive("a" + std::to_string(abortable.size()),
                    {storedMember("small.txt", text), member, storedMember("tail.txt", text)}));
    const std::string hold = "hold:VopaDll.dll";  // as a running shell holds it
    jobs.insert(
        jobs.end(),
        {
            {archive("huge", {huge}), "huge", "", "大きすぎる", "-huge/huge.bin"},
            {archive("link",
                     {storedMember("first.txt", {'1'}), storedMember("sub/victim.txt", {'v'})}),
             "link", "", "sub はリンク", "-outside/victim.txt -link/first.txt"},
            {small, "relative-dest", hold, nullptr, "+relative-dest/a.txt =relative-dest"},
            {small, "x/../trail. ", "", nullptr, "+trail/a.txt =trail"},
            {archive("dll", {storedMember("VopaDll.dll", {'d'}), storedMember("after.txt", {'2'})}),
             "dll", hold, "VopaDll.dll が使用中です", "-dll/after.txt"},
            // Found before the first byte is written: the earlier installation stays.
            {archive("update", {storedMember("a.txt", {'n'}), damaged}), "previous", "",
             "b.txt が壊れています", "-previous/b.txt"},
            {archive("twins", {storedMember("notes", {'1'}), storedMember("NOTES", {'2'})}),
             "twins", "", "notes と NOTES は同じ名前", "-twins/notes -twins/NOTES"},
            // The earlier file stays, the member being written goes.
            {abortable[0], "s", "abort:30", nullptr, "+s/small.txt -s/big.bin -s/tail.txt",
             "aborted"},
            {abortable[1], "z", "abort:30", nullptr, "+z/small.txt -z/big.bin -z/tail.txt",
             "aborted"},
            // Aborted while the archive is checked (also as the last, empty member is), and
            // while only folder members remain: the finished, checked file stays.
            {abortable[1], "checked", "check:30", nullptr, "", "aborted"},
            {archive("last", {storedMember("one.txt", text), storedMember("empty", {})}), "last",
             "checked:2", nullptr, "", "aborted"},
            {archive("late", {storedMember("done.txt", Bytes(5000, 'd')), folderMember("later/"),
                              folderMember("later/more/")}),
             "late", "entry:2", nullptr, "+late/done.txt", "aborted"},
            {archive("filed", {storedMember("done.txt", {'d'}), folderMember("later/")}), "filed",
             "", "later/ を作成できません", "+filed/done.txt"},
        });
    // The installer file cut after its check, where a member begins and inside its header:
    // the members that are missing make no finished installation.
    const LhaMember first = storedMember("first.txt", {'1'}), second = storedMember("2.txt", {'2'});
    const std::size_t begins = archiveOf({first, second}).size() - archiveOf({second}).size();
    for (const std::string& at : {std::to_string(begins), std::to_string(begins + 3)})
        jobs.push_back({archive("cut" + at, {first, second}), "cut" + at, "cut:" + at,
                        "書庫が壊れている", "+cut" + at + "/first.txt -cut" + at + "/2.txt"});
    // A 4 MiB disk holding a 3 MiB file: 3 MiB more do not fit, unless they replace it
    // (left out where mounting is not allowed).
    if (runCommand("mkdir -p disk && mount -t tmpfs -o size=4m tmpfs disk 2>/dev/null && mkdir "
                   "disk/old && head -c 3M /dev/zero > disk/old/big.bin") == 0) {
        std::string large = archive("large", {storedMember("first.txt", {'1'}),
                                              storedMember("big.bin", Bytes(3u << 20, 'b'))});
        jobs.push_back(
            {large, "disk/inst", "", "ディスクの空きが足りません", "-disk/inst/first.txt"});
        jobs.push_back({large, "disk/old", "", nullptr, "+disk/old/first.txt"});
        // Room for the bytes of 400 small files but not for their blocks: full part-way.
        std::vector<LhaMember> blocks;
        for (int i = 0; i < 400; ++i) blocks.push_back(storedMember(std::to_string(i), {'b'}));
        jobs.push_back({archive("blocks", blocks), "disk/blocks", "", "書き込めません",
                        "+disk/blocks/0 -disk/blocks/399"});
    } else {
        std::printf("free-space case left out: tmpfs cannot be mounted here\n");
    }

    std::ofstream list("list.txt");
    for (const Job& job : jobs)
        list << windowsPath(job.archive) << '\t' << windowsPath(job.destination) << '\t'
             << job.option << '\n';
    list.close();
    EXPECT_EQ(runInWine(win64Dir() + "/tests/wine/extract_driver.exe", "list.txt log.txt"), 0);
    // What the driver logged, per job.
    std::vector<DriverRun> runs;
    std::ifstream log("log.txt");
    for (std::string line; std::getline(log, line);) {
        const std::string key = line.substr(0, line.find(' ')), value = line.substr(key.size() + 1);
        if (key == "ARCHIVE") runs.emplace_back();
        DriverRun& r = runs.back();
        if (key == "ENTRY") r.entries.push_back(value);
        else if (key == "MSG") r.messages += value + "\n";
        else if (key == "POS") r.positions.push_back(static_cast<unsigned>(std::stoul(value)));
        else if (key == "END") r.end = value;
        else if (key == "FAILED") r.failed = value == "1";
        else if (key == "DESTINATION") r.destination = value;
        else if (key == "HANDLER-KEY") r.handlerKey = value == "1";
    }
    ASSERT_EQ(runs.size(), jobs.size());
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const Job& job = jobs[i];
        const DriverRun& run = runs[i];
        SCOPED_TRACE(job.archive + " to " + job.destination + " " + job.option);
        EXPECT_EQ(run.end, job.end);
        EXPECT_TRUE(job.end != "done" || run.failed == (job.message != nullptr)) << run.failed;
        const auto lines = std::count(run.messages.begin(), run.messages.end(), '\n');
        EXPECT_TRUE(job.message ? lines == 1 && run.messages.find(job.message) != std::string::npos
                                : lines == 0)
            << run.messages;
        std::istringstream files(job.files);
        for (std::string file; files >> file;)
            EXPECT_TRUE(file[0] == '=' ? run.destination == windowsPath(work + "/" + file.substr(1))
                                       : exists(file.substr(1)) == (file[0] == '+'))
                << file << " " << run.destination;
        EXPECT_TRUE(job.option != hold || run.handlerKey == !job.message) << "the key goes with it";
        // What the check stops is stopped before the first byte is written.
        const bool stopped = job.option.find("check") == 0 || (i < corpus.size() && job.message);
        EXPECT_TRUE(!stopped || (run.entries.empty() && noFiles(job.destination))) << "begun";
        if (job.option == "abort:30") {
            EXPECT_EQ(run.entries.size(), 2u);
            // The bar runs once while the archive is checked, then again while it is
            // written, each position sent once.
            const std::vector<unsigned>& p = run.positions;
            const auto restart = std::find(p.begin(), p.end(), 0u);
            EXPECT_TRUE(restart != p.begin() && restart != p.end() && restart[-1] == 100u);
            EXPECT_TRUE(!p.empty() && p.back() >= 30u && p.back() < 100u);
            for (auto [from, to] : {std::pair(p.begin(), restart), std::pair(restart, p.end())})
                EXPECT_EQ(std::adjacent_find(from, to, std::greater_equal<>()), to);
        }
    }
    // Every file the members made lies inside its own destination (".../in").
    EXPECT_EQ(runCommand("! find '" + work + "' -name '*vopa-escape*' ! -path '*/in/*' | grep ."),
              0)
        << "written outside the destination";

    std::set<std::string> methods;
    int expectedFailures = 0;
    for (std::size_t i = 0; i < corpus.size(); ++i) {
        expectedFailures += jobs[i].message != nullptr;
        if (jobs[i].message) continue;
        std::vector<DecodedMember> members = decodeArchive(corpus[i]);
        EXPECT_EQ(runs[i].entries.size(), members.size()) << corpus[i];
        for (const DecodedMember& m : members) {
            std::string name = sanitizedName(m.header.name);
            // Folders, also those stored as empty members named "dir/", carry no time.
            if (kMethodTable[m.methodIndex].kind == MemberKind::folder ||
                (!name.empty() && name.back() == '/'))
                continue;
            std::string ours = jobs[i].destination + "/" + hostName(name);
            struct stat st;
            // The time as our reader gives it; the host tests hold that to the calendar.
            EXPECT_TRUE(stat(ours.c_str(), &st) == 0 && st.st_mtime == m.header.modifiedTime)
                << corpus[i] << " " << name;
            EXPECT_TRUE(readWholeFile(ours) == m.bytes) << corpus[i] << " " << name;
            methods.insert(std::string(m.header.method, 5));
        }
    }
    if (!corpus.empty()) {
        EXPECT_GE(expectedFailures, 20);
        EXPECT_EQ(methods.size(), 11u) << "files of every compressed and stored method";
    }

    EXPECT_EQ(readWholeFile("previous/a.txt"), Bytes({'o', 'l', 'd'}));
    if (!HasFailure()) runCommand("umount disk 2>/dev/null");  // then the folder goes
}
