#!/bin/sh
# Runs one Windows program under wine64 in a fresh prefix (see wine-prefix.sh), on a
# virtual display when there is none. VOPA_WINE_PREFIX names a prefix to use and keep;
# VOPA_WINE_DPI the DPI of a new one.
set -u
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
. "$(dirname "$0")/wine-prefix.sh"
prefix=${VOPA_WINE_PREFIX:-$(mktemp -d /tmp/vopa-wine.XXXXXX)}
if [ -f "$prefix/system.reg" ]; then export WINEPREFIX="$prefix"; else newPrefix "$prefix" "${VOPA_WINE_DPI:-}"; fi
wine "$@"
status=$?
if [ -n "${VOPA_WINE_PREFIX:-}" ]; then
    wineserver -w >/dev/null 2>&1  # a kept prefix gets its registry saved
else
    wineserver -k >/dev/null 2>&1
    rm -rf "$prefix"
fi
exit $status
