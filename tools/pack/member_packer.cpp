#include "tools/pack/member_packer.h"

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
#include "tools/pack/lha_compressor.h"
#include "tools/pack/pack_check.h"

namespace {

// Samples: one from the middle of a small file (all of it when smaller than a sample),
// else kSamples spread over it.
constexpr std::size_t kSamples = 4, kSampleBytes = 64u << 10;
constexpr std::size_t kSampledFrom = 4u << 10;  // smaller files are compressed at once
// Bytes that spread this evenly (order-0 entropy, bits per byte) may yet hold repeats;
// below it a file always shrinks, and no sample is compressed.
constexpr double kEvenBits = 7.5;
// Samples this flat, with this few repeats (4 bytes seen shortly before, per mille of
// positions), cannot shrink by 1%: stored without a trial compression.
constexpr double kFlatBits = 7.97;
constexpr std::size_t kFlatRepeats = 1;
// Samples that keep 99% or more of their bytes at the fastest level: stored.
constexpr std::size_t kKeptPercent = 99;
// Copied files go through a buffer of this size: no memory of their size is touched.
constexpr std::size_t kCopyChunk = 256u << 10;

const char kChangedSize[] = "a file changed size while it was being packed";

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

// `seen` holds, per hash, the last position + 1 with those 4 bytes: as many as a sample
// has positions, so that a repeat a whole window back is still found most of the time.
std::size_t repeatsPerMille(const std::uint8_t* data, std::size_t size,
                            LargeVector<std::uint32_t>& seen) {
    seen.assign(kSampleBytes, 0);
    std::size_t repeats = 0;
    for (std::size_t i = 0; i + 4 <= size; ++i) {
        std::uint32_t v;
        std::memcpy(&v, data + i, 4);
        std::uint32_t& last = seen[(v * 2654435761u) >> 16];
        repeats += last && std::memcmp(data + last - 1, data + i, 4) == 0;
        last = static_cast<std::uint32_t>(i + 1);
    }
    return repeats * 1000 / size;
}

struct Samples {
    std::size_t count = 0, bytes = 0;  // no samples: compressed without a look
    std::uint64_t size = 0;            // of the file
    std::uint64_t at(std::size_t k) const {
        return count == 1 ? (size - bytes) / 2 : (size - bytes) / (count - 1) * k;
    }
};

Samples samplesOf(std::uint64_t size) {
    if (size < kSampledFrom) return {};
    return {size <= kSamples * kSampleBytes ? 1 : kSamples,
            static_cast<std::size_t>(std::min<std::uint64_t>(size, kSampleBytes)), size};
}

// Bytes [offset, offset + length) of file `i` of `size` bytes into `out`, which has room
// for one byte more: where they reach the listed end, the file must end there too.
bool readPart(const ReadPackFile& read, std::size_t i, std::uint64_t size, std::uint64_t offset,
              std::uint8_t* out, std::size_t length, std::string& error) {
    const bool toEnd = offset + length == size;
    const long long n = read(i, offset, out, length + (toEnd ? 1 : 0), error);
    if (n < 0) return false;
    if (static_cast<std::uint64_t>(n) != length) return error = kChangedSize, false;
    return true;
}

// File `i` of `size` bytes handed to `take` a chunk at a time, through `buffer`.
template <class Take>
bool forEachChunk(const ReadPackFile& read, std::size_t i, std::uint64_t size,
                  std::vector<std::uint8_t>& buffer, std::string& error, Take take) {
    buffer.resize(kCopyChunk + 1);
    std::uint64_t at = 0;
    do {  // once at least: an empty file must still be empty
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kCopyChunk, size - at));
        if (!readPart(read, i, size, at, buffer.data(), n, error) || !take(buffer.data(), n))
            return false;
        at += n;
    } while (at < size);
    return true;
}

// True when samples that spread this evenly do not shrink at the fastest level either:
// such a file (random bytes, or already compressed: PNG, ZIP, CAB) would not shrink whole.
bool looksIncompressible(const std::uint8_t* samples, const Samples& s, int windowBits,
                         FinderTables& tables) {
    static_assert(kSampleBytes == 1u << 16, "one hash slot per position of a sample");
    bool flat = true;
    for (std::size_t k = 0; k < s.count; ++k) {
        const std::uint8_t* sample = samples + k * s.bytes;
        const double bits = bitsPerByte(sample, s.bytes);
        if (bits < kEvenBits) return false;
        flat =
            flat && bits >= kFlatBits &&
            repeatsPerMille(sample, s.bytes, tables.first /* free between pieces */) < kFlatRepeats;
    }
    if (flat) return true;  // as random or compressed data are: no trial needed
    CompressOptions fast;
    fast.windowBits = windowBits;
    fast.level = 1;
    std::size_t packed = 0;
    for (std::size_t k = 0; k < s.count; ++k) {
        const BitWriter bits = compressPiece(samples + k * s.bytes, s.bytes, 0, fast, tables);
        packed += bits.bytes.size() + (bits.bits ? 1 : 0);
    }
    return packed * 100 >= s.count * s.bytes * kKeptPercent;
}

// What the threads share of one file.
struct FileState {
    std::once_flag read;
    // All of it, unless copied; left uninitialised until read, as a large file's pages
    // would otherwise be touched twice.
    LargeBytes bytes;
    std::size_t size = 0;
    bool store = false;     // as it is: decided when the file is read
    bool copied = false;    // stored, and not held
    std::uint16_t crc = 0;  // of a copied file
    std::size_t pieces = 0;
    std::vector<BitWriter> bits;
    std::atomic<std::size_t> piecesLeft{0};
};

struct Job {
    std::size_t file, piece;
};

// A worker's own memory, kept from one file to the next.
struct Scratch {
    FinderTables tables;
    std::vector<std::uint8_t> buffer;  // samples and chunks
};

// Reads file `i` as its member needs it: samples first, then a copied file's CRC, or the
// whole file for compression.
bool readFile(const ReadPackFile& read, std::size_t i, std::uint64_t size, bool compress,
              const PackOptions& options, int windowBits, FileState& s, Scratch& scratch,
              std::string& error) {
    const Samples samples = samplesOf(size);
    if (compress && options.spotIncompressible && samples.count) {
        scratch.buffer.resize(samples.count * samples.bytes + 1);
        for (std::size_t k = 0; k < samples.count; ++k)
            if (!readPart(read, i, size, samples.at(k), &scratch.buffer[k * samples.bytes],
                          samples.bytes, error))
                return false;
        s.copied = looksIncompressible(scratch.buffer.data(), samples, windowBits, scratch.tables);
    }
    s.copied = s.copied || !compress;
    if (s.copied) {
        s.store = true;
        std::uint16_t crc = 0;
        const bool ok = forEachChunk(read, i, size, scratch.buffer, error,
                                     [&](const std::uint8_t* data, std::size_t n) {
                                         crc = crcAfter(crc, data, n);
                                         return true;
                                     });
        s.crc = crc;
        return ok;
    }
    // Listed files are under 2 GiB, so their size fits a 32-bit size_t too.
    s.size = static_cast<std::size_t>(size);
    s.bytes = largeBytes(s.size + 1);
    if (!readPart(read, i, size, 0, s.bytes.get(), s.size, error)) return false;
    s.store = s.store || s.size == 0;
    return true;
}

// True when `packed` decodes back to the file. Else (a fault of the packer) `packed`
// becomes the file packed anew at the simplest level, which finds its matches another
// way, when that is proven, or else nothing: the file is stored. `fallbackLevel` says
// which (0: stored).
bool provePacking(std::vector<std::uint8_t>& packed, const std::uint8_t* data, std::size_t size,
                  int methodIndex, const CompressOptions& compression, int& fallbackLevel) {
    if (givesBack(packed, methodIndex, data, size)) return true;
    CompressOptions simplest = compression;
    simplest.level = 1;
    fallbackLevel = 0;
    packed.clear();
    if (compression.level != simplest.level) {
        std::vector<std::uint8_t> again = compressLha(data, size, simplest);
        if (again.size() < size && givesBack(again, methodIndex, data, size)) {
            packed = std::move(again);
            fallbackLevel = simplest.level;
        }
    }
    return false;
}

// One packing of a product's files: the jobs (a file's pieces, in file order) the
// threads share, what they share of each file, and the members that come of them.
class MemberPacking {
public:
    MemberPacking(const std::vector<PackFile>& files, const PackOptions& options,
                  const ReadPackFile& read, std::vector<LhaMember>& members,
                  const PackProgress& progress, std::vector<PackFault>* faults)
        : files_(files),
          options_(options),
          read_(read),
          members_(members),
          progress_(progress),
          faults_(faults),
          method_(kMethodTable[options.method]),
          compress_(method_.kind == MemberKind::compressed) {
        compression_.windowBits = method_.windowBits;
        compression_.level = options.level;
        for (std::size_t i = 0; i < files.size(); ++i) {
            state_.push_back(std::make_unique<FileState>());
            FileState& s = *state_.back();
            if (!files[i].folder) total_ += files[i].size;
            // Listed files are under 2 GiB, so their size fits a 32-bit size_t too.
            const auto size = static_cast<std::size_t>(files[i].size);
            s.pieces = compress_ && !files[i].folder ? std::max<std::size_t>(pieceCount(size), 1) : 1;
            s.store = files[i].folder || !compress_;
            s.bits.resize(s.pieces);
            s.piecesLeft = s.pieces;
            for (std::size_t k = 0; k < s.pieces; ++k) jobs_.push_back({i, k});
        }
        members.assign(files.size(), LhaMember());
    }

    // Every job done, on `threads` threads (0: one per processor); false with the
    // first read error in `error`.
    bool run(int threads, std::string& error) {
        unsigned count = threads ? static_cast<unsigned>(threads) : std::thread::hardware_concurrency();
        count = static_cast<unsigned>(
            std::min<std::size_t>(std::max(count, 1u), std::max<std::size_t>(jobs_.size(), 1)));
        std::vector<std::thread> helpers;
        try {
            for (unsigned t = 1; t < count; ++t) helpers.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            // No more threads to be had: the ones running share the jobs all the same.
        }
        work();
        for (std::thread& t : helpers) t.join();
        error = error_;
        return !failed_;
    }

private:
    // One thread's part: jobs in turn until none is left or one failed.
    void work() {
        Scratch scratch;
        for (std::size_t j; !failed_ && (j = next_++) < jobs_.size();) {
            const std::size_t i = jobs_[j].file;
            FileState& s = *state_[i];
            std::call_once(s.read, [&] {
                std::string why;
                if (files_[i].folder || readFile(read_, i, files_[i].size, compress_, options_,
                                                 compression_.windowBits, s, scratch, why))
                    return;
                std::lock_guard<std::mutex> lock(reporting_);
                if (!failed_.exchange(true)) error_ = why;
            });
            if (failed_) return;
            const std::size_t piece = jobs_[j].piece;
            // A stored file counts whole at its first job.
            const std::uint64_t bytes =
                s.store ? (piece == 0 ? files_[i].size : 0) : pieceLength(s.size, piece);
            if (!s.store)
                s.bits[piece] =
                    compressPiece(s.bytes.get(), s.size, piece, compression_, scratch.tables);
            if (--s.piecesLeft == 0) finish(i);
            report(bytes, i);
        }
    }

    // File `i`'s member, from its pieces, once the last of them is done.
    void finish(std::size_t i) {
        const PackFile& f = files_[i];
        FileState& s = *state_[i];
        LhaMember& m = members_[i];
        if (f.folder) {
            m = folderMember(f.name, f.modifiedTime, options_.headerLevel);
            return;
        }
        m = storedMember(f.name, {}, f.modifiedTime, options_.headerLevel);
        m.originalSize = static_cast<std::uint32_t>(f.size);
        if (s.copied) {
            m.crc = s.crc;
            m.copied = true;
            return;
        }
        m.crc = crcOf(s.bytes.get(), s.size);
        std::vector<std::uint8_t> packed;
        if (!s.store) packed = joinPieces(s.bits);
        if (i == options_.damageMember && !packed.empty()) packed[packed.size() / 2] ^= 0x5A;
        bool compressed = !s.store && packed.size() < s.size;
        // What the archive will hold byte for byte, decoded before it is taken.
        int fallbackLevel = 0;
        if (compressed && options_.selfCheck &&
            !provePacking(packed, s.bytes.get(), s.size, options_.method, compression_,
                          fallbackLevel)) {
            compressed = fallbackLevel != 0;
            noteFault({i, options_.method, options_.level, fallbackLevel});
        }
        if (compressed) {
            m.data = std::move(packed);
            std::memcpy(m.method, method_.identifier, sizeof m.method);
        } else {
            m.data.assign(s.bytes.get(), s.bytes.get() + s.size);
        }
        s.bytes.reset();
        s.bits = {};
    }

    void noteFault(const PackFault& fault) {
        std::lock_guard<std::mutex> lock(reporting_);
        if (faults_)
            faults_->insert(std::upper_bound(faults_->begin(), faults_->end(), fault,
                                             [](const PackFault& x, const PackFault& y) {
                                                 return x.member < y.member;
                                             }),
                            fault);
    }

    void report(std::uint64_t bytes, std::size_t member) {
        std::lock_guard<std::mutex> lock(reporting_);
        done_ += bytes;
        if (progress_) progress_(done_, total_, member);
    }

    const std::vector<PackFile>& files_;
    const PackOptions& options_;
    const ReadPackFile& read_;
    std::vector<LhaMember>& members_;
    const PackProgress& progress_;
    std::vector<PackFault>* faults_;
    const DecodeMethod& method_;
    const bool compress_;
    CompressOptions compression_;
    std::vector<std::unique_ptr<FileState>> state_;
    std::vector<Job> jobs_;
    std::atomic<std::size_t> next_{0};
    std::atomic<bool> failed_{false};
    std::mutex reporting_;  // progress calls, faults and the first error
    std::string error_;
    std::uint64_t total_ = 0, done_ = 0;
};

}  // namespace

bool packMembers(const std::vector<PackFile>& files, const PackOptions& options,
                 const ReadPackFile& read, std::vector<LhaMember>& members, std::string& error,
                 const PackProgress& progress, std::vector<PackFault>* faults) {
    MemberPacking packing(files, options, read, members, progress, faults);
    return packing.run(options.threads, error);
}

bool writePackedArchive(const std::vector<LhaMember>& members, const ReadPackFile& read,
                        std::FILE* out, std::string& error) {
    auto put = [&](const std::uint8_t* data, std::size_t n) {
        return !n || std::fwrite(data, 1, n, out) == n;
    };
    std::vector<std::uint8_t> buffer;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const LhaMember& m = members[i];
        const std::vector<std::uint8_t> header = lhaHeader(m, error);
        if (header.empty() || !put(header.data(), header.size())) return false;
        if (!m.copied) {
            if (!put(m.data.data(), m.data.size())) return false;
            continue;
        }
        // The CRC in the header was taken from an earlier read: the bytes must agree.
        std::uint16_t crc = 0;
        if (!forEachChunk(read, i, m.originalSize, buffer, error,
                          [&](const std::uint8_t* data, std::size_t n) {
                              crc = crcAfter(crc, data, n);
                              return put(data, n);
                          }))
            return false;
        if (crc != m.crc) return error = "a file changed while it was being packed", false;
    }
    const std::uint8_t end = 0;
    return put(&end, 1);
}
