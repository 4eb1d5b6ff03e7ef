// Compressor size and speed on the ~40 MB of mixed data of the decoder benchmark, in
// one run beside jlha (an independent LHA archiver) packing the same files.
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_data.h"
#include "tools/lha_compressor.h"

namespace {

std::vector<std::uint8_t> readAll(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::uint8_t chunk[1 << 16];
    std::size_t n;
    while (f && (n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
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
    std::printf("%-6s %-6s %12s %8s %8s\n", "method", "level", "bytes", "% input", "seconds");
    struct Jlha { long size; double seconds; };
    Jlha jlha[2] = {{-1, -1}, {-1, -1}};
    const bool haveJlha = haveCommand("jlha");
    for (int m = 0; m < 2; ++m) {
        const char* method = m == 0 ? "5" : "7";
        if (haveJlha) {
            std::string archive = dir + "/jlha" + method + ".lzh";
            std::remove(archive.c_str());
            double t = secondsOf("cd " + dir + "/in && jlha ao" + method + "q " + archive + names + " >/dev/null 2>&1");
            jlha[m] = {fileSize(archive), t};
            std::printf("-lh%s- %-6s %12ld %7.1f%% %8.2f\n", method, "jlha", jlha[m].size,
                        100.0 * static_cast<double>(jlha[m].size) / total, t);
        }
        for (int level = 1; level <= 9; ++level) {
            CompressOptions options;
            options.windowBits = m == 0 ? 13 : 16;
            options.level = level;
            double start = now();
            std::size_t bytes = 0;
            for (const auto& in : inputs) bytes += compressLha(in.data(), in.size(), options).size();
            double t = now() - start;
            std::printf("-lh%s- %-6d %12zu %7.1f%% %8.2f", method, level, bytes, 100.0 * static_cast<double>(bytes) / total, t);
            if (jlha[m].size > 0)
                std::printf("   %+.1f%% size, %.2fx speed vs jlha", 100.0 * (static_cast<double>(bytes) / static_cast<double>(jlha[m].size) - 1),
                            jlha[m].seconds / t);
            std::printf("\n");
        }
    }
    return 0;
}
