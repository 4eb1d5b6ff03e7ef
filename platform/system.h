// The few system facts the portable code needs, one implementation per platform.
#pragma once
#include <cstdint>

// Local standard-time offset as the C runtime reports it: seconds to add to local
// time for UTC (negative east of Greenwich).
long localTimezoneOffset();
