#!/bin/bash
# The release build (PE32) as Windows runs it, here by 32-bit Wine with qemu-user
# emulating every instruction: the installer unattended, silent and damaged, what it
# registers, its option dialog against its template, and vopa-pack.exe against the Linux
# build's bytes. Emulated starts are slow (an installation 15-40 s), so the checks share
# a few of them, in one prefix.
#   pe32_test.sh VOPA_PACK WIN32_APP_DIR PROBE ARTEFACT_DIR
set -u
native=$1 app=$2 probe=$3 artefacts=$4
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
ulimit -c 0  # qemu would write a core file for each background crash
. "$here/../pe32/emulated-wine.sh"
. "$here/japanese_product.sh"
# Never a skip: a machine that cannot run the release build fails the lane.
requireEmulator || exit 1
work=$(mktemp -d /tmp/vopa-pe32.XXXXXX)  # under /tmp: the root sees it at the same path
mkdir -p "$artefacts"
failures=0 failed=""
check() {  # description, shell test
    if eval "$2"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)) failed="$failed
  $1"; fi
}
section() { echo "== $1 (${SECONDS} s in)"; }
silentLog() { iconv -f CP932 -t UTF-8 "$(find "$WINEPREFIX/drive_c/users" -name VopaSetup.log | head -1)"; }

title='Vopa 1.00 セットアップ'
"$here/../../tools/make-sample.sh" "$work/product" >/dev/null
"$native" --stub "$app/vopa-stub.exe" --files "$work/product" --out "$work/vopa-setup.exe" \
    --title "$title" --program-files --folder Vopa --program Vopa.exe || exit 1
cp "$work/vopa-setup.exe" "$work/damaged.exe"
printf '\377\377\377\377' | dd of="$work/damaged.exe" bs=1 conv=notrunc \
    seek=$(($(stat -c %s "$work/vopa-setup.exe") - 2000)) 2>/dev/null
cp "$probe" "$work/probe.exe"
probeExe="$work/probe.exe"

section "a fresh 32-bit prefix"
bootEmulatedPrefix "$work/prefix"
drive="$WINEPREFIX/drive_c"
check "the prefix booted with its system DLLs" '[ -f "$drive/windows/system32/kernel32.dll" ]'

section "the release installer, unattended: -m -d -t -a -c and every type's word"
for try in 1 2; do
    emulated unattended "$work/vopa-setup.exe" -m -d -t -a -c lzh zip cab tgz tar gz tbz bz2 rar 7z
    installed=$status
    server=$(emulatedServer)
    emulated shell "$probeExe" shell
    # A server that crashed in between lost the keys it held: not the installer's fault.
    [ "$server" = "$(emulatedServer)" ] && break
    echo "note: the emulated Wine server ended after the installation, and the registry" \
         "it held with it; $([ $try = 1 ] && echo "installing again" || echo "giving up")"
done
check "installs, status 0" '[ "$installed" = 0 ]'
check "the installed tree is the product folder" 'diff -r "$work/product" "$drive/Program Files/Vopa" >&2'
check "its registry keys and shortcuts are the full installation the win64 tests expect" \
    '[ "$status" = 0 ] || { iconv -f CP932 -t UTF-8 "$work/shell.out"; false; }'

section "silent, then a damaged copy silent"
emulated silent "$work/vopa-setup.exe" -s "C:\\Silent Run"
check "a silent run installs, status 0" '[ "$status" = 0 ] && diff -r "$work/product" "$drive/Silent Run" >&2'
check "its log line in %TEMP%\\VopaSetup.log names the destination" \
    'silentLog | grep -q "インストールしました: C:\\\\Silent Run"'
emulated damaged "$work/damaged.exe" -s "C:\\Broken Run"
check "a damaged copy fails, status 1" '[ "$status" = 1 ]'
check "its payload does not match its record: the log says so, nothing of it is left" \
    'silentLog | grep -q "書庫が壊れている" && [ ! -e "$drive/Broken Run" ]'

section "the option dialog against its template"
(emulated dialog "$work/vopa-setup.exe") &
installer=$!
# Until it shows, or its runs are over: a start that hangs is made again meanwhile.
while kill -0 $installer 2>/dev/null && [ -z "$(xdotool search --onlyvisible --name "$title" 2>/dev/null)" ]; do
    sleep 0.2
done
# A picture for people; the probe below is the check.
for _ in $(seq 1 50); do
    import -window root "$work/dialog.png" 2>/dev/null
    [ "$(convert "$work/dialog.png" -format %k info: 2>/dev/null || echo 0)" -gt 8 ] && break
    sleep 0.1
done
cp "$work/dialog.png" "$artefacts/pe32-dialog.png" 2>/dev/null
emulated dialogProbe "$probeExe" dialog "$(windowsPath "$work/vopa-setup.exe")" "$title"
sed 's/^/     /' "$work/dialogProbe.out"
check "every control where its template puts it, none cut or overlapping" '[ "$status" = 0 ]'
wait $installer
status=$(cat "$work/dialog.status" 2>/dev/null)
check "Cancel ends the installer, status 1" '[ "$status" = 1 ]'

section "vopa-pack.exe (PE32): a product of Japanese names, with the stub beside it"
kit="$work/配布キット"
mkdir -p "$kit" && cp "$app/vopa-pack.exe" "$app/vopa-stub.exe" "$kit/"
makeJapaneseProduct "$work/製品"
emulated pack "$kit/vopa-pack.exe" --files "$(windowsPath "$work/製品")" \
    --out "$(windowsPath "$work/セットアップ.exe")" "${japaneseOptions[@]}"
check "packs, status 0, printing nothing into a pipe" '[ "$status" = 0 ] && [ ! -s "$work/pack.out" ]'
"$native" --stub "$app/vopa-stub.exe" --files "$work/製品" --out "$work/linux.exe" "${japaneseOptions[@]}"
check "byte for byte the Linux build's output (--mtime)" 'cmp "$work/セットアップ.exe" "$work/linux.exe"'

stopEmulatedWine
section "done"
[ "$failures" = 0 ] && { rm -rf "$work"; echo "all PE32 checks passed"; exit 0; }
# Named again last: the end of a long log is what a CI summary shows.
echo "$failures PE32 checks failed:$failed"
echo "Wine's messages and the prefix are kept in $work"
exit 1
