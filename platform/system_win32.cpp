// The few system facts the portable core needs, from Windows.
#include <windows.h>

#include <ctime>

#include "platform/system.h"

std::uint64_t availablePhysicalMemory() {
    MEMORYSTATUS status;
    ZeroMemory(&status, sizeof status);
    GlobalMemoryStatus(&status);
    return status.dwAvailPhys;
}

long localTimezoneOffset() {
    _tzset();
    return _timezone;
}
