#include "tools/member_packer.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "decode/crc16.h"
#include "decode/lha_format.h"
#include "tools/lha_compressor.h"

namespace {

// Samples: one from the middle of a small file (all of it when smaller than a sample),
// else kSamples spread over it.
constexpr std::size_t kSamples = 4, kSampleBytes = 64u << 10;
constexpr std::size_t kSampledFrom = 4u << 10;  // smaller files are compressed at once
// Bytes that spread this evenly (order-0 entropy, bits per byte) may yet hold repeats;
// below it a file always shrinks, and no sample is compressed.
constexpr double kEvenBits = 7.5;
// Samples that keep 99% or more of their bytes at the fastest level: stored.
constexpr std::size_t kKeptPercent = 99;

double bitsPerByte(const std::uint8_t* data, std::size_t size) {
    std::size_t count[256] = {};
    for (std::size_t i = 0; i < size; ++i) ++count[data[i]];
    double bits = 0;
    for (std::size_t c : count)
        if (c) {
            const double p = static_cast<double>(c) / static_cast<double>(size);
            bits -= p * std::log2(p);
        }
    return bits;
}

// What the threads share of one file.
struct FileState {
    std::once_flag read;
    std::vector<std::uint8_t> bytes;
    bool store = false;  // as it is: decided when the file is read
    std::size_t pieces = 0;
    std::vector<BitWriter> bits;
    std::atomic<std::size_t> piecesLeft{0};
};

struct Job {
    std::size_t file, piece;
};

}  // namespace

bool looksIncompressible(const std::uint8_t* data, std::size_t size, int windowBits) {
    if (size < kSampledFrom) return false;
    const std::size_t samples = size <= kSamples * kSampleBytes ? 1 : kSamples;
    const std::size_t sampleBytes = std::min(size, kSampleBytes);
    auto sample = [&](std::size_t k) {
        return data +
               (samples == 1 ? (size - sampleBytes) / 2 : (size - sampleBytes) / (samples - 1) * k);
    };
    for (std::size_t k = 0; k < samples; ++k)
        if (bitsPerByte(sample(k), sampleBytes) < kEvenBits) return false;
    CompressOptions fast;
    fast.windowBits = windowBits;
    fast.level = 1;
    std::size_t packed = 0;
    for (std::size_t k = 0; k < samples; ++k)
        packed += compressLha(sample(k), sampleBytes, fast).size();
    return packed * 100 >= samples * sampleBytes * kKeptPercent;
}

bool packMembers(const std::vector<PackFile>& files, const PackOptions& options,
                 const ReadPackFile& read, std::vector<LhaMember>& members, std::string& error,
                 const PackProgress& progress) {
    const DecodeMethod& method = kMethodTable[options.method];
    const bool compress = method.kind == MemberKind::compressed;
    CompressOptions compression;
    compression.windowBits = method.windowBits;
    compression.level = options.level;

    std::vector<std::unique_ptr<FileState>> state;
    std::vector<Job> jobs;
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        state.push_back(std::make_unique<FileState>());
        FileState& s = *state.back();
        if (!files[i].folder) total += files[i].size;
        // Listed files are under 2 GiB, so their size fits a 32-bit size_t too.
        const std::size_t size = static_cast<std::size_t>(files[i].size);
        s.pieces = compress && !files[i].folder ? std::max<std::size_t>(pieceCount(size), 1) : 1;
        s.store = files[i].folder || !compress;
        s.bits.resize(s.pieces);
        s.piecesLeft = s.pieces;
        for (std::size_t k = 0; k < s.pieces; ++k) jobs.push_back({i, k});
    }
    members.assign(files.size(), LhaMember());

    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex reporting;  // progress calls and the first error
    std::uint64_t done = 0;
    auto report = [&](std::uint64_t bytes, std::size_t member) {
        std::lock_guard<std::mutex> lock(reporting);
        done += bytes;
        if (progress) progress(done, total, member);
    };
    auto finish = [&](std::size_t i) {
        const PackFile& f = files[i];
        FileState& s = *state[i];
        LhaMember& m = members[i];
        if (f.folder) {
            m = folderMember(f.name, f.modifiedTime, options.headerLevel);
            return;
        }
        m = storedMember(f.name, {}, f.modifiedTime, options.headerLevel);
        m.originalSize = static_cast<std::uint32_t>(s.bytes.size());
        m.crc = crcOf(s.bytes.data(), s.bytes.size());
        std::vector<std::uint8_t> packed;
        if (!s.store) packed = joinPieces(s.bits);
        if (!s.store && packed.size() < s.bytes.size()) {
            m.data = std::move(packed);
            std::memcpy(m.method, method.identifier, sizeof m.method);
        } else {
            m.data = std::move(s.bytes);
        }
        s.bytes = {};
        s.bits = {};
    };
    auto work = [&] {
        FinderTables tables;
        for (std::size_t j; !failed && (j = next++) < jobs.size();) {
            const std::size_t i = jobs[j].file;
            FileState& s = *state[i];
            std::call_once(s.read, [&] {
                if (files[i].folder) return;
                std::string why;
                bool ok = read(i, s.bytes, why);
                if (ok && s.bytes.size() != files[i].size) {
                    ok = false;
                    why = "a file changed size while it was being packed";
                }
                if (!ok) {
                    std::lock_guard<std::mutex> lock(reporting);
                    if (!failed.exchange(true)) error = why;
                    return;
                }
                s.store =
                    s.store || s.bytes.empty() ||
                    (options.spotIncompressible &&
                     looksIncompressible(s.bytes.data(), s.bytes.size(), compression.windowBits));
            });
            if (failed) return;
            const std::size_t piece = jobs[j].piece;
            // A stored file counts whole at its first job.
            const std::uint64_t bytes =
                s.store ? (piece == 0 ? s.bytes.size() : 0) : pieceLength(s.bytes.size(), piece);
            if (!s.store)
                s.bits[piece] =
                    compressPiece(s.bytes.data(), s.bytes.size(), piece, compression, tables);
            if (--s.piecesLeft == 0) finish(i);
            report(bytes, i);
        }
    };
    unsigned threads = options.threads ? static_cast<unsigned>(options.threads)
                                       : std::thread::hardware_concurrency();
    threads = static_cast<unsigned>(
        std::min<std::size_t>(std::max(threads, 1u), std::max<std::size_t>(jobs.size(), 1)));
    std::vector<std::thread> helpers;
    try {
        for (unsigned t = 1; t < threads; ++t) helpers.emplace_back(work);
    } catch (const std::system_error&) {
        // No more threads to be had: the ones running share the jobs all the same.
    }
    work();
    for (std::thread& t : helpers) t.join();
    return !failed;
}
