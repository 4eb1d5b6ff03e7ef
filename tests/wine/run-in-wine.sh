#!/bin/sh
# Runs one Windows program under wine64 in a fresh prefix, with code page 932 and
# fonts that render Japanese; starts a virtual display when there is none. Used as
# ctest's emulator for the win64 build and by the host tests that drive Windows code.
# VOPA_WINE_PREFIX names a prefix to use and keep (for tests that inspect it).
set -u
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
if [ -n "${VOPA_WINE_PREFIX:-}" ]; then
    prefix=$VOPA_WINE_PREFIX
    keep=1
else
    prefix=$(mktemp -d /tmp/vopa-wine.XXXXXX)
    keep=0
fi
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
if [ ! -f "$prefix/system.reg" ]; then
    wineboot -i >/dev/null 2>&1
    for font in "MS UI Gothic" "MS Shell Dlg" "MS Shell Dlg 2" "Tahoma" "MS Gothic"; do
        wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /t REG_SZ /d IPAGothic /f >/dev/null 2>&1
    done
fi
wine "$@"
status=$?
if [ "$keep" = 1 ]; then
    wineserver -w >/dev/null 2>&1  # a kept prefix gets its registry saved
else
    wineserver -k >/dev/null 2>&1
    rm -rf "$prefix"
fi
exit $status
