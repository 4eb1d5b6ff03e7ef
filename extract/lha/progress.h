// Progress and abort, shared by the worker, the stored copy and the decoder (through
// its hooks). They live outside InstallerState because the decoder has no access to
// that record.
#pragma once
#include <atomic>
#include <cstdint>

// 1 from program start; the abort button clears it once. Polled by the worker thread.
extern std::atomic<int> continueFlag;
inline bool shouldContinue() { return continueFlag.load(std::memory_order_relaxed) != 0; }

// Byte counts of the whole archive: each member is under 2 GiB, their sum need not be.
extern std::uint64_t totalOriginalSize;     // all members, set before the first
extern std::uint64_t doneOriginalSize;      // members already handled
extern std::uint32_t lastProgressPosition;  // last position sent to the bar

// Where positions go: the progress bar on Windows, a recorder in tests.
using ProgressSink = void (*)(std::uint32_t position);
extern ProgressSink progressSink;

// Bar position for `current` bytes of the member in hand (0..100, a little more when
// the total is not a multiple of 100).
std::uint32_t progressPosition(std::uint32_t current);
// Sends the position when it differs from the last one sent.
void reportProgress(std::uint32_t current);
// The smallest byte count above `current` whose position differs, so that hot loops
// compare a counter instead of dividing per code. UINT32_MAX when none exists.
std::uint32_t nextProgressChange(std::uint32_t current);
// Both: the decoder's progress hook.
std::uint32_t reportMemberProgress(std::uint32_t current);
