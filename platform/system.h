// The few system facts the portable code needs, one implementation per platform.
#pragma once
#include <cstdint>

// Available physical memory in bytes, or 0 when unknown.
std::uint64_t availablePhysicalMemory();
// Local standard-time offset as the C runtime reports it: seconds to add to local
// time for UTC (negative east of Greenwich).
long localTimezoneOffset();
