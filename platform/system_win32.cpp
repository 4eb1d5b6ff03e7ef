// The few system facts the portable core needs, from Windows.
#include <windows.h>

#include <ctime>

#include "platform/system.h"

long localTimezoneOffset() {
    _tzset();
    return _timezone;
}
