#!/bin/sh
# Installs what is missing, builds all presets and runs every test: native unit and
# corpus tests, the Windows code under Wine, the release build under emulated 32-bit
# Wine, and the fuzz targets for a bounded time.
set -eu
cd "$(dirname "$0")"
tools/install-deps.sh
for preset in win32 win64 host fuzz; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
status=0
ctest --preset host || status=1
ctest --preset win64 || status=1
ctest --preset pe32 || status=1
ctest --preset fuzz -j2 || status=1
exit $status
