// Compressor size and speed on the ~40 MB of mixed data of the decoder benchmark, in
// one run beside jlha (an independent LHA archiver) packing the same files.
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_data.h"
#include "tools/lha_compressor.h"

namespace {

std::vector<std::uint8_t> readAll(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::uint8_t chunk[1 << 16];
    std::size_t n;
    while (f && (n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    if (f) std::fclose(f);
    return bytes;
}

long fileSize(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return -1;
    std::fseek(f, 0, SEEK_END);
    long n = std::ftell(f);
    std::fclose(f);
    return n;
}

// Processor time of this process (RUSAGE_SELF) or of its finished children.
double cpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = argc > 1 ? argv[1] : "/tmp/vopa-bench";
    std::system(("mkdir -p " + dir + "/in").c_str());
    std::vector<BenchFile> files = makeMixedData(dir + "/in");
    std::vector<std::vector<std::uint8_t>> inputs;
    double total = 0;
    std::string names;
    for (const BenchFile& f : files) {
        inputs.push_back(readAll(f.path));
        total += static_cast<double>(f.size);
        names += " " + f.name;
    }
    std::printf("input: %.1f MB of mixed data (%s )\n\n", total / 1e6, names.c_str());
    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    std::printf("ours on %u thread%s; \"cpu\" is processor time summed over threads\n\n", threads,
                threads == 1 ? "" : "s");
    std::printf("%-6s %-10s %12s %8s %8s %8s\n", "method", "level", "bytes", "% input", "seconds",
                "cpu");
    struct Run {
        long size;
        double seconds;
    };
    Run jlha[2] = {{-1, -1}, {-1, -1}};
    const bool haveJlha = haveCommand("jlha");
    auto report = [&](int m, const char* name, long size, double seconds, double cpu) {
        std::printf("-lh%c- %-10s %12ld %7.1f%% %8.2f %8.2f", m == 0 ? '5' : '7', name, size,
                    100.0 * static_cast<double>(size) / total, seconds, cpu);
        if (jlha[m].size > 0 && jlha[m].size != size)
            std::printf("   %+.1f%% size, %.2fx speed vs jlha",
                        100.0 * (static_cast<double>(size) / static_cast<double>(jlha[m].size) - 1),
                        jlha[m].seconds / seconds);
        std::printf("\n");
    };
    for (int m = 0; m < 2; ++m) {
        const char* method = m == 0 ? "5" : "7";
        if (haveJlha) {
            std::string archive = dir + "/jlha" + method + ".lzh";
            std::remove(archive.c_str());
            double cpu = cpuSeconds(RUSAGE_CHILDREN);
            double t = secondsOf("cd " + dir + "/in && jlha ao" + method + "q " + archive + names +
                                 " >/dev/null 2>&1");
            jlha[m] = {fileSize(archive), t};
            report(m, "jlha", jlha[m].size, t, cpuSeconds(RUSAGE_CHILDREN) - cpu);
        }
        for (int level = 1; level <= 10; ++level) {
            CompressOptions options;
            options.windowBits = m == 0 ? 13 : 16;
            options.level = level <= 9 ? level : 6;
            options.threads = level <= 9 ? 0 : 1;  // last: the default level on one thread
            double start = now(), cpu = cpuSeconds(RUSAGE_SELF);
            std::size_t bytes = 0;
            for (const auto& in : inputs)
                bytes += compressLha(in.data(), in.size(), options).size();
            double t = now() - start;
            std::string name = level <= 9 ? std::to_string(level) : "6, 1 thr";
            report(m, name.c_str(), static_cast<long>(bytes), t, cpuSeconds(RUSAGE_SELF) - cpu);
        }
    }
    return 0;
}
