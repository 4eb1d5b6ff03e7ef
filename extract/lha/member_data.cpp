#include "extract/lha/member_data.h"

#include <cstdlib>

#include "decode/crc16.h"
#include "decode/lha_format.h"
#include "extract/lha/entry_header.h"
#include "extract/lha/progress.h"

namespace {

constexpr std::uint32_t kStoredChunk = 2048;

// Copies `count` stored bytes from the archive to `out`, folding them into runningCrc,
// reporting progress per 2,048-byte chunk and stopping when continueFlag is cleared.
DecodeResult copyStored(std::FILE* archive, std::FILE* out, std::uint32_t count) {
    auto* buffer = static_cast<std::uint8_t*>(std::malloc(kStoredChunk));
    if (!buffer) return DecodeResult::outOfMemory;
    runningCrc = 0;
    DecodeResult result = DecodeResult::complete;
    std::uint32_t copied = 0;
    while (copied < count) {
        std::uint32_t n = count - copied < kStoredChunk ? count - copied : kStoredChunk;
        if (std::fread(buffer, 1, n, archive) != n) {
            result = DecodeResult::damaged;  // cut short: caught without a CRC too
            break;
        }
        if (writeWithCrc(buffer, n, out) != n) {
            result = DecodeResult::writeFailed;
            break;
        }
        copied += n;
        reportProgress(copied);
        if (!shouldContinue()) {
            result = DecodeResult::aborted;
            break;
        }
    }
    std::free(buffer);
    return result;
}

}  // namespace

DecodeResult extractMemberData(std::FILE* archive, std::FILE* out, const EntryHeader& h,
                               int methodIndex) {
    const DecodeMethod& method = kMethodTable[methodIndex];
    if (method.kind == MemberKind::stored) {
        // Never past the member's own data: bytes it lacks are damage, not the next header.
        if (h.originalSize <= h.packedSize) return copyStored(archive, out, h.originalSize);
        const DecodeResult copied = copyStored(archive, out, h.packedSize);
        return copied == DecodeResult::complete ? DecodeResult::damaged : copied;
    }
    SlideDecoder decoder(archive, out, h.originalSize, h.packedSize, method.windowBits,
                         methodIndex);
    decoder.continueFlag = &continueFlag;
    decoder.progress = reportMemberProgress;
    return decoder.decode();
}
