#!/bin/bash
# vopa-pack as a distributor uses it: refusals with clear messages, the same bytes for
# the same input, and a signed installer that still verifies and installs under Wine.
# Given the Windows build too, its refusals, --list and --test are checked under wine64
# as well, with every path as Windows names it.
#   pack_test.sh VOPA_PACK STUB [VOPA_PACK_EXE]
set -u
native=$1 stub=$2 exe=${3:-}
pack=$native via=""
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/vopa-pack.XXXXXX)
failures=0
check() {
    if eval "$2"; then echo "ok   $1$via"; else echo "FAIL $1$via"; failures=$((failures + 1)); fi
}
refuses() {  # description, expected message part, arguments...
    local what=$1 message=$2
    shift 2
    "$pack" "$@" > "$work/out.txt" 2>&1
    local status=$?
    check "refuses $what" '[ $status != 0 ] && grep -q -- "$message" "$work/out.txt"'
}

"$here/../../tools/make-sample.sh" "$work/product" >/dev/null
base=(--stub "$stub" --files "$work/product" --program Vopa.exe --folder Vopa)
# A hostile PE header: a symbol table said to lie past the file. Windows ignores the
# field and loads the image; neither vopa-pack nor the stub may take it for the end.
pe=$(od -An -tu4 -j60 -N4 "$stub" | tr -d ' ')
cp "$stub" "$work/hostile.exe"
printf '\360\377\377\177' | dd of="$work/hostile.exe" bs=1 seek=$((pe + 12)) conv=notrunc 2>/dev/null

# Everything a packer must refuse or show, run with "$pack": the Linux build here, the
# Windows build under wine64 at the end.
packerChecks() {
refuses "a missing stub" "cannot open" --stub "$work/none.exe" --files "$work/product" --out "$work/x.exe"
refuses "a stub that is not a PE image" "not a PE executable" --stub "$work/product/LICENSE.txt" --files "$work/product" --out "$work/x.exe"
refuses "a missing folder" "cannot read folder" --stub "$stub" --files "$work/none" --out "$work/x.exe"
refuses "a title longer than the block holds" "longer than the block" "${base[@]}" --title "$(printf 'x%.0s' $(seq 1 256))" --out "$work/x.exe"
refuses "a title code page 932 cannot hold" "cannot be written in code page 932" "${base[@]}" --title "Vopa ☃ €" --out "$work/x.exe"
mkdir -p "$work/odd" && printf x > "$work/odd/snow☃.txt"
refuses "a file name code page 932 cannot hold" "cannot be written in code page 932" --stub "$stub" --files "$work/odd" --out "$work/x.exe"
deep="$work/deep"; path="$deep"
for i in $(seq 1 30); do path="$path/folder$(printf %02d $i)"; done
mkdir -p "$path" && printf x > "$path/file.txt"
refuses "a path over 259 bytes" "longer than 259 bytes" --stub "$stub" --files "$deep" --out "$work/x.exe"
check "a failed run leaves no installer behind" '[ ! -e "$work/x.exe" ] && [ ! -e "$work/x.exe.part" ]'

# Names the installer would refuse, rename or merge, each in a folder of its own, with
# the rule in the message; and the fields it joins to the destination folder.
refusesFolder() {  # message part, file names...
    local message=$1
    shift
    rm -rf "$work/names" && mkdir -p "$work/names"
    for f in "$@"; do mkdir -p "$work/names/$(dirname "$f")" && printf x > "$work/names/$f"; done
    refuses "$(printf '%s ' "$@")" "$message" --stub "$stub" --files "$work/names" --out "$work/x.exe"
    [ ! -e "$work/x.exe" ] || { echo "FAIL an installer was left for $*$via"; failures=$((failures + 1)); }
}
refusesFolder "one file under Windows with" README readme
refusesFolder "Windows refuses or would change" notes notes.
refusesFolder "one file under Windows with" "Docs/a.txt" docs
for name in aux.c con nul.txt COM1.log 'q?' 'star*' 'lt<gt>' 'pipe|x' "$(printf 'ctl\001')" trail. \
            'trail '; do
    refusesFolder "Windows refuses or would change" "$name"
done
refusesFolder "would be installed as b" 'a:b'
refusesFolder "would be installed as back/slash" 'back\slash'
# A folder whose name ends in a dot cannot be opened on Windows (the dot is dropped).
[ -n "$via" ] || refusesFolder "Windows refuses or would change" 'dir./file'
rm -rf "$work/names" && mkdir -p "$work/names/real" && ln -s real "$work/names/link"
refuses "a link to a folder" "is neither a file nor a folder" --stub "$stub" --files "$work/names" --out "$work/x.exe"
rm -rf "$work/names" && mkdir "$work/names" && truncate -s 2G "$work/names/big.bin"
refuses "a file of 2 GiB" "is 2 GiB or more" --stub "$stub" --files "$work/names" --out "$work/x.exe"
long=$(printf 'p%.0s' $(seq 1 240))
refusesFolder "does not fit after the default destination" "$long"
"$pack" --stub "$stub" --files "$work/names" --out "$work/x.exe" --folder 'C:\V' >/dev/null 2>&1
check "a 240-byte path fits after a short destination" '[ -e "$work/x.exe" ] && rm "$work/x.exe"'
refuses "a shortcut name with separators" "--shortcut holds a folder separator" "${base[@]}" \
    --shortcut '..\..\..\escaped-shortcut' --out "$work/x.exe"
refuses "a program outside the destination" "--program holds a folder separator" \
    --stub "$stub" --files "$work/product" --program '..\..\Windows\notepad.exe' --out "$work/x.exe"
refuses "a device name as the launch file" "--launch is no plain file name" "${base[@]}" \
    --launch 'CON' --out "$work/x.exe"
check "no installer is left by a refused field" '[ ! -e "$work/x.exe" ]'

"$pack" "${base[@]}" --mtime 999148766 --out "$work/a.exe" && sleep 1 && touch "$work/product/LICENSE.txt" &&
    "$pack" "${base[@]}" --mtime 999148766 --out "$work/b.exe"
check "the same input gives the same bytes (--mtime)" 'cmp -s "$work/a.exe" "$work/b.exe"'
# On a terminal (script gives one) a progress line, rewritten in place; none with
# --quiet or into a pipe, and the bytes are the same either way. (Natively only: a
# Unix terminal is no Windows console.)
if [ -z "$via" ]; then
    script -qec "$(printf '%q ' "$pack" "${base[@]}" --mtime 999148766 --out "$work/tty.exe")" /dev/null > "$work/tty.txt"
    script -qec "$(printf '%q ' "$pack" "${base[@]}" --quiet --out "$work/quiet.exe")" /dev/null > "$work/quiet.txt"
    check "a terminal sees the progress line" 'grep -q "packing .* of .* MB, .* MB/s: " "$work/tty.txt" && grep -q $'"'"'\r'"'"' "$work/tty.txt"'
    check "--quiet and a pipe see nothing" '! grep -q packing "$work/quiet.txt" && "$pack" "${base[@]}" --out "$work/pipe.exe" 2>&1 | wc -c | grep -qx 0'
    check "the bytes are the same with it" 'cmp -s "$work/a.exe" "$work/tty.exe"'
fi
check "--list shows the setup block" '"$pack" --list "$work/a.exe" | grep -q "program: Vopa.exe"'
check "--test verifies every member" '"$pack" --test "$work/a.exe" | grep -q "all ok"'
cp "$work/a.exe" "$work/damaged.exe"
printf '\377\377\377\377' | dd of="$work/damaged.exe" bs=1 seek=$(( $(stat -c %s "$work/a.exe") - 2000 )) conv=notrunc 2>/dev/null
check "--test names a damaged member" '! "$pack" --test "$work/damaged.exe" > "$work/t.txt" && grep -q "is DAMAGED" "$work/t.txt"'
refuses "a stub whose symbol table lies past its end" "not a PE executable" \
    --stub "$work/hostile.exe" --files "$work/product" --out "$work/x.exe"
}
packerChecks

# Silent runs (/s): no window, never waiting. Success: status 0; a failure ends at once
# with a non-zero status and its message in %TEMP%\VopaSetup.log; nothing is installed.
silent="$work/prefix-silent"
VOPA_WINE_PREFIX="$silent" "$here/../wine/run-in-wine.sh" "$work/a.exe" /s 'C:\Silent Run' >/dev/null 2>&1
status=$?
check "a silent run installs, status 0" '[ "$status" = 0 ] && [ -f "$silent/drive_c/Silent Run/LICENSE.txt" ]'
began=$(date +%s)
VOPA_WINE_PREFIX="$silent" "$here/../wine/run-in-wine.sh" "$work/damaged.exe" /s 'C:\Broken Run' >/dev/null 2>&1
status=$? took=$(($(date +%s) - began))
log=$(find "$silent/drive_c" -name VopaSetup.log | head -1)
check "a failing silent run ends within seconds, status non-zero" '[ "$status" != 0 ] && [ "$took" -lt 30 ]'
check "its message is in the log" 'iconv -f CP932 -t UTF-8 "$log" | grep -q "が壊れています"'
check "and nothing of it is installed" '[ -z "$(find "$silent/drive_c/Broken Run" -type f 2>/dev/null)" ]'

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 30 \
    -subj "/CN=Vopa Test Signing" >/dev/null 2>&1
"$pack" "${base[@]}" --sign "$work/cert.pem" "$work/key.pem" --out "$work/signed.exe"
check "the signed installer verifies" 'osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe" 2>&1 | grep -q "Succeeded"'
check "its members still read" '"$pack" --test "$work/signed.exe" | grep -q "all ok"'
prefix="$work/prefix"
# Unattended, from switches, a word and a quoted path: no dialog waits.
VOPA_WINE_PREFIX="$prefix" timeout 300 "$here/../wine/run-in-wine.sh" "$work/signed.exe" /m lzh 'C:\Signed Install' >/dev/null 2>&1
check "the signed installer installs under Wine" '[ "$(cat "$prefix/drive_c/Signed Install/LICENSE.txt" 2>/dev/null)" = "$(cat "$work/product/LICENSE.txt")" ]'
check "unattended, with .lzh associated from its command line" 'WINEPREFIX="$prefix" wine reg query "HKCR\.lzh" 2>/dev/null | grep -q VopaArchive'

# Start-up failures end without a window and with a non-zero status: a bare stub (no
# setup block at all), and a block cut short.
cp "$stub" "$work/bare.exe"
{ cat "$stub"; printf '\001\005Vo'; } > "$work/cut.exe"
# Run from a folder whose path does not fit 260 bytes, the module path comes back cut:
# that could name another file, so start-up fails too.
long="$work/long"
for i in $(seq 1 14); do long="$long/directory_level_$(printf %02d $i)"; done
mkdir -p "$long" && cp "$work/a.exe" "$long/setup.exe"
(cd "$long" && VOPA_WINE_PREFIX="$work/prefix-long" "$here/../wine/run-in-wine.sh" ./setup.exe /m 'C:\Long Path Test' >/dev/null 2>&1)
status=$?
check "an installer started from a path of 260+ bytes fails at start-up (status 2)" '[ "$status" = 2 ] && [ ! -e "$work/prefix-long/drive_c/Long Path Test" ]'
{ cat "$work/hostile.exe"; tail -c +$(($(stat -c %s "$stub") + 1)) "$work/a.exe"; } > "$work/hostile-setup.exe"
# A block made by another tool that names a program outside the destination: the
# installer refuses it at start-up and makes nothing.
"$pack" --stub "$stub" --files "$work/product" --no-setup-block --out "$work/noblock.exe" >/dev/null
{ cat "$stub"; printf '\001\000\000\001V\031..\\..\\Windows\\notepad.exe\003\003\003\000\000'
  tail -c +$(($(stat -c %s "$stub") + 2)) "$work/noblock.exe"; } > "$work/foreign-block.exe"
for f in bare cut hostile-setup foreign-block; do
    # (a stub that took such a block would wait in its dialog: the timeout ends it)
    timeout 120 "$here/../wine/run-in-wine.sh" "$work/$f.exe" >/dev/null 2>&1
    status=$?
    check "a $f stub ends with a start-up failure (status 2)" '[ "$status" = 2 ]'
done

# The same under wine64 from the Windows build, in one prefix.
packExe() {  # every absolute path as the prefix's Z: drive names it
    local a args=()
    for a; do case $a in /*) a="Z:${a//\//\\}" ;; esac; args+=("$a"); done
    wine "$exe" "${args[@]}"
}
if [ -n "$exe" ]; then
    . "$here/../wine/wine-prefix.sh"
    newPrefix "$work/prefix-exe"
    pack=packExe via=" (vopa-pack.exe)"
    packerChecks
    wineserver -k
fi

rm -rf "$work"
[ "$failures" = 0 ] && { echo "all packing checks passed"; exit 0; }
echo "$failures packing checks failed"
exit 1
