// Checking an archive before anything is written: every header read, every name
// through the path rules and against the others, every member's method and sizes,
// and (when asked) every member decoded and compared with its CRC. An installation
// starts only when the whole archive passes, so a damaged, unsupported or hostile
// archive leaves the destination untouched.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "extract/lha/path_text.h"

struct EntryHeader;

// Absolute seek and tell that also work past 2 GiB.
bool seekStream(std::FILE* stream, std::uint64_t offset);
std::uint64_t tellStream(std::FILE* stream);

// What a member is, by the one rule the check, the staging and the commit all follow:
// a folder (the "-lhd-" method, or an empty member whose name ends in "/", as some
// archivers store folders) or a file, at its sanitised path ("/" separators; a folder's
// may end in "/" as the archive names it; empty for the destination itself).
struct MemberTarget {
    bool folder = false;
    char path[kPathCapacity] = {};
};
// False when no file can be made of the member: one that carries bytes under a name
// that ends in "/". A method outside the table (-1) makes a file.
bool memberTarget(const EntryHeader& header, int methodIndex, MemberTarget& target);

enum class ArchiveProblem {
    none,
    unknownHeader,  // a header layout the format does not have
    damagedHeader,  // a header cut short, or whose checksum or CRC does not match
    damagedMember,  // data past the file's end, or that does not decode to its CRC
    unknownMethod,  // compressed in a way no row of the method table decodes
    tooLarge,       // 2 GiB or more: sizes the stored copy and the worker cannot count
    nameTooLong,    // directory and file name together over 259 bytes
    escapes,        // a name that reaches outside the destination
    unusableName,   // a name Windows refuses or would change (PathVerdict::unusable)
    sameName,       // one file under Windows with an earlier member (`other`)
    refused,        // the caller's own check of the member said no
    aborted,        // the continue flag was cleared while members were decoded
};

struct ArchiveSummary {
    ArchiveProblem problem = ArchiveProblem::none;
    std::string member, other;            // the member concerned (its path, or its raw name)
    std::uint64_t totalOriginalSize = 0;  // of every member, for the progress bar
    std::uint64_t fileBytes = 0;          // of the file members, for the free space
    std::size_t longestName = 0;          // bytes of the longest member path
    std::uint32_t members = 0;
    std::uint64_t end = 0;  // stream offset just past the archive's last byte, when it ended
};

struct CheckOptions {
    long timezoneSeconds = 0;
    bool decode = false;  // decode every member (reporting progress) and check its CRC
    // Called for each member whose header and name passed, with what it is and its path
    // as it will be written ("/" separators); false stops the check with `refused`.
    std::function<bool(const EntryHeader&, const MemberTarget&)> onMember;
};

// Checks the members from the current position on; leaves the stream where it was.
// Every step moves forward, so it cannot loop.
ArchiveSummary checkArchive(std::FILE* stream, const CheckOptions& options = CheckOptions());
