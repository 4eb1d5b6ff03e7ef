#!/bin/bash
# vopa-pack.exe where a distributor works on Windows, under wine64: a product folder of
# Japanese names and nested folders, given as a Windows path, packed with the stub found
# beside the packer; the installer it makes installs unattended to the same tree, and
# with --mtime its bytes are those the Linux build writes for the same input.
# The 32-bit build, which cannot run here, and both stubs are checked as files.
#   pack_exe_test.sh VOPA_PACK WIN64_APP_DIR WIN32_APP_DIR
set -u
pack=$1 app=$2 app32=$3
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
. "$here/../wine/wine-prefix.sh"
work=$(mktemp -d /tmp/vopa-pack-exe.XXXXXX)
failures=0
check() { if eval "$2"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi; }
windowsPath() { printf 'Z:%s' "${1//\//\\}"; }  # the prefix's Z: is the Unix root
newPrefix "$work/prefix"

# Static runtime: a console program that needs nothing but what every Windows has. The
# stub carries the resources the dialog tests under Wine show in use: the manifest
# (24/1), icon group 102, the version resource (16/1) and dialog 103 in MS UI Gothic.
for build in "$app32:PE32" "$app:PE32+"; do
    x86_64-w64-mingw32-objdump -p "${build%:*}/vopa-pack.exe" > "$work/headers.txt" 2>&1
    check "the ${build#*:} vopa-pack.exe is a console program importing system DLLs only" \
        'grep -q "^Magic.*(${build#*:})" "$work/headers.txt" && grep -q "Subsystem.*(Windows CUI)" "$work/headers.txt" &&
         [ -z "$(sed -n "s/.*DLL Name: //p" "$work/headers.txt" | grep -viE "^(kernel32|msvcrt|shell32)\.dll$")" ]'
    image="${build%:*}/vopa-stub.exe"
    # Type and id of each resource: the first two levels of the directory tree.
    x86_64-w64-mingw32-objdump -p "$image" |
        awk '/^[0-9a-f]+   Entry/ {type = $4} /^[0-9a-f]+     Entry/ {print type $4}' > "$work/resources.txt"
    check "the ${build#*:} stub has the manifest, icon group, version resource and dialog" \
        '[ "$(grep -cxE "0x0000(18,0x000001|0e,0x000066|10,0x000001|05,0x000067)," "$work/resources.txt")" = 4 ]'
    check "its manifest asks for highestAvailable and common controls 6, its dialog MS UI Gothic" \
        'grep -aq "level=\"highestAvailable\"" "$image" && grep -aq "Microsoft.Windows.Common-Controls" "$image" &&
         grep -aq "version=\"6.0.0.0\"" "$image" && grep -aqP "M\x00S\x00 \x00U\x00I\x00" "$image"'
done

# The distributor's kit, in a folder of a Japanese name: the packers (Windows and
# Linux) and the stub side by side.
kit="$work/配布キット"
mkdir -p "$kit" && cp "$app/vopa-pack.exe" "$app/vopa-stub.exe" "$pack" "$kit/"
product="$work/製品"
"$here/../../tools/make-sample.sh" "$product" >/dev/null
mkdir -p "$product/ソース/共通/空のフォルダ"
printf '説明書\r\n' | iconv -f UTF-8 -t CP932 > "$product/説明書.txt"
printf 'int main(void) { return 0; }\n' > "$product/ソース/メイン.c"
printf '#pragma once\n' > "$product/ソース/共通/定義.h"
seq 1 500000 > "$product/ソース/番号.txt"  # over 2 MiB: packed in pieces, on threads
options=(--title 'Vopa 1.00 セットアップ' --program-files --folder Vopa --program Vopa.exe
         --mtime 999148766 --level 7)

(cd "$work" && wine "$kit/vopa-pack.exe" --files "$(windowsPath "$product")" \
    --out 'セットアップ.exe' "${options[@]}" > "$work/pack.txt" 2>&1)
status=$?
check "vopa-pack.exe packs a Windows path with the stub beside it, silent into a pipe" \
    '[ "$status" = 0 ] && [ -s "$work/セットアップ.exe" ] && [ ! -s "$work/pack.txt" ]'
"$kit/vopa-pack" --files "$product" --out "$work/linux.exe" "${options[@]}"
check "its output is byte for byte the Linux build's, stub beside it too (--mtime)" \
    'cmp "$work/セットアップ.exe" "$work/linux.exe"'
wine "$kit/vopa-pack.exe" --list "$(windowsPath "$work/セットアップ.exe")" > "$work/list.txt" 2>&1
status=$?
"$pack" --list "$work/linux.exe" > "$work/linux-list.txt"
check "--list lists it as the Linux build does" \
    '[ "$status" = 0 ] && tr -d "\r" < "$work/list.txt" | cmp -s - "$work/linux-list.txt"'
check "with the Japanese names in UTF-8" \
    'grep -q "ソース/共通/定義.h" "$work/list.txt" && grep -q "title: Vopa 1.00 セットアップ" "$work/list.txt"'
wine "$kit/vopa-pack.exe" --test "$(windowsPath "$work/セットアップ.exe")" > "$work/test.txt" 2>&1
status=$?
check "--test decodes every member" '[ "$status" = 0 ] && grep -q "all ok" "$work/test.txt"'
check "no scratch file is left in %TEMP%" '[ -z "$(find "$WINEPREFIX/drive_c/users" -name "vpk*")" ]'

wine "$work/セットアップ.exe" /m 'C:\Vopa Test' >/dev/null 2>&1
status=$?
check "the installer installs unattended (status 0)" '[ "$status" = 0 ]'
check "the installed tree is the product folder" \
    'diff -r "$product" "$WINEPREFIX/drive_c/Vopa Test" >&2'

# A second run over the same output replaces it (Windows renames do not, unasked); the
# folder given relative to the current one, with a final separator.
(cd "$work" && wine "$kit/vopa-pack.exe" --files '製品\' --out 'セットアップ.exe' \
    "${options[@]}" --title 'Second' >/dev/null 2>&1)
status=$?
"$pack" --list "$work/セットアップ.exe" > "$work/list.txt"
check "packing again replaces the installer" '[ "$status" = 0 ] && grep -q "title: Second" "$work/list.txt"'

wine "$kit/vopa-pack.exe" --files "$(windowsPath "$product")" --out x.exe --sign c.pem k.pem \
    > "$work/sign.txt" 2>&1
status=$?
check "--sign is refused, pointing to signtool" '[ "$status" != 0 ] && grep -q signtool "$work/sign.txt"'

wineserver -k
rm -rf "$work"
[ "$failures" = 0 ] && { echo "all vopa-pack.exe checks passed"; exit 0; }
echo "$failures vopa-pack.exe checks failed"
exit 1
