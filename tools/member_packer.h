// The members of an installer's archive, packed on every processor. Each file's pieces
// are jobs that the threads share in file order; a file is read when its first job is
// reached and let go when its member is made, so memory holds a few files at a time,
// not the product. The members come out the same on any number of threads.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/lha_writer.h"

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
};

// Reads file `index` whole; false with `error` set when it cannot.
using ReadPackFile =
    std::function<bool(std::size_t index, std::vector<std::uint8_t>& bytes, std::string& error)>;
// Called on a worker thread, one call at a time, as the bytes of file `member` are done.
using PackProgress =
    std::function<void(std::uint64_t bytesDone, std::uint64_t bytesTotal, std::size_t member)>;

// One member per file, or false with `error` (the first read error) set.
bool packMembers(const std::vector<PackFile>& files, const PackOptions& options,
                 const ReadPackFile& read, std::vector<LhaMember>& members, std::string& error,
                 const PackProgress& progress = {});

// True when a few samples spread over `data` do not shrink at a fast level: such a file
// (random bytes, or already compressed: PNG, ZIP, CAB) would not shrink whole either.
bool looksIncompressible(const std::uint8_t* data, std::size_t size, int windowBits);
