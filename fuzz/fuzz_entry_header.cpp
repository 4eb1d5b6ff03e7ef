// Headers from arbitrary bytes: the reader never crashes or loops, and every member
// path that the final check lets through is relative and has no dot component.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "extract/lha/archive_check.h"
#include "extract/lha/entry_header.h"
#include "extract/lha/entry_path.h"
#include "extract/lha/path_text.h"

namespace {

void requireInside(const char* path) {
    if (path[0] == '/' || path[0] == '\\') std::abort();
    const char* start = path;
    for (const char* p = path;; ++p) {
        bool end = *p == '\0';
        if (end || *p == '/' || *p == '\\') {
            std::size_t n = static_cast<std::size_t>(p - start);
            bool dots = n > 0;
            for (std::size_t i = 0; i < n; ++i) dots &= start[i] == '.' || start[i] == ' ';
            if (dots) std::abort();
            if (end) return;
            start = p + 1;
        } else if (*p == ':') {
            std::abort();
        } else if (isLeadByte(static_cast<unsigned char>(*p)) && p[1]) {
            ++p;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* f = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (!f) return 0;
    checkArchive(f);
    EntryHeader h;
    for (int members = 0; members < 64; ++members) {
        if (readEntryHeader(f, h, 0) != HeaderRead::member) break;
        if (std::memchr(h.name, 0, sizeof h.name) == nullptr) std::abort();
        char path[kPathCapacity];
        std::memcpy(path, h.name, sizeof path);
        sanitizeEntryPath(path, '/');
        if (checkEntryPath(path) == PathVerdict::inside) requireInside(path);
        if (!seekStream(f, tellStream(f) + h.packedSize)) break;
    }
    std::fclose(f);
    return 0;
}
