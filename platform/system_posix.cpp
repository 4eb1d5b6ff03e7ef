// The few system facts the portable core needs, for the native (test) build.
#include <time.h>
#include <unistd.h>

#include "platform/system.h"

std::uint64_t availablePhysicalMemory() {
    long pages = sysconf(_SC_AVPHYS_PAGES), size = sysconf(_SC_PAGESIZE);
    return pages > 0 && size > 0 ? static_cast<std::uint64_t>(pages) * size : 0;
}

long localTimezoneOffset() {
    tzset();
    return timezone;
}
