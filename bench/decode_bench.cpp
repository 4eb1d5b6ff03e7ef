// Decoder throughput on ~40 MB of mixed data packed as -lh5- and -lh7- by an
// independent archiver (jlha), beside 7-Zip (7zz) and lhasa extracting the same
// archives in the same run. Output goes to files, as an installation writes them.
// Best of three runs each; MB/s counts output bytes. Then the whole-process check a
// user repeats (`vopa-pack --test` against `7zz t` and `lhasa t`), and the peak memory
// of `vopa-pack --test` for members of 1 MB, 100 MB and 1 GB (GNU time).
//
// Usage: decode_bench [WORKDIR] [--stub STUB] [--before OLD-VOPA-PACK] [--archives-only]
// (--archives-only makes the data and the two archives in WORKDIR, for other benchmarks.)
// vopa-pack is the one built beside this program; the stub defaults to the win32 build.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/setup/payload_record.h"
#include "bench/bench_data.h"
#include "decode/crc16.h"
#include "decode/lha_format.h"
#include "extract/lha/archive_check.h"
#include "extract/lha/entry_header.h"
#include "extract/lha/member_data.h"
#include "extract/lha/progress.h"

namespace {

int positions = 0;
void countPosition(std::uint32_t) { ++positions; }

// Extracts every member into `out` the way the worker does; false on a CRC mismatch.
bool extractAll(const std::string& archive, const std::string& out) {
    std::FILE* f = std::fopen(archive.c_str(), "rb");
    if (!f) return false;
    totalOriginalSize = checkArchive(f).totalOriginalSize;
    doneOriginalSize = 0;
    lastProgressPosition = 0;
    EntryHeader h;
    bool ok = true;
    while (readEntryHeader(f, h, 0) == HeaderRead::member) {
        std::uint64_t data = tellStream(f);
        int m = findMethod(h.method);
        std::FILE* o = std::fopen((out + "/" + h.name).c_str(), "wb");
        ok &= extractMemberData(f, o, h, m) == DecodeResult::complete && runningCrc == h.crc;
        std::fclose(o);
        doneOriginalSize += h.originalSize;
        seekStream(f, data + h.packedSize);
    }
    std::fclose(f);
    return ok;
}

std::string quote(const std::string& s) { return "'" + s + "'"; }

// Peak resident memory of a command in MB (GNU time's maximum resident set size).
double peakMegabytes(const std::string& command, const std::string& dir) {
    const std::string report = dir + "/time.txt";
    if (secondsOf("/usr/bin/time -v -o " + report + " " + command + " >/dev/null 2>&1") < 0)
        return -1;
    std::FILE* f = std::fopen(report.c_str(), "r");
    char line[256];
    long kb = -1;
    while (f && std::fgets(line, sizeof line, f))
        if (std::sscanf(line, " Maximum resident set size (kbytes): %ld", &kb) == 1) break;
    if (f) std::fclose(f);
    return kb < 0 ? -1 : static_cast<double>(kb) / 1024;
}

template <class Run>
double best(Run run) {
    double t = 1e9;
    for (int i = 0; i < 3; ++i) {
        double s = run();
        if (s < 0) return -1;
        if (s < t) t = s;
    }
    return t;
}

// The installer's check as a user runs it, whole process from the shell, beside the
// other tools' tests of the same archives; then peak memory by member size.
void wholeProcess(const std::string& dir, const std::string& pack, const std::string& stub,
                  const std::string& before, bool sevenZip, bool lhasa,
                  const std::vector<char>& mixed) {
    struct stat st;
    if (stat(pack.c_str(), &st) != 0 || stat(stub.c_str(), &st) != 0) {
        std::printf("\n(no %s or %s: no whole-process figures)\n", pack.c_str(), stub.c_str());
        return;
    }
    std::printf("\nwhole process, seconds (best of 3):\n%-6s %12s %10s %10s %10s %10s %10s\n",
                "method", "vopa --test", "7zz t", "lhasa t", "vs 7zz", "vs lhasa",
                before.empty() ? "" : "before");
    for (const char* method : {"5", "7"}) {
        const std::string archive = dir + "/bench" + method + ".lzh";
        const std::string installer = dir + "/bench" + method + ".exe";
        if (secondsOf(pack + " --quiet --stub " + quote(stub) + " --archive " + archive +
                      " --out " + installer) < 0)
            return;
        const double ours =
            best([&] { return secondsOf(pack + " --test " + installer + " >/dev/null"); });
        const double sz =
            sevenZip ? best([&] { return secondsOf("7zz t " + archive + " >/dev/null"); }) : -1;
        const double lh =
            lhasa ? best([&] { return secondsOf("lhasa t " + archive + " >/dev/null"); }) : -1;
        std::printf("-lh%s- %12.3f %10.3f %10.3f %9.2fx %9.2fx", method, ours, sz, lh,
                    sz > 0 ? sz / ours : 0.0, lh > 0 ? lh / ours : 0.0);
        if (!before.empty())
            std::printf(" %10.3f", best([&] {
                            return secondsOf(before + " --test " + installer + " >/dev/null");
                        }));
        std::printf("\n");
    }
    // One -lh7- member of the mixed data repeated to each size (about 30% of it packed).
    std::printf("\npeak resident memory of vopa-pack --test, MB:\n%-8s %10s %10s %10s\n", "member",
                "packed MB", "this", before.empty() ? "" : "before");
    for (const long megabytes : {1L, 100L, 1000L}) {
        const std::string product = dir + "/one", name = product + "/member.bin";
        const std::string installer = dir + "/one.exe";
        secondsOf("rm -rf " + product + " && mkdir -p " + product);
        std::FILE* out = std::fopen(name.c_str(), "wb");
        for (long i = 0; i < megabytes; ++i) {  // megabytes from all over the data
            const std::size_t at =
                static_cast<std::size_t>(i) * 7919 * 1000 % (mixed.size() - 1000000);
            std::fwrite(mixed.data() + at, 1, 1000000, out);
        }
        std::fclose(out);
        if (secondsOf(pack + " --quiet --level 1 --stub " + quote(stub) + " --files " + product +
                      " --out " + installer) < 0)
            return;
        stat(installer.c_str(), &st);
        const double peak = peakMegabytes(pack + " --test " + installer, dir);
        const double old =
            before.empty() ? -1 : peakMegabytes(before + " --test " + installer, dir);
        std::printf("%5ld MB %10.1f %10.1f", megabytes, static_cast<double>(st.st_size) / 1e6,
                    peak);
        if (old >= 0) std::printf(" %10.1f", old);
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = "/tmp/vopa-bench", stub = "build/win32/app/vopa-stub.exe", before;
    bool archivesOnly = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--archives-only") archivesOnly = true;
        else if (a == "--stub" && i + 1 < argc) stub = argv[++i];
        else if (a == "--before" && i + 1 < argc) before = argv[++i];
        else dir = a;
    }
    std::string self = argv[0];
    const std::string pack = self.substr(0, self.rfind('/') + 1) + "../tools/vopa-pack";
    std::system(("mkdir -p " + dir + "/in " + dir + "/out").c_str());
    if (!haveCommand("jlha")) {
        std::fprintf(stderr, "decode_bench needs jlha (Debian package jlha-utils)\n");
        return 2;
    }
    std::vector<BenchFile> files = makeMixedData(dir + "/in");
    double total = 0;
    std::string names;
    for (const BenchFile& f : files) {
        total += static_cast<double>(f.size);
        names += " " + f.name;
    }
    std::printf("input: %.1f MB of mixed data (%s )\n", total / 1e6, names.c_str());
    initCrcTable();
    progressSink = countPosition;
    const bool sevenZip = haveCommand("7zz"), lhasa = haveCommand("lhasa");
    std::printf("\n%-6s %10s %10s %10s %10s %12s %12s\n", "method", "ours MB/s", "7zz s", "lhasa s",
                "ours s", "vs 7zz", "vs lhasa");
    for (const char* method : {"5", "7"}) {
        std::string archive = dir + "/bench" + method + ".lzh";
        struct stat st;
        if (stat(archive.c_str(), &st) != 0)
            secondsOf("cd " + dir + "/in && jlha ao" + method + "q " + archive + names +
                      " >/dev/null 2>&1");
        if (archivesOnly) continue;
        std::string out = dir + "/out";
        positions = 0;
        double ours = best([&] {
            double start = now();
            bool ok = extractAll(archive, out);
            double t = now() - start;
            if (!ok) std::fprintf(stderr, "CRC mismatch decoding %s\n", archive.c_str());
            return ok ? t : -1;
        });
        double sz = sevenZip ? best([&] {
            return secondsOf("7zz x -y -o" + out + " " + archive + " >/dev/null");
        })
                             : -1;
        double lh = lhasa ? best([&] {
            return secondsOf("lhasa -xfqw=" + out + " " + archive + " >/dev/null");
        })
                          : -1;
        std::printf("-lh%s- %10.1f %10.3f %10.3f %10.3f %11.2fx %11.2fx\n", method,
                    total / 1e6 / ours, sz, lh, ours, sz > 0 ? sz / ours : 0.0,
                    lh > 0 ? lh / ours : 0.0);
        std::printf("       (%d progress positions sent per run)\n", positions / 3);
        // vopa-pack --test's check: every header and name, every member decoded to its
        // CRC, nothing written (the installer decodes each member once, as it stages it).
        double check = best([&] {
            std::FILE* f = std::fopen(archive.c_str(), "rb");
            double start = now();
            CheckOptions options;
            options.decode = true;
            bool ok = checkArchive(f, options).problem == ArchiveProblem::none;
            double t = now() - start;
            std::fclose(f);
            return ok ? t : -1;
        });
        std::printf("       decoded to the CRCs, nothing written: %.3f s, %.0f%% of the extraction's time\n",
                    check, 100 * check / ours);
    }
    if (archivesOnly) return 0;
    // The installer's first look: the payload's CRC-32 against its record, 100 MB of it.
    {
        std::vector<unsigned char> payload(100u << 20);
        for (std::size_t i = 0; i < payload.size(); ++i)
            payload[i] = static_cast<unsigned char>(i * 2654435761u >> 13);
        std::uint32_t crc = 0;
        const double t = best([&] {
            const double start = now();
            crc = crc32After(0, payload.data(), payload.size());
            return now() - start;
        });
        std::printf("\npayload check: CRC-32 of 100 MB in %.3f s (%.0f MB/s, %08x)\n", t,
                    104.8576 / t, crc);
    }
    std::vector<char> mixed;
    for (const BenchFile& f : files) {
        std::FILE* in = std::fopen(f.path.c_str(), "rb");
        const std::size_t at = mixed.size();
        mixed.resize(at + f.size);
        if (in && std::fread(mixed.data() + at, 1, f.size, in) != f.size) mixed.resize(at);
        if (in) std::fclose(in);
    }
    wholeProcess(dir, pack, stub, before, sevenZip, lhasa, mixed);
    // -lh1- (adaptive Huffman): a 1.2 MB member of the shared corpus, decoded 20 times.
    const char* corpus = std::getenv("VOPA_CORPUS");
    std::string lh1 = std::string(corpus ? corpus : "../shared/corpus/lha") + "/lharc113/long.lzh";
    struct stat st;
    if (stat(lh1.c_str(), &st) == 0) {
        const int rounds = 20;
        double bytes = 1241658.0 * rounds;
        std::string out = dir + "/out";
        double ours = best([&] {
            double start = now();
            bool ok = true;
            for (int i = 0; i < rounds; ++i) ok &= extractAll(lh1, out);
            return ok ? now() - start : -1;
        });
        std::string loop = "for i in $(seq " + std::to_string(rounds) + "); do ";
        double sz = sevenZip ? best([&] {
            return secondsOf(loop + "7zz x -y -o" + out + " " + lh1 +
                             " >/dev/null 2>&1 || exit 1; done");
        })
                             : -1;
        double lh = lhasa ? best([&] {
            return secondsOf(loop + "lhasa -xfqw=" + out + " " + lh1 +
                             " >/dev/null || exit 1; done");
        })
                          : -1;
        std::printf("-lh1- %10.1f %10.3f %10.3f %10.3f %11.2fx %11.2fx   (1.2 MB member x %d)\n",
                    bytes / 1e6 / ours, sz, lh, ours, sz > 0 ? sz / ours : 0.0,
                    lh > 0 ? lh / ours : 0.0, rounds);
    }
    return 0;
}
