// The C++ runtime pieces the stub defines itself, in place of the library's. The stub is
// built without exceptions (cmake/vopa_library.cmake), so an allocation that cannot be
// met, and every other failure the C++ library would throw, ends here instead: the
// installer's own message (a message box, or the log line of a silent run) and exit
// status 1, never the runtime's abort. Linked into the stub itself (and the test driver),
// not into a library, so that these definitions win over the C++ library's.
#pragma once

struct InstallerState;

// The state whose window owns the message and whose silent flag sends it to the log.
// Until it is given, a failure ends the process without a message.
void watchRuntimeFailures(InstallerState& state);

// Tells the user `text` as an error and ends the process with kExitNotInstalled.
[[noreturn]] void stopInstaller(const char* text);
