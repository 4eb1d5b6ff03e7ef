#include "extract/archive_walk.h"

#include <cstring>

#include "extract/entry_header.h"

bool seekStream(std::FILE* f, std::uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(f, static_cast<long long>(offset), SEEK_SET) == 0;
#else
    return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

std::uint64_t tellStream(std::FILE* f) {
#ifdef _WIN32
    return static_cast<std::uint64_t>(_ftelli64(f));
#else
    return static_cast<std::uint64_t>(ftello(f));
#endif
}

ArchiveSummary summarizeArchive(std::FILE* f, long timezoneSeconds) {
    std::uint64_t start = tellStream(f);
    ArchiveSummary summary;
    EntryHeader h;
    // Every step moves forward: past a header of at least 21 bytes and its data.
    while (readEntryHeader(f, h, timezoneSeconds) == HeaderRead::member) {
        summary.totalOriginalSize += h.originalSize;
        std::size_t n = std::strlen(h.name);
        if (n > summary.longestName) summary.longestName = n;
        if (!seekStream(f, tellStream(f) + h.packedSize)) break;
    }
    std::clearerr(f);
    seekStream(f, start);
    return summary;
}
