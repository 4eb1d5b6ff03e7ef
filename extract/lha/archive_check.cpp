#include "extract/lha/archive_check.h"

#include <cstring>

#include "decode/crc16.h"
#include "decode/lha_format.h"
#include "extract/lha/entry_header.h"
#include "extract/lha/entry_path.h"
#include "extract/lha/member_data.h"
#include "extract/lha/progress.h"

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

bool memberTarget(const EntryHeader& h, int methodIndex, MemberTarget& t) {
    std::memcpy(t.path, h.name, sizeof t.path);
    t.path[sizeof t.path - 1] = '\0';
    sanitizeEntryPath(t.path, '/');
    const std::size_t length = std::strlen(t.path);
    const bool slash = length && t.path[length - 1] == '/';
    t.folder = (methodIndex >= 0 && kMethodTable[methodIndex].kind == MemberKind::folder) ||
               (slash && h.fullOriginalSize == 0);
    return t.folder || !slash;
}

namespace {

// Sizes the worker repositions by and the stored copy counts as signed 32-bit numbers.
constexpr std::uint64_t kLargestMember = 0x7FFFFFFF;

ArchiveProblem problemOf(HeaderRead r) {
    return r == HeaderRead::unknown ? ArchiveProblem::unknownHeader : ArchiveProblem::damagedHeader;
}

// One member: its header read, the stream at its data. Returns the problem, if any.
ArchiveProblem checkMember(std::FILE* f, const EntryHeader& h, std::uint64_t archiveEnd,
                           const CheckOptions& options, MemberNames& names, ArchiveSummary& s) {
    const int method = findMethod(h.method);
    MemberTarget target;
    const bool makeable = memberTarget(h, method, target);
    const char* path = target.path;
    const bool folder = target.folder;
    s.member = path;
    if (method < 0) return ArchiveProblem::unknownMethod;
    if (!folder && (h.fullOriginalSize > kLargestMember || h.fullPackedSize > kLargestMember))
        return ArchiveProblem::tooLarge;
    if (h.nameTooLong) {
        s.member = h.name;
        return ArchiveProblem::nameTooLong;
    }
    if (!makeable) return ArchiveProblem::unusableName;
    const PathVerdict verdict = checkEntryPath(path);
    switch (verdict) {
        case PathVerdict::inside: break;
        case PathVerdict::empty:
            if (folder) break;  // the destination itself
            s.member = h.name;
            return ArchiveProblem::escapes;
        case PathVerdict::escapes: s.member = h.name; return ArchiveProblem::escapes;
        case PathVerdict::unusable: return ArchiveProblem::unusableName;
    }
    if (verdict == PathVerdict::inside && !names.add(path, folder, s.other))
        return ArchiveProblem::sameName;
    // Compared as the room left: a 64-bit size may not wrap the next header back.
    if (h.fullPackedSize > archiveEnd - tellStream(f)) return ArchiveProblem::damagedMember;
    // Stored data is the file itself: bytes past its size would go unchecked by its CRC.
    if (!folder && kMethodTable[method].kind == MemberKind::stored &&
        h.fullPackedSize != h.fullOriginalSize)
        return ArchiveProblem::damagedMember;
    if (options.onMember && !options.onMember(h, target)) return ArchiveProblem::refused;
    const std::size_t length = std::strlen(path);
    if (length > s.longestName) s.longestName = length;
    if (folder) return ArchiveProblem::none;
    s.fileBytes += h.fullOriginalSize;
    if (!options.decode) return ArchiveProblem::none;
    DecodeResult result = extractMemberData(f, nullptr, h, method);
    if (result == DecodeResult::aborted || !shouldContinue()) return ArchiveProblem::aborted;
    if (result != DecodeResult::complete || (h.hasCrc && runningCrc != h.crc))
        return ArchiveProblem::damagedMember;
    return ArchiveProblem::none;
}

}  // namespace

ArchiveSummary checkArchive(std::FILE* f, const CheckOptions& options) {
    const std::uint64_t start = tellStream(f);
    std::fseek(f, 0, SEEK_END);
    const std::uint64_t archiveEnd = tellStream(f);
    seekStream(f, start);
    ArchiveSummary s;
    MemberNames names;
    EntryHeader h;
    const std::uint64_t doneBefore = doneOriginalSize;
    for (;;) {
        const std::uint64_t at = tellStream(f);
        HeaderRead r = readEntryHeader(f, h, options.timezoneSeconds);
        if (r == HeaderRead::end) {
            // Past the end byte; padding (only at the file's end) runs to the file's end.
            seekStream(f, at);
            const int first = std::fgetc(f);
            s.end = first == EOF ? at : first == 0 ? at + 1 : archiveEnd;
            break;
        }
        if (r != HeaderRead::member) {
            s.problem = problemOf(r);
            s.member.clear();
            break;
        }
        const std::uint64_t data = tellStream(f);
        ++s.members;
        s.totalOriginalSize += h.fullOriginalSize;
        s.problem = checkMember(f, h, archiveEnd, options, names, s);
        if (s.problem != ArchiveProblem::none || !seekStream(f, data + h.fullPackedSize)) break;
        doneOriginalSize += h.originalSize;
    }
    if (s.problem == ArchiveProblem::none) s.member.clear();
    doneOriginalSize = doneBefore;
    std::clearerr(f);
    seekStream(f, start);
    return s;
}
