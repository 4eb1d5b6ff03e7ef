// The packer on each kind of input, as vopa-pack packs a product folder (a member per
// file, every processor), in one run beside jlha (an independent LHA archiver) packing
// the same folder. Usage: pack_bench [FOLDER...]; without folders, the ~40 MB of mixed
// data of the decoder benchmark. bench/make-kinds.sh makes folders of other kinds.
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_data.h"
#include "tools/pack/member_packer.h"

namespace {

long fileSize(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

// Processor time of this process (RUSAGE_SELF) or of its finished children.
double cpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Run {
    long bytes = -1;
    double seconds = -1, cpu = -1;
};

// The whole archive of `folder` as vopa-pack makes it, from the disk's cache to `archive`.
Run packFolder(const std::string& folder, const std::vector<std::string>& names,
               const PackOptions& options, const std::string& archive) {
    std::vector<PackFile> files;
    for (const std::string& n : names)
        files.push_back({n, false, 0, static_cast<std::uint64_t>(fileSize(folder + "/" + n))});
    auto read = [&](std::size_t i, std::uint64_t offset, std::uint8_t* out, std::size_t length,
                    std::string& error) -> long long {
        std::FILE* f = std::fopen((folder + "/" + names[i]).c_str(), "rb");
        if (!f) return error = "cannot open " + names[i], -1;
        std::fseek(f, static_cast<long>(offset), SEEK_SET);
        const std::size_t n = std::fread(out, 1, length, f);
        std::fclose(f);
        return static_cast<long long>(n);
    };
    const double start = now(), cpu = cpuSeconds(RUSAGE_SELF);
    std::vector<LhaMember> members;
    std::string error;
    std::FILE* out = std::fopen(archive.c_str(), "wb");
    bool ok = out && packMembers(files, options, read, members, error) &&
              writePackedArchive(members, read, out, error);
    ok = out && std::fclose(out) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "pack_bench: %s\n", error.empty() ? "cannot write" : error.c_str());
        return {};
    }
    return {fileSize(archive), now() - start, cpuSeconds(RUSAGE_SELF) - cpu};
}

Run jlhaFolder(const std::string& folder, const std::vector<std::string>& names,
               const std::string& archive) {
    std::string list;
    for (const std::string& n : names) list += " '" + n + "'";
    std::remove(archive.c_str());
    const double cpu = cpuSeconds(RUSAGE_CHILDREN);
    const double t =
        secondsOf("cd '" + folder + "' && jlha ao7q '" + archive + "'" + list + " >/dev/null 2>&1");
    return {fileSize(archive), t, cpuSeconds(RUSAGE_CHILDREN) - cpu};
}

// Times on a shared virtual machine swing by a third between runs, and a slow spell can
// last a minute: the rows take turns, round after round, and each row, jlha's and ours
// alike, is the fastest of this many rounds.
constexpr int kRounds = 3;

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> folders(argv + 1, argv + argc);
    for (const std::string& folder : folders)
        if (listFiles(folder).empty()) {  // "--help" too: no table of nothing
            std::fprintf(stderr, "usage: pack_bench [FOLDER...]: %s holds no files\n",
                         folder.c_str());
            return 2;
        }
    const std::string work = "/tmp/vopa-bench";
    std::system(("mkdir -p " + work + "/in").c_str());  // jlha's archive goes there too
    if (folders.empty()) {
        makeMixedData(work + "/in");
        folders.push_back(work + "/in");
    }
    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    std::printf(
        "-lh7-, a member per file, on %u thread%s, each member decoded and compared before it "
        "is taken; \"cpu\" is processor time summed over threads; jlha is jlha ao7; rows in "
        "turn, each the fastest of %d rounds\n",
        threads, threads == 1 ? "" : "s", kRounds);
    const bool haveJlha = haveCommand("jlha");
    for (const std::string& folder : folders) {
        const std::vector<std::string> names = listFiles(folder);
        double total = 0;
        for (const std::string& n : names) total += static_cast<double>(fileSize(folder + "/" + n));
        std::printf("\n%s: %zu files, %.1f MB\n%-16s %12s %8s %8s %8s %10s %10s\n", folder.c_str(),
                    names.size(), total / 1e6, "level", "bytes", "% input", "seconds", "cpu",
                    "vs jlha", "speed");
        struct Row {
            std::string name;
            std::function<Run()> run;
            Run fastest;
        };
        std::vector<Row> rows;
        if (haveJlha)
            rows.push_back(
                {"jlha", [&] { return jlhaFolder(folder, names, work + "/jlha.lzh"); }, {}});
        const std::string ours = work + "/vopa.lzh";
        auto pack = [&](PackOptions options) {
            return [&folder, &names, &ours, options] {
                return packFolder(folder, names, options, ours);
            };
        };
        PackOptions options;
        for (int level = 1; level <= 9; ++level) {
            options.level = level;
            rows.push_back(
                {std::to_string(level) + (level == 6 ? " (default)" : ""), pack(options), {}});
        }
        options.level = 6;
        options.spotIncompressible = false;
        rows.push_back({"6, all compressed", pack(options), {}});
        options.spotIncompressible = true;
        // Every row above decodes each member it compressed and compares it with its
        // file, as vopa-pack does; this one shows what that costs.
        options.selfCheck = false;
        rows.push_back({"6, no self-check", pack(options), {}});
        options.selfCheck = true;
        options.threads = 1;
        rows.push_back({"6, one thread", pack(options), {}});
        for (int round = 0; round < kRounds; ++round)
            for (Row& row : rows) {
                const Run r = row.run();
                if (r.bytes >= 0 && (row.fastest.bytes < 0 || r.seconds < row.fastest.seconds))
                    row.fastest = r;
            }
        const Run* jlha = haveJlha ? &rows.front().fastest : nullptr;
        for (const Row& row : rows) {
            const Run& r = row.fastest;
            std::printf("%-16s %12ld %7.1f%% %8.2f %8.2f", row.name.c_str(), r.bytes,
                        100.0 * static_cast<double>(r.bytes) / total, r.seconds, r.cpu);
            if (jlha && jlha->bytes > 0 && &r != jlha)
                std::printf(
                    " %+9.1f%% %9.2fx",
                    100.0 * (static_cast<double>(r.bytes) / static_cast<double>(jlha->bytes) - 1),
                    jlha->seconds / r.seconds);
            std::printf("\n");
        }
    }
    return 0;
}
