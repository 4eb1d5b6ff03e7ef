#!/bin/bash
# vopa-pack as a distributor uses it, its installers under Wine; given the Windows builds,
# vopa-pack.exe too, which must give the Linux build's bytes.
#   pack_test.sh VOPA_PACK WIN64_APP_DIR [WIN32_APP_DIR]
set -u
native=$1 app=$2 app32=${3:-}
stub=$app/vopa-stub.exe pack=$native via=""
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
. "$here/japanese_product.sh"
work=$(mktemp -d /tmp/vopa-pack.XXXXXX)
failures=0
check() {
    if eval "$2"; then echo "ok   $1$via"; else echo "FAIL $1$via"; failures=$((failures + 1)); fi
}
refuses() {  # description, expected message part, arguments but --out
    local what=$1 message=$2
    shift 2
    "$pack" "$@" --out "$work/x.exe" > "$work/out.txt" 2>&1
    local status=$?
    check "refuses $what, leaving no installer" '[ $status != 0 ] && grep -q -- "$message" "$work/out.txt" &&
        [ ! -f "$work/x.exe" ] && [ ! -e "$work/x.exe.part" ]'
}

"$here/../../tools/make-sample.sh" "$work/product" >/dev/null
base=(--stub "$stub" --files "$work/product" --program Vopa.exe --folder Vopa)
# A hostile PE header: a symbol table said to lie past the file. Windows ignores the
# field and loads the image; neither vopa-pack nor the stub may take it for the end.
pe=$(od -An -tu4 -j60 -N4 "$stub" | tr -d ' ')
cp "$stub" "$work/hostile.exe"
printf '\360\377\377\177' | dd of="$work/hostile.exe" bs=1 seek=$((pe + 12)) conv=notrunc 2>/dev/null

# What a packer must refuse or show, as "$pack": the Linux build, then vopa-pack.exe.
packerChecks() {
refuses "a missing stub" "cannot open" --stub "$work/none.exe" --files "$work/product"
refuses "a stub that is not a PE image" "not a PE executable" --stub "$work/product/LICENSE.txt" --files "$work/product"
refuses "a missing folder" "cannot read folder" --stub "$stub" --files "$work/none"
refuses "a title longer than the block holds" "longer than the block" "${base[@]}" --title "$(printf 'x%.0s' $(seq 1 256))"
refuses "an empty --mtime" "--mtime takes seconds" "${base[@]}" --mtime ''
refuses "a level with more after its number" "--level takes 1 to 9" "${base[@]}" --level 7x
refuses "a header level with more after its number" "--header-level takes 1 or 2" "${base[@]}" --header-level 2x
refuses "a title code page 932 cannot hold" "cannot be written in code page 932" "${base[@]}" --title "Vopa ☃ €"
mkdir -p "$work/odd" && printf x > "$work/odd/snow☃.txt"
refuses "a file name code page 932 cannot hold" "cannot be written in code page 932" --stub "$stub" --files "$work/odd"
refuses "a folder that would read back as another (¥ as a backslash)" "cannot be written in code page 932" "${base[@]}" --folder 'Vopa¥Tools'
deep="$work/deep"; path="$deep"
for i in $(seq 1 28); do path="$path/folder$(printf %02d $i)"; done  # 9 bytes each
mkdir -p "$path" && printf x > "$path/file.txt"
refuses "a path of 260 bytes" "longer than 259 bytes" --stub "$stub" --files "$deep"

# Names the installer would refuse, rename or merge, each in a folder of its own, with
# the rule in the message; and the fields it joins to the destination folder.
refusesFolder() {  # message part, file names...
    local message=$1
    shift
    rm -rf "$work/names" && mkdir -p "$work/names"
    for f in "$@"; do mkdir -p "$work/names/$(dirname "$f")" && printf x > "$work/names/$f"; done
    refuses "$(printf '%s ' "$@")" "$message" --stub "$stub" --files "$work/names"
}
refusesFolder "one file under Windows with" README readme
refusesFolder "one file under Windows with" ⅰ.txt Ⅰ.txt
refusesFolder "Windows refuses or would change" notes notes.
refusesFolder "would be installed as b" 'a:b'
refusesFolder "would be installed as back/slash" 'back\slash'
rm -rf "$work/names" && mkdir -p "$work/names/real" && ln -s real "$work/names/link"
refuses "a link to a folder" "is neither a file nor a folder" --stub "$stub" --files "$work/names"
rm -rf "$work/names" && mkdir "$work/names" && truncate -s 2G "$work/names/big.bin"
refuses "a file of 2 GiB" "is 2 GiB or more" --stub "$stub" --files "$work/names"
rm -rf "$work/names" && mkdir "$work/names" && printf x > "$work/names/late" && touch -d '2200-01-01 UTC' "$work/names/late"
check "a file time past 2106 is stamped 2106, not wrapped" '"$pack" --stub "$stub" --files "$work/names" --no-setup-block --out "$work/x.exe" &&
    [ "$(od -An -tu4 -j $(($(stat -c %s "$stub") + 1 + 15)) -N4 "$work/x.exe" | tr -d " ")" = 4294967295 ]'
rm -f "$work/x.exe"
long=$(printf 'p%.0s' $(seq 1 254))
refusesFolder "does not fit after the default destination" "$long"
check "a 254-byte path fits after C:\\V and a separator" '"$pack" --stub "$stub" --files "$work/names" --out "$work/x.exe" --folder "C:\V" >/dev/null 2>&1 && rm "$work/x.exe"'
refuses "the same path after C:\\Vo" "does not fit after the default destination" --stub "$stub" --files "$work/names" --folder 'C:\Vo'
refuses "a shortcut name with separators" "--shortcut holds a folder separator" "${base[@]}" \
    --shortcut '..\..\..\escaped-shortcut'
refuses "a program outside the destination" "--program holds a folder separator" \
    --stub "$stub" --files "$work/product" --program '..\..\Windows\notepad.exe'
refuses "a device name as the launch file" "--launch is no plain file name" "${base[@]}" \
    --launch 'CON'

"$pack" "${base[@]}" --mtime 999148766 --out "$work/a.exe" && sleep 1 && touch "$work/product/LICENSE.txt" &&
    "$pack" "${base[@]}" --mtime 999148766 --out "$work/b.exe"
check "the same input gives the same bytes (--mtime)" 'cmp -s "$work/a.exe" "$work/b.exe"'
# On a terminal (script gives one) a progress line, rewritten in place; none with --quiet
# or into a pipe, and the same bytes. Natively only: a Unix terminal is no Windows console.
if [ -z "$via" ]; then
    script -qec "$(printf '%q ' "$pack" "${base[@]}" --mtime 999148766 --out "$work/tty.exe")" /dev/null > "$work/tty.txt"
    script -qec "$(printf '%q ' "$pack" "${base[@]}" --quiet --out "$work/quiet.exe")" /dev/null > "$work/quiet.txt"
    check "a terminal sees the progress line" 'grep -q "packing .* of .* MB, .* MB/s: " "$work/tty.txt" && grep -q $'"'"'\r'"'"' "$work/tty.txt"'
    check "--quiet and a pipe see nothing" '! grep -q packing "$work/quiet.txt" && "$pack" "${base[@]}" --out "$work/pipe.exe" 2>&1 | wc -c | grep -qx 0'
    check "the bytes are the same with it" 'cmp -s "$work/a.exe" "$work/tty.exe"'
fi
check "--list shows the setup block and the stub's size" '"$pack" --list "$work/a.exe" | tr -d "\r" > "$work/list-a.txt" &&
    grep -q "program: Vopa.exe" "$work/list-a.txt" && grep -qx "stub: PE32+, $(stat -c %s "$stub") bytes" "$work/list-a.txt"'
check "--test verifies every member" '"$pack" --test "$work/a.exe" | grep -q "all ok"'
# The tests' build damages a member on purpose: the self-check finds it, says so, packs
# it another way, and ends with status 3; the installer is right all the same.
if [ -z "$via" ]; then
    "$pack" "${base[@]}" --damage-member docs/Vopa.txt --out "$work/fault.exe" 2> "$work/fault.txt"
    status=$?
    check "a member that does not decode back: status 3, named with its method and level" \
        '[ $status = 3 ] && grep -q "packer fault: docs/Vopa.txt did not decode back to its bytes at -lh7- level 6" "$work/fault.txt"'
    check "and its installer passes --test, the member packed another way" \
        '"$pack" --test "$work/fault.exe" | grep -q "all ok"'
fi
# A member of 4 GiB and more, its 32-bit fields the low bits of its 64-bit size header,
# its data sparse: --list steps over all of it to the next member.
{ cat "$stub"; printf '\000\061\000-lh0-\012\000\000\000\012\000\000\000\000\000\000\000\040\002\000\000U\004\000\001a'
  printf '\023\000B\012\000\000\000\001\000\000\000\012\000\000\000\001\000\000\000\000\000'; } > "$work/big.exe"
truncate -s +4294967306 "$work/big.exe"
printf '\036\000-lh0-\001\000\000\000\001\000\000\000\000\000\000\000\040\002\000\042U\004\000\001b\000\000x\000' >> "$work/big.exe"
"$pack" --list "$work/big.exe" > "$work/big.txt"
check "--list steps over a member of 4 GiB by its full size" \
    'grep -q "^-lh0- *4294967306 *4294967306 .* a" "$work/big.txt" && grep -q "^-lh0- .* b" "$work/big.txt" && grep -q "^2 members" "$work/big.txt"'
rm "$work/big.exe"
cp "$work/a.exe" "$work/damaged.exe"
printf '\377\377\377\377' | dd of="$work/damaged.exe" bs=1 seek=$(( $(stat -c %s "$work/a.exe") - 2000 )) conv=notrunc 2>/dev/null
check "--test names a damaged member" '! "$pack" --test "$work/damaged.exe" > "$work/t.txt" && grep -q "is DAMAGED" "$work/t.txt"'
refuses "a stub whose symbol table lies past its end" "not a PE executable" \
    --stub "$work/hostile.exe" --files "$work/product"
refuses "a stub that carries data already" "already carries data" --stub "$work/a.exe" --files "$work/product"
: > "$work/empty.lzh"
refuses "an archive of no members" "holds no files" --stub "$stub" --archive "$work/empty.lzh"
cp "$stub" "$work/own.exe" && cp "$stub" "$work/own.exe.part"
check "refuses an output over its own stub or beside it, leaving both" '! "$pack" --stub "$work/own.exe" --files "$work/product" --out "$work/own.exe" >/dev/null 2>&1 &&
    ! "$pack" --stub "$work/own.exe.part" --files "$work/product" --out "$work/own.exe" >/dev/null 2>&1 &&
    cmp -s "$stub" "$work/own.exe" && cmp -s "$stub" "$work/own.exe.part"'
rm -rf "$work/self" && cp -r "$work/product" "$work/self"
check "an installer written into the product folder is left out of the next one" \
    '"$pack" "${base[@]:0:2}" --files "$work/self" --out "$work/self/setup.exe" 2>/dev/null &&
     "$pack" "${base[@]:0:2}" --files "$work/self" --out "$work/self/setup.exe" 2> "$work/self.txt" &&
     grep -q "leaving out .*setup.exe" "$work/self.txt" && ! "$pack" --list "$work/self/setup.exe" | grep -q setup.exe'
mkdir "$work/x.exe"  # an output that cannot replace a folder: no part file is left either
refuses "an output that is a folder" "cannot write" "${base[@]}"
rmdir "$work/x.exe"
}
packerChecks

inWine() {  # kept prefix or "", installer and arguments; sets and returns $status
    VOPA_WINE_PREFIX="$1" timeout 300 "$here/../wine/run-in-wine.sh" "${@:2}" >/dev/null 2>&1
    status=$?
    # 53 is wine's own status for a program it could not start at all (never ours): the
    # start is tried once more, with a note.
    if [ $status = 53 ]; then
        echo "note: wine could not start $2 (status 53); starting it again" >&2
        VOPA_WINE_PREFIX="$1" timeout 300 "$here/../wine/run-in-wine.sh" "${@:2}" >/dev/null 2>&1
        status=$?
    fi
    return $status
}
# Silent runs (/s): no window, never waiting; a failure leaves its message in the log.
silent="$work/prefix-silent"
check "a silent run installs, status 0" 'inWine "$silent" "$work/a.exe" /s "C:\Silent Run" && [ -f "$silent/drive_c/Silent Run/LICENSE.txt" ]'
check "a failing silent run ends within seconds, status non-zero" 'began=$(date +%s); ! inWine "$silent" "$work/damaged.exe" /s "C:\Broken Run" && [ $(($(date +%s) - began)) -lt 30 ]'
check "its message is in the log, and nothing of it is installed" 'iconv -f CP932 -t UTF-8 "$(find "$silent/drive_c" -name VopaSetup.log | head -1)" | grep -q "が壊れて" && [ ! -e "$silent/drive_c/Broken Run" ]'
check "a destination too long to hold: status 2, its message in the log" '! inWine "$silent" "$work/a.exe" /s "C:\\x $(printf "d%.0s" $(seq 1 300))" && [ "$status" = 2 ] && iconv -f CP932 -t UTF-8 "$(find "$silent/drive_c" -name VopaSetup.log | head -1)" | grep -q "フォルダを作成できません"'


# The installer reads its payload whole against the record vopa-pack leaves in the stub
# before it reads a member: a download cut where a member begins, a changed byte in a
# member that carries no CRC (level 0), an archive that ends before its recorded end.
# And an archive of no members (a stub put together by other tools, its record empty)
# installs nothing and registers nothing.
mkdir -p "$work/three" && printf 1 > "$work/three/x.txt" && printf 2 > "$work/three/y.txt"
"$pack" --stub "$stub" --files "$work/three" --method lh0 --out "$work/two.exe" >/dev/null
printf 3 > "$work/three/z.txt"
"$pack" --stub "$stub" --files "$work/three" --method lh0 --out "$work/three.exe" >/dev/null
head -c $(( $(stat -c %s "$work/two.exe") - 1 )) "$work/three.exe" > "$work/boundary.exe"
python3 - "$work/crcless.lzh" <<'PY'
import struct, sys
name, data = b"crcless.txt", b"hello"
body = b"-lh0-" + struct.pack("<III", len(data), len(data), 0x2C210000) + b"\x20\x00" + bytes([len(name)]) + name
open(sys.argv[1], "wb").write(bytes([len(body), sum(body) & 0xFF]) + body + data + b"\x00")
PY
"$pack" --stub "$stub" --archive "$work/crcless.lzh" --out "$work/crcless.exe" >/dev/null
printf p | dd of="$work/crcless.exe" bs=1 seek=$(( $(stat -c %s "$work/crcless.exe") - 2 )) conv=notrunc 2>/dev/null
# Bytes after the archive's end byte, taken into the record as if they were the payload's.
cp "$work/two.exe" "$work/trailing.exe" && printf 'more' >> "$work/trailing.exe"
python3 - "$work/trailing.exe" "$(stat -c %s "$stub")" <<'PY'
import struct, sys, zlib
path, end = sys.argv[1], int(sys.argv[2])
b = bytearray(open(path, "rb").read())
pe = struct.unpack_from("<I", b, 0x3C)[0]
sections, optional = struct.unpack_from("<H", b, pe + 6)[0], struct.unpack_from("<H", b, pe + 20)[0]
for k in range(sections):
    s = pe + 24 + optional + 40 * k
    if b[s:s + 8] == b".vopapay":
        at = struct.unpack_from("<I", b, s + 20)[0]
        b[at + 8:at + 20] = struct.pack("<QI", len(b) - end, zlib.crc32(bytes(b[end:])))
open(path, "wb").write(b)
PY
{ cat "$stub"; printf '\000'; } > "$work/nothing.exe"
{ cat "$stub"; printf '\000\000'; } > "$work/zero.exe"
whole="$work/prefix-whole"
for f in boundary crcless trailing nothing zero; do
    rm -f "$whole"/drive_c/users/*/Temp/VopaSetup.log
    check "$f: refused as damaged (status 1), nothing installed or registered" \
        '! inWine "$whole" "$work/$f.exe" /s "C:\Whole $f" && [ "$status" = 1 ] &&
         iconv -f CP932 -t UTF-8 "$whole"/drive_c/users/*/Temp/VopaSetup.log | grep -q "書庫が壊れている" &&
         [ ! -e "$whole/drive_c/Whole $f" ] &&
         ! WINEPREFIX="$whole" wine reg query "HKLM\SoftWare\Microsoft\Windows\CurrentVersion\Uninstall\Vopa" >/dev/null 2>&1'
done
check "--test checks the record: the cut, changed and trailing copies are damaged" \
    '(for f in boundary crcless trailing; do "$pack" --test "$work/$f.exe" | grep -q "payload is DAMAGED" || exit 1; done)'
check "--list shows it" '"$pack" --list "$work/two.exe" | grep -q "^payload record: [0-9]* bytes, CRC-32 [0-9a-f]\{8\}$"'
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 30 \
    -subj "/CN=Vopa Test Signing" >/dev/null 2>&1
"$pack" "${base[@]}" --sign "$work/cert.pem" "$work/key.pem" --out "$work/signed.exe"
check "the signed installer verifies, its members still read" 'osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe" 2>&1 | grep -q "Succeeded" && "$pack" --test "$work/signed.exe" | grep -q "all ok"'
prefix="$work/prefix"
# Unattended, from switches, a word and a quoted path: no dialog waits.
check "the signed installer installs under Wine" 'inWine "$prefix" "$work/signed.exe" /m lzh "C:\Signed Install"; [ "$(cat "$prefix/drive_c/Signed Install/LICENSE.txt" 2>/dev/null)" = "$(cat "$work/product/LICENSE.txt")" ]'
check "unattended, with .lzh associated from its command line" 'WINEPREFIX="$prefix" wine reg query "HKCR\.lzh" 2>/dev/null | grep -q VopaArchive'

# Start-up failures end without a window, status 2. From a folder whose path does not fit
# 260 bytes, the module path comes back cut and could name another file ("setup.ex" here,
# the 259 bytes of "Z:\...\setup.ex"): start-up fails too.
cp "$stub" "$work/bare.exe"
{ cat "$stub"; printf '\001\005Vo'; } > "$work/cut.exe"
long="$work/long/$(printf 'd%.0s' $(seq 1 $((250 - 2 - ${#work} - 6))))"  # "Z:" and 248 bytes
mkdir -p "$long" && cp "$work/a.exe" "$long/setup.exe" && cp "$work/a.exe" "$long/setup.ex"
check "an installer started from a path of 260+ bytes fails at start-up (status 2)" '(cd "$long" && inWine "$work/prefix-long" ./setup.exe /m "C:\Long Path Test"); [ $? = 2 ] && [ ! -e "$work/prefix-long/drive_c/Long Path Test" ]'
{ cat "$work/hostile.exe"; tail -c +$(($(stat -c %s "$stub") + 1)) "$work/a.exe"; } > "$work/hostile-setup.exe"
# A block made by another tool that names a program outside the destination: the
# installer refuses it at start-up and makes nothing.
"$pack" --stub "$stub" --files "$work/product" --no-setup-block --out "$work/noblock.exe" >/dev/null
{ cat "$stub"; printf '\001\000\000\001V\031..\\..\\Windows\\notepad.exe\003\003\003\000\000'
  tail -c +$(($(stat -c %s "$stub") + 2)) "$work/noblock.exe"; } > "$work/foreign-block.exe"
for f in bare cut hostile-setup foreign-block; do
    # (a stub that took such a block would wait in its dialog: the timeout ends it)
    check "a $f stub ends with a start-up failure (status 2)" 'inWine "" "$work/$f.exe"; [ "$status" = 2 ]'
done
# Silent, it says why in the log, though the line is read only after start-up.
check "silent, a start-up failure leaves its reason in the log" \
    'inWine "$whole" "$work/cut.exe" /s; [ "$status" = 2 ] &&
     iconv -f CP932 -t UTF-8 "$whole"/drive_c/users/*/Temp/VopaSetup.log | grep -q "開始できません"'

# The same under wine64 from the Windows build, in one prefix.
packExe() {  # every absolute path as Windows names it
    local a args=()
    for a; do case $a in /*) a=$(windowsPath "$a") ;; esac; args+=("$a"); done
    wine "$app/vopa-pack.exe" "${args[@]}"
}
windowsBuildChecks() {
. "$here/../wine/wine-prefix.sh"
newPrefix "$work/prefix-exe"
pack=packExe via=" (vopa-pack.exe)"
packerChecks
via=""
# Static runtime: a console program needing nothing but what every Windows has. The stub
# carries the manifest (24/1), icon group 102, version (16/1) and dialog 103 resources.
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
    # Per-monitor awareness, system awareness where Windows knows no better (Wine
    # follows neither, so only the image can show them).
    check "its manifest declares per-monitor (v2) DPI awareness, system awareness before it" \
        'grep -aq ">PerMonitorV2, System</dpiAwareness>" "$image" && grep -aq ">true</dpiAware>" "$image"'
    # Windows 7 starts no program that imports a function it lacks, and version.dll,
    # no known DLL, would be loaded from the installer's folder: both are looked up.
    x86_64-w64-mingw32-objdump -p "$image" > "$work/headers.txt"
    check "the ${build#*:} stub imports no version.dll and no DPI function of Windows 10" \
        'grep -q "DLL Name: USER32.dll" "$work/headers.txt" &&
         ! grep -qiE "DLL Name: version\.dll|GetDpiForWindow|AdjustWindowRectExForDpi|GetFileVersionInfo|VerQueryValue" "$work/headers.txt"'
done

# The distributor's kit in a folder of a Japanese name: both packers beside the stub.
kit="$work/配布キット"
mkdir -p "$kit" && cp "$app/vopa-pack.exe" "$app/vopa-stub.exe" "$native" "$kit/"
product="$work/製品"
makeJapaneseProduct "$product"

check "vopa-pack.exe packs a Windows path with the stub beside it, silent into a pipe" \
    '(cd "$work" && wine "$kit/vopa-pack.exe" --files "$(windowsPath "$product")" --out セットアップ.exe "${japaneseOptions[@]}" > "$work/pack.txt" 2>&1) &&
     [ -s "$work/セットアップ.exe" ] && [ ! -s "$work/pack.txt" ]'
check "its output is byte for byte the Linux build's, stub beside it too (--mtime)" \
    '"$kit/vopa-pack" --files "$product" --out "$work/linux.exe" "${japaneseOptions[@]}" && cmp "$work/セットアップ.exe" "$work/linux.exe"'
"$native" --list "$work/linux.exe" > "$work/linux-list.txt"
check "--list lists it as the Linux build does" \
    'wine "$kit/vopa-pack.exe" --list "$(windowsPath "$work/セットアップ.exe")" > "$work/list.txt" 2>&1 &&
     tr -d "\r" < "$work/list.txt" | cmp -s - "$work/linux-list.txt"'
check "with the Japanese names in UTF-8" \
    'grep -q "ソース/共通/定義.h" "$work/list.txt" && grep -q "title: Vopa 1.00 セットアップ" "$work/list.txt"'
check "no scratch file is left in %TEMP%" '[ -z "$(find "$WINEPREFIX/drive_c/users" -name "vpk*")" ]'

check "the installer installs unattended (status 0)" 'wine "$work/セットアップ.exe" /m "C:\Vopa Test" >/dev/null 2>&1'
check "the installed tree is the product folder" \
    'diff -r "$product" "$WINEPREFIX/drive_c/Vopa Test" >&2'

# A second run over the same output replaces it (Windows renames do not, unasked); the
# folder given relative to the current one, with a final separator.
check "packing again replaces the installer" \
    '(cd "$work" && wine "$kit/vopa-pack.exe" --files "製品\\" --out セットアップ.exe "${japaneseOptions[@]}" --title Second >/dev/null 2>&1) &&
     "$native" --list "$work/セットアップ.exe" | grep -q "title: Second"'

check "--sign is refused, pointing to signtool" \
    '! wine "$kit/vopa-pack.exe" --files "$(windowsPath "$product")" --out x.exe --sign c.pem k.pem > "$work/sign.txt" 2>&1 &&
     grep -q signtool "$work/sign.txt"'
wineserver -k
}
[ -z "$app32" ] || windowsBuildChecks

rm -rf "$work"
[ "$failures" = 0 ] && { echo "all packing checks passed"; exit 0; }
echo "$failures packing checks failed"
exit 1
