#include "extract/lha/progress.h"

#include <limits>

std::atomic<int> continueFlag{1};
std::uint64_t totalOriginalSize;
std::uint64_t doneOriginalSize;
std::uint32_t lastProgressPosition;
ProgressSink progressSink;

std::uint32_t progressPosition(std::uint32_t current) {
    const std::uint64_t sum = doneOriginalSize + current;
    if (totalOriginalSize <= 1000) return static_cast<std::uint32_t>(sum * 100 / totalOriginalSize);
    return static_cast<std::uint32_t>(sum / (totalOriginalSize / 100));
}

void reportProgress(std::uint32_t current) {
    if (totalOriginalSize == 0) return;
    std::uint32_t position = progressPosition(current);
    if (position == lastProgressPosition) return;
    lastProgressPosition = position;
    if (progressSink) progressSink(position);
}

std::uint32_t nextProgressChange(std::uint32_t current) {
    constexpr std::uint64_t none = std::numeric_limits<std::uint32_t>::max();
    if (totalOriginalSize == 0) return static_cast<std::uint32_t>(none);
    std::uint64_t position = progressPosition(current);
    std::uint64_t sum;  // smallest done + current that reaches position + 1
    if (totalOriginalSize <= 1000) sum = ((position + 1) * totalOriginalSize + 99) / 100;
    else sum = (position + 1) * (totalOriginalSize / 100);
    // Above done + current by how position was found: next is above current.
    const std::uint64_t next = sum - doneOriginalSize;
    return static_cast<std::uint32_t>(next > none ? none : next);
}

std::uint32_t reportMemberProgress(std::uint32_t current) {
    reportProgress(current);
    return nextProgressChange(current);
}
