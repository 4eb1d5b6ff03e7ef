#include "app/stub/stub_runtime.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

#include "app/installer/installer_state.h"
#include "app/installer/user_messages.h"
#include "app/installer/user_texts.h"

namespace {


InstallerState* watchedState = nullptr;
volatile LONG stoppingThread = 0;  // the thread that tells the user; 0 until one does

[[noreturn]] void stopForMemory() { stopInstaller(kNoMemory); }
[[noreturn]] void stopForFault() { stopInstaller(kInternalFault); }

}  // namespace

void watchRuntimeFailures(InstallerState& state) { watchedState = &state; }

void stopInstaller(const char* text) {
    const LONG self = static_cast<LONG>(GetCurrentThreadId());
    const LONG first = InterlockedCompareExchange(&stoppingThread, self, 0);
    // A message box dispatches messages while it waits, and what they run may fail
    // again: the thread already telling ends at once, any other waits for the end.
    if (first == 0 && watchedState) {
        const char* caption =
            watchedState->title.empty() ? kDefaultTitle : watchedState->title.text();
        tellUser(*watchedState, text, caption, MessageKind::error);
    } else if (first != self && first != 0) {
        for (;;) Sleep(INFINITE);
    }
    // Not ExitProcess: the threads it stops may hold the C library's locks that its
    // clean-up takes. A silent run's log is written through by then.
    TerminateProcess(GetCurrentProcess(), kExitNotInstalled);
    for (;;) Sleep(INFINITE);
}

// Allocation: never null and never a throw. The nothrow forms stay null on failure: the
// decoders ask for their tables so and say which member lacked the memory.
void* operator new(std::size_t size) {
    if (void* p = std::malloc(size ? size : 1)) return p;
    stopForMemory();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

// What the containers, strings and std::function would throw. The library's own versions
// throw, and would bring the exception runtime (and its abort) into the stub; another of
// them pulled in by new code fails the link, as a second definition of these.
namespace std {
void __throw_bad_alloc() { stopForMemory(); }
void __throw_bad_array_new_length() { stopForMemory(); }
void __throw_length_error(const char*) { stopForMemory(); }  // longer than can be allocated
void __throw_logic_error(const char*) { stopForFault(); }
void __throw_invalid_argument(const char*) { stopForFault(); }
void __throw_out_of_range(const char*) { stopForFault(); }
void __throw_out_of_range_fmt(const char*, ...) { stopForFault(); }
void __throw_bad_function_call() { stopForFault(); }

// The library's instance of the string is built with exceptions: the stub makes its own.
template class basic_string<char>;
}  // namespace std

// A function's static is made on its first use, by the first thread there. The library's
// guard waits on a winpthread condition; this one yields instead. Byte 0 of the guard
// is set once the value is made (the compiler tests it inline), byte 1 while a thread
// makes it.
namespace {
constexpr LONG kMade = 1, kMaking = 0x100;
}
extern "C" int __cxa_guard_acquire(std::int64_t* guard) {
    volatile LONG* word = reinterpret_cast<volatile LONG*>(guard);
    for (;;) {
        const LONG seen = InterlockedCompareExchange(word, kMaking, 0);
        if (seen == 0) return 1;
        if (seen & kMade) return 0;
        SwitchToThread();
    }
}
extern "C" void __cxa_guard_release(std::int64_t* guard) {
    InterlockedExchange(reinterpret_cast<volatile LONG*>(guard), kMade);
}
