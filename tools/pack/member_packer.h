// The members of an installer's archive, packed on every processor. Each file's pieces
// are jobs that the threads share in file order; a file is read when its first job is
// reached and let go when its member is made, so memory holds a few files at a time,
// not the product. The members come out the same on any number of threads. A file that
// is stored as it is (incompressible, or with a stored method) is never held: its CRC is
// taken a chunk at a time, and its bytes are copied when the archive is written.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tools/pack/lha_writer.h"

struct PackFile {
    std::string name;  // the member's name: code page 932, "/" separators
    bool folder = false;
    std::uint32_t modifiedTime = 0;
    std::uint64_t size = 0;  // as listed: what progress counts
};

struct PackOptions {
    int method = 7;  // index in kMethodTable; a stored method stores every file
    int level = 6;
    int headerLevel = 2;
    int threads = 0;  // 0: one per processor
    // Store files whose samples do not shrink without compressing them whole (the
    // benchmark turns it off to time a full compression).
    bool spotIncompressible = true;
    // Decode every compressed member and compare it with its file before it is taken
    // (the benchmark turns it off once, to show what it costs).
    bool selfCheck = true;
    // The tests' switch: this member's packed bytes are damaged on purpose, once, so that
    // the self-check and its way out are seen to work.
    std::size_t damageMember = static_cast<std::size_t>(-1);
};

// A member whose packed bytes did not decode back to its file: a fault of the packer.
// It was packed once more at `fallbackLevel` (0: stored), and that was proven.
struct PackFault {
    std::size_t member;
    int method;  // index in kMethodTable
    int level;
    int fallbackLevel;
};

// Reads up to `length` bytes of file `index` from `offset` into `out`, fewer only where
// the file ends; returns their number, or -1 with `error` set when it cannot read.
using ReadPackFile =
    std::function<long long(std::size_t index, std::uint64_t offset, std::uint8_t* out,
                            std::size_t length, std::string& error)>;
// Called on a worker thread, one call at a time, as the bytes of file `member` are done.
using PackProgress =
    std::function<void(std::uint64_t bytesDone, std::uint64_t bytesTotal, std::size_t member)>;

// One member per file, or false with `error` (the first read error) set. Every
// compressed member has been decoded back to its file's bytes; the faults that check
// found (and mended) go to `faults`, in member order.
bool packMembers(const std::vector<PackFile>& files, const PackOptions& options,
                 const ReadPackFile& read, std::vector<LhaMember>& members, std::string& error,
                 const PackProgress& progress = {}, std::vector<PackFault>* faults = nullptr);

// The archive of packMembers' members (one per file, in the same order) to `out`: each
// header and its data, copied files read once more, then the closing 0 byte. False with
// `error` set when a copied file cannot be read or has changed since it was packed, or
// with `error` empty when `out` takes no more bytes (errno says why).
bool writePackedArchive(const std::vector<LhaMember>& members, const ReadPackFile& read,
                        std::FILE* out, std::string& error);
