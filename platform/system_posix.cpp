// The few system facts the portable core needs, for the native (test) build.
#include <time.h>
#include <unistd.h>

#include "platform/system.h"

long localTimezoneOffset() {
    tzset();
    return timezone;
}
