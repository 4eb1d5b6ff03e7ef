#!/bin/bash
# Many small files under wine64: a fresh silent installation of N one-byte files (the
# win64 stub, staging and commit included) against Wine's own xcopy of the same tree
# into the same prefix, in turn, three rounds, each the fastest of its rounds.
#   bench/many_files.sh [N...]   (default: 10000 50000)
set -u
cd "$(dirname "$0")/.."
counts=${*:-10000 50000}
work=$(mktemp -d /tmp/vopa-many.XXXXXX)
. tests/wine/wine-prefix.sh
[ -n "${DISPLAY:-}" ] || exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
newPrefix "$work/prefix"
wineserver -p  # stays up: each run pays only its own process start
drive=$WINEPREFIX/drive_c
seconds() { local s e; s=$(date +%s.%N); "$@" >/dev/null 2>&1; e=$(date +%s.%N); echo "$e - $s" | bc; }

printf '%8s %12s %12s %8s\n' files installer xcopy ratio
for n in $counts; do
    tree=$work/tree$n
    # A hundred files a folder, as a product's many small files would be.
    python3 - "$tree" "$n" <<'PY'
import os, sys
root, n = sys.argv[1], int(sys.argv[2])
for i in range(n):
    folder = os.path.join(root, "d%03d" % (i // 100))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%05d.txt" % i), "wb") as f:
        f.write(b"x")
PY
    build/host/tools/vopa-pack --stub build/win64/app/vopa-stub.exe --files "$tree" \
        --out "$work/setup$n.exe" --folder 'C:\Many' --quiet || exit 2
    # In turn, three rounds, the fastest of each: this machine's slow spells last a minute.
    ours=999999 theirs=999999
    for round in 1 2 3; do
        rm -rf "$drive/Many" "$drive/Copy"
        t=$(seconds wine "$work/setup$n.exe" /s)
        [ "$(find "$drive/Many" -type f | wc -l)" = "$n" ] || echo "the installer left out files" >&2
        ours=$(echo "if ($t < $ours) $t else $ours" | bc)
        t=$(seconds wine xcopy /E /I /Q "$(winepath -w "$tree")" 'C:\Copy')
        [ "$(find "$drive/Copy" -type f | wc -l)" = "$n" ] || echo "xcopy left out files" >&2
        theirs=$(echo "if ($t < $theirs) $t else $theirs" | bc)
    done
    printf '%8d %11.1fs %11.1fs %7.2fx\n' "$n" "$ours" "$theirs" "$(echo "$ours / $theirs" | bc -l)"
    rm -rf "$tree" "$drive/Many" "$drive/Copy"
done
wineserver -k
rm -rf "$work"
