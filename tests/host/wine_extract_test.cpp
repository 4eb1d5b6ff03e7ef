// The extraction worker under Wine (win64 build, code page 932), every job driven
// through extract_driver.exe in one Wine run to keep the start-up cost to one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "decode/lha_format.h"
#include "extract/lha/entry_path.h"
#include "tests/host/test_support.h"
#include "tools/pack/lha_compressor.h"
#include "tools/pack/lha_writer.h"

namespace {

struct DriverRun {
    std::string end, destination, messages;  // a line per message
    std::vector<std::string> entries;
    std::vector<unsigned> positions;
    bool failed = false, handlerKey = false, restart = false;
};

// The archive (a host path), the destination (relative ones from the work folder, the
// driver's current folder) and the driver's option (see extract_driver.cpp), then what
// must come of it: part of its one message (null: none, and success when done); "+PATH",
// "-PATH" there or not afterwards, "=PATH" the destination as Windows resolves it; the end;
// whether the destination's tree must be as it was before the run, byte for byte and
// time for time (a destination this run made must be gone).
struct Job {
    std::string archive, destination, option;
    const char* message = nullptr;
    std::string files = "", end = "done";
    bool unchanged = false;
    std::size_t entries = 0;  // when not 0: the destination's tree holds exactly so many
};

// A folder's tree: each path below it, with what it is and, for a file, its bytes and
// time; a link as its target.
using Tree = std::map<std::string, std::string>;
Tree treeOf(const std::string& dir) {
    namespace fs = std::filesystem;
    Tree tree;
    std::error_code error;
    if (!fs::exists(fs::symlink_status(dir, error))) return tree;
    for (fs::recursive_directory_iterator it(dir, error), end; it != end; it.increment(error)) {
        const fs::path& p = it->path();
        const std::string relative = fs::relative(p, dir).string();
        const fs::file_status status = fs::symlink_status(p);
        struct stat st;
        if (fs::is_symlink(status)) tree[relative] = "link " + fs::read_symlink(p).string();
        else if (fs::is_directory(status)) tree[relative] = "folder";
        else if (lstat(p.c_str(), &st) == 0) {
            const Bytes bytes = readWholeFile(p.string());
            tree[relative] = "file " + std::to_string(st.st_mtime) + " " +
                             std::string(bytes.begin(), bytes.end());
        }
    }
    return tree;
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
    for (const std::string& path : corpus) {
        const char* failure = expectedFailure(path);
        jobs.push_back({path, work + "/c" + std::to_string(jobs.size()), "", failure, "", "done",
                        failure != nullptr});
    }
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
        // The member, its folders and after.txt, and nothing else (no folder made of half
        // a character).
        job.entries = 2 + static_cast<std::size_t>(std::count(name.begin(), name.end(), '/'));
        if (read.nameTooLong || checkEntryPath(name.c_str()) != PathVerdict::inside)
            job.message = "", job.files = "-" + dest + "/after.txt", job.entries = 0;
        jobs.push_back(job);
    }

    // A member that claims 2 GiB is refused before anything is written.
    LhaMember huge = storedMember("huge.bin", {'z'}, 0);
    std::memcpy(huge.method, "-lh5-", 6);
    huge.originalSize = 0x80000000u;
    // 50 members that claim 1.9 GB each: more than the disk holds, refused on their sizes
    // alone, before a byte is decoded.
    std::vector<LhaMember> bombs;
    for (int i = 0; i < 50; ++i) {
        LhaMember& bomb = bombs.emplace_back(storedMember("bomb" + std::to_string(i), {'b'}));
        std::memcpy(bomb.method, "-lh5-", 6);
        bomb.originalSize = 1900000000u;
    }
    // A folder link planted in the destination, leading outside: Wine shows a Unix
    // symbolic link to a folder as a reparse point, as Windows shows links and junctions.
    runCommand("mkdir -p outside link && ln -s \"$PWD/outside\" link/sub");
    LhaMember damaged = storedMember("b.txt", {'b'});
    damaged.crc ^= 1;
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
    // An earlier installation in each destination of these, which an update that does
    // not complete must leave exactly as it was.
    const auto earlier = [&](const std::string& dest, const std::string& more = "") {
        runCommand("mkdir -p '" + dest + "/sub' && printf old > '" + dest + "/small.txt' && " +
                   "printf older > '" + dest + "/sub/b.txt' && printf keep > '" + dest +
                   "/keep.txt' && touch -d '2001-02-03 04:05:06 UTC' '" + dest + "'/*.txt " +
                   "'" + dest + "'/sub/b.txt" + (more.empty() ? "" : " && cd '" + dest + "' && " + more));
        return dest;
    };
    const std::string update = archive(
        "update", {storedMember("small.txt", text, 999148766), storedMember("sub/b.txt", {'n'}, 999148766),
                   storedMember("c.txt", {'c'}, 999148766), storedMember("tail.txt", text, 999148766)});
    const Bytes dll = readWholeFile(win64Dir() + "/tests/wine/loaded_dll.dll");
    jobs.insert(
        jobs.end(),
        {
            {archive("huge", {huge}), "huge", "", "大きすぎる", "-huge/huge.bin"},
            {archive("bombs", bombs), "bombs", "", "ディスクの空きが足りません", "", "done", true},
            {archive("link",
                     {storedMember("first.txt", {'1'}), storedMember("sub/victim.txt", {'v'})}),
             "link", "", "sub はリンク", "-outside/victim.txt -link/first.txt"},
            {small, "relative-dest", hold, nullptr, "+relative-dest/a.txt =relative-dest"},
            {small, "x/../trail. ", "", nullptr, "+trail/a.txt =trail"},
            // Found before anything is committed: the earlier installation stays, and a
            // destination this run made goes.
            {archive("damaged", {storedMember("small.txt", {'n'}), damaged}),
             earlier("previous"), "", "b.txt が壊れています", "-previous/b.txt", "done", true},
            {archive("damaged", {storedMember("small.txt", {'n'}), damaged}), "fresh", "",
             "b.txt が壊れています", "", "done", true},
            {archive("twins", {storedMember("notes", {'1'}), storedMember("NOTES", {'2'})}),
             "twins", "", "notes と NOTES は同じ名前", "-twins/notes -twins/NOTES"},
            {archive("dirfile", {storedMember("small.txt", {'n'}), storedMember("dir/", {'x', 'y'})}),
             earlier("dirfile"), "", "dir/ は使用できません", "", "done", true},
            // Held with no sharing (a running program, a scanner), or a folder where a
            // file goes: the update does not happen at all.
            {update, earlier("busy"), "hold:sub/b.txt", "sub/b.txt が使用中", "", "done", true},
            {update, earlier("occupied", "mkdir c.txt"), "", "c.txt を作成できません", "", "done",
             true},
            {archive("lnk", {storedMember("small.txt", {'n'}), storedMember("lnk/x.txt", {'x'})}),
             earlier("dangling", "ln -s nowhere lnk"), "", "フォルダを作成できません", "", "done",
             true},
            // The shell extension held by a shell: its key goes, the earlier files stay.
            {archive("dll", {storedMember("after.txt", {'2'}), storedMember("VopaDll.dll", {'d'})}),
             "dll", hold, "VopaDll.dll が使用中です", "-dll/after.txt"},
            // Loaded by another process, as a shell loads it: replaced, and the old copy
            // goes at the next restart.
            {archive("loaded", {storedMember("VopaDll.dll", {'n', 'e', 'w'})}), "loaded",
             "load:VopaDll.dll", nullptr, "+loaded/VopaDll.dll +loaded/.vopa-staging"},
            // An update that completes leaves the new tree, and what it does not hold.
            {update, earlier("upgrade"), "", nullptr, "+upgrade/keep.txt +upgrade/tail.txt"},
            // Aborted while a member is written, at the first and at the last member, and as
            // the names are checked: nothing changes.
            {abortable[0], earlier("s"), "abort:30", nullptr, "-s/big.bin", "aborted", true},
            {abortable[1], "z", "abort:30", nullptr, "-z/small.txt", "aborted", true},
            {update, earlier("first"), "entry:1", nullptr, "", "aborted", true},
            {update, earlier("last"), "entry:4", nullptr, "", "aborted", true},
            {archive("late", {storedMember("done.txt", Bytes(5000, 'd')), folderMember("later/"),
                              folderMember("later/more/")}),
             "late", "entry:2", nullptr, "-late/done.txt", "aborted", true},
            {archive("last", {storedMember("one.txt", text), storedMember("empty", {})}), "last2",
             "checked:1", nullptr, "", "aborted", true},
            {archive("filed", {storedMember("done.txt", {'d'}), folderMember("later/")}),
             earlier("filed", "printf file > later"), "", "later/ を作成できません", "", "done",
             true},
        });
    // Links to files planted where members go: Wine shows them as plain files. One to a
    // file outside is refused (what it leads to stays as it was); a dangling one is
    // replaced by the member, and nothing appears where it led.
    runCommand("mkdir -p planted outside2 && printf target > outside2/target.txt && "
               "ln -s ../outside2/target.txt planted/a.txt && mkdir -p dangled && "
               "ln -s ../outside2/none.txt dangled/a.txt");
    jobs.push_back({small, "planted", "", "a.txt はリンク", "+outside2/target.txt", "done", true});
    jobs.push_back({small, "dangled", "", nullptr, "+dangled/a.txt -outside2/none.txt"});
    // Commits a power cut interrupted, put right by the next run before anything else
    // (here one whose archive is then refused): undone from the journal, or finished
    // after its marker.
    runCommand(
        "mkdir -p cut-commit/.vopa-staging/0 && cd cut-commit && printf new > a.txt && "
        "printf old > .vopa-staging/0/0.old && printf oldb > .vopa-staging/0/1.old && "
        "printf newb > .vopa-staging/0/1 && printf 'vopa-journal 1\\nD\\tnew\\nF\\t1\\ta.txt\\n"
        "F\\t1\\tb.txt\\n' > .vopa-staging/journal && mkdir new && "
        "mkdir -p ../done-commit/.vopa-staging/0 && cd ../done-commit && printf new > a.txt && "
        "printf old > .vopa-staging/0/0.old && printf 'vopa-journal 1\\nF\\t1\\ta.txt\\n' > "
        ".vopa-staging/committed");
    const std::string refused = archive("refused", {damaged});
    jobs.push_back({refused, "cut-commit", "", "b.txt が壊れています", "-cut-commit/new"});
    jobs.push_back({refused, "done-commit", "", "b.txt が壊れています",
                    "-done-commit/.vopa-staging"});
    // The installer file cut after its check, where a member begins and inside its header:
    // the members that are missing make no finished installation.
    const LhaMember first = storedMember("first.txt", {'1'}), second = storedMember("2.txt", {'2'});
    const std::size_t begins = archiveOf({first, second}).size() - archiveOf({second}).size();
    for (const std::string& at : {std::to_string(begins), std::to_string(begins + 3)})
        jobs.push_back({archive("cut" + at, {first, second}), "cut" + at, "cut:" + at,
                        "書庫が壊れている", "-cut" + at + "/first.txt", "done", true});
    // A 4 MiB disk holding a 3 MiB file: 3 MiB more do not fit, not even in its place
    // (the old file stays until the commit); the blocks of 400 small files do not fit
    // either; and a disk that fills while the members are written. (Left out where
    // mounting is not allowed.)
    struct Unmounted {  // however the test ends: a mount would outlive the folder
        std::string disk;
        ~Unmounted() { runCommand("umount " + disk + " 2>/dev/null"); }
    } unmounted{work + "/disk"};
    if (runCommand("mkdir -p disk && mount -t tmpfs -o size=4m tmpfs disk 2>/dev/null && mkdir "
                   "disk/old && head -c 3M /dev/zero > disk/old/big.bin") == 0) {
        std::string large = archive("large", {storedMember("first.txt", {'1'}),
                                              storedMember("big.bin", Bytes(3u << 20, 'b'))});
        const char* full = "ディスクの空きが足りません";
        jobs.push_back({large, "disk/inst", "", full, "-disk/inst/first.txt", "done", true});
        jobs.push_back({large, "disk/old", "", full, "-disk/old/first.txt", "done", true});
        std::vector<LhaMember> blocks;
        for (int i = 0; i < 400; ++i) blocks.push_back(storedMember(std::to_string(i), {'b'}));
        jobs.push_back({archive("blocks", blocks), "disk/blocks", "", full, "", "done", true});
        jobs.push_back({archive("fill", {storedMember("a.txt", text)}), "disk/fill", "fill",
                        "書き込めません", "", "done", true});
    } else {
        std::printf("free-space case left out: tmpfs cannot be mounted here\n");
    }
    // The stub's runtime, in a process of its own, asked for more memory than there is
    // (on the worker thread too) or made to break a rule of the C++ library: the
    // installer's own message and status 1, never an abort, and nothing changed. The
    // nothrow form gives null, which the decoders answer with their own message; a
    // static two threads race to is made once.
    for (const std::string route : {"new", "string", "vector", "worker", "substr", "function"})
        jobs.push_back(
            {small, earlier("rt-" + route), "runtime:" + route,
             route == "substr" || route == "function" ? "内部エラー" : "メモリが足りない", "",
             "exit 1", true});
    for (const std::string route : {"nothrow", "static"})
        jobs.push_back(
            {small, "rt-" + route, "runtime:" + route, nullptr, "-rt-" + route, "exit 0"});
    // The loaded DLL is ours, built for the purpose: the sample's would be random bytes.
    runCommand("mkdir -p loaded");
    writeWholeFile("loaded/VopaDll.dll", dll);

    std::vector<Tree> before;
    for (const Job& job : jobs) before.push_back(treeOf(job.destination));
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
        else if (key == "RESTART") r.restart = value == "1";
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
        EXPECT_EQ(run.restart, job.option.find("load") == 0) << "a restart completes it";
        EXPECT_TRUE(!job.unchanged || treeOf(job.destination) == before[i]) << "changed";
        EXPECT_TRUE(!job.entries || treeOf(job.destination).size() == job.entries) << "entries";
        // What the check stops is stopped before a member is written.
        EXPECT_TRUE(job.option.find("checked") != 0 || run.entries.empty()) << "begun";
        if (job.option == "abort:30") {
            EXPECT_EQ(run.entries.size(), 2u);
            // The bar runs once, as the members are written, each position sent once.
            const std::vector<unsigned>& p = run.positions;
            EXPECT_TRUE(!p.empty() && p.front() == 0u && p.back() >= 30u && p.back() < 100u);
            EXPECT_EQ(std::adjacent_find(p.begin(), p.end(), std::greater_equal<>()), p.end());
        }
    }
    // The update that completed: the new tree, what it did not hold, no staging folder.
    Tree upgraded = before[static_cast<std::size_t>(
        std::find_if(jobs.begin(), jobs.end(), [](const Job& j) { return j.destination == "upgrade"; }) -
        jobs.begin())];
    upgraded["small.txt"] = "file 999148766 " + std::string(text.begin(), text.end());
    upgraded["sub/b.txt"] = "file 999148766 n";
    upgraded["c.txt"] = "file 999148766 c";
    upgraded["tail.txt"] = "file 999148766 " + std::string(text.begin(), text.end());
    EXPECT_TRUE(treeOf("upgrade") == upgraded);
    // The interrupted commits: undone, and finished.
    EXPECT_TRUE(treeOf("cut-commit") == (Tree{{"a.txt", treeOf("cut-commit")["a.txt"]},
                                              {"b.txt", treeOf("cut-commit")["b.txt"]}}));
    EXPECT_EQ(readWholeFile("cut-commit/a.txt"), Bytes({'o', 'l', 'd'}));
    EXPECT_EQ(readWholeFile("cut-commit/b.txt"), Bytes({'o', 'l', 'd', 'b'}));
    EXPECT_EQ(readWholeFile("done-commit/a.txt"), Bytes({'n', 'e', 'w'}));
    // What a planted link led to is untouched; the loaded DLL was replaced.
    EXPECT_EQ(readWholeFile("outside2/target.txt"), Bytes({'t', 'a', 'r', 'g', 'e', 't'}));
    EXPECT_EQ(readWholeFile("loaded/VopaDll.dll"), Bytes({'n', 'e', 'w'}));
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

    if (!HasFailure()) runCommand("umount disk 2>/dev/null");  // then the folder goes
}
