// The compressor over real files: every file below the given folders packed with every
// method and level, decoded as the installer reads a member (through a stream, by its
// decoder) and compared byte for byte. Prints what failed and a count. Usage:
//   roundtrip [--levels 1-9] [--methods 5,6,7] [--threads N] DIR...
// Files of 2 GiB or more are left out (no member holds them); so are links.
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_data.h"
#include "decode/lha_format.h"
#include "decode/slide_decoder.h"
#include "tools/pack/lha_compressor.h"

namespace {

std::vector<std::uint8_t> readAll(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    std::uint8_t chunk[1 << 16];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
    return bytes;
}

// The member decoded from a stream, as the installer reads it, into memory.
bool comesBack(const std::vector<std::uint8_t>& in, const std::vector<std::uint8_t>& packed,
               int method) {
    std::vector<std::uint8_t> out(in.size() + 1);
    std::FILE* from = fmemopen(const_cast<std::uint8_t*>(packed.data()), packed.size() + 1, "rb");
    std::FILE* to = fmemopen(out.data(), out.size(), "wb");
    if (!from || !to) return false;
    std::setvbuf(to, nullptr, _IONBF, 0);
    SlideDecoder d(from, to, static_cast<std::uint32_t>(in.size()),
                   static_cast<std::uint32_t>(packed.size()), kMethodTable[method].windowBits,
                   method);
    const bool complete = d.decode() == DecodeResult::complete;
    const long written = std::ftell(to);
    std::fclose(from);
    std::fclose(to);
    return complete && written == static_cast<long>(in.size()) &&
           (in.empty() || std::memcmp(out.data(), in.data(), in.size()) == 0);
}

}  // namespace

int main(int argc, char** argv) {
    int firstLevel = 1, lastLevel = 9;
    std::vector<int> methods = {5, 6, 7};
    unsigned threads = std::thread::hardware_concurrency();
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--levels" && i + 1 < argc) {
            std::sscanf(argv[++i], "%d-%d", &firstLevel, &lastLevel);
        } else if (a == "--methods" && i + 1 < argc) {
            methods.clear();
            for (const char* p = argv[++i]; *p; ++p)
                if (*p >= '5' && *p <= '7') methods.push_back(*p - '0');
        } else if (a == "--threads" && i + 1 < argc) {
            threads = static_cast<unsigned>(std::atoi(argv[++i]));
        } else {
            for (const std::string& f : listFiles(a)) paths.push_back(a + "/" + f);
        }
    }
    if (paths.empty() || methods.empty()) {
        std::fprintf(stderr, "usage: roundtrip [--levels 1-9] [--methods 567] [--threads N] DIR...\n");
        return 2;
    }
    std::atomic<std::size_t> next{0};
    std::atomic<std::uint64_t> files{0}, bytes{0}, packs{0}, failures{0};
    std::mutex printing;
    const double start = now();
    auto work = [&] {
        for (std::size_t i; (i = next++) < paths.size();) {
            struct stat st;
            if (lstat(paths[i].c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
                st.st_size >= 0x80000000LL)
                continue;
            const std::vector<std::uint8_t> in = readAll(paths[i]);
            ++files;
            bytes += in.size();
            for (int method : methods)
                for (int level = firstLevel; level <= lastLevel; ++level) {
                    const CompressOptions options{kMethodTable[method].windowBits, level};
                    const std::vector<std::uint8_t> packed =
                        compressLha(in.data(), in.size(), options);
                    ++packs;
                    if (comesBack(in, packed, method)) continue;
                    ++failures;
                    std::lock_guard<std::mutex> lock(printing);
                    std::printf("FAILED %s -lh%d- level %d\n", paths[i].c_str(), method, level);
                    std::fflush(stdout);
                }
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
    std::printf("%llu files, %.1f MB, %d methods x %d levels: %llu packed and decoded, %llu "
                "failed, in %.0f s\n",
                static_cast<unsigned long long>(files.load()), static_cast<double>(bytes) / 1e6,
                static_cast<int>(methods.size()), lastLevel - firstLevel + 1,
                static_cast<unsigned long long>(packs.load()),
                static_cast<unsigned long long>(failures.load()), now() - start);
    return failures ? 1 : 0;
}
