#!/bin/sh
# Runs one Windows test program under wine64 in a fresh prefix, with code page 932
# and fonts that render Japanese. Used as ctest's emulator for the win64 build.
set -u
prefix=$(mktemp -d /tmp/vopa-wine.XXXXXX)
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
wineboot -i >/dev/null 2>&1
for font in "MS UI Gothic" "MS Shell Dlg" "MS Shell Dlg 2" "Tahoma" "MS Gothic"; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /t REG_SZ /d IPAGothic /f >/dev/null 2>&1
done
wine "$@"
status=$?
wineserver -k >/dev/null 2>&1
rm -rf "$prefix"
exit $status
