// Walking an archive's headers without touching member data: positions past 2 GiB,
// and the summary that the dialog, the worker and the progress bar need.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Absolute seek and tell that also work past 2 GiB.
bool seekStream(std::FILE* stream, std::uint64_t offset);
std::uint64_t tellStream(std::FILE* stream);

struct ArchiveSummary {
    std::uint32_t totalOriginalSize = 0;  // for the progress bar
    std::size_t longestName = 0;          // bytes of the longest member name
};

// The members from the current position on, read with the header reader, so it counts
// exactly the members the worker will see; every step moves forward, so it cannot
// loop. Leaves the stream where it was.
ArchiveSummary summarizeArchive(std::FILE* stream, long timezoneSeconds);
