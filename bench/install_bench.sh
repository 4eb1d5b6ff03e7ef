#!/bin/bash
# Install time under wine64 of the decoder benchmark's -lh7- archive (about 42 MB of
# mixed data, made by decode_bench), by the installer's own worker: the extraction driver
# of the tests installs it into a fresh folder, check and write. With an older win64
# build folder the two run in turn, three rounds, each the fastest of its rounds. Last,
# the time a 2 KB archive of 50 members that claim 1.9 GB each takes to be refused, whole
# process.
#   bench/install_bench.sh [OLDER_WIN64_BUILD] [BENCH_WORKDIR]
set -u
cd "$(dirname "$0")/.."
older=${1:-} data=${2:-/tmp/vopa-bench}
archive=$data/bench7.lzh
[ -f "$archive" ] || build/host/bench/decode_bench "$data" --archives-only >/dev/null ||
    { echo "install_bench: cannot make $archive (decode_bench)" >&2; exit 2; }
work=$(mktemp -d /tmp/vopa-install-bench.XXXXXX)
. tests/wine/wine-prefix.sh
export DISPLAY=${DISPLAY:-}
[ -n "$DISPLAY" ] || exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
newPrefix "$work/prefix"
wineserver -p  # stays up between the runs: each pays only a process start

bomb=$work/bomb.lzh
# 50 members of 1 packed byte whose level-0 headers claim 1.9 GB each.
python3 - "$bomb" <<'PY'
import struct, sys
out = b""
for i in range(50):
    name = b"bomb%d" % i
    body = (b"-lh5-" + struct.pack("<III", 1, 1900000000, 0x2C210000) + b"\x20\x00" +
            bytes([len(name)]) + name + b"\x00\x00")
    out += bytes([len(body), sum(body) & 0xFF]) + body + b"b"
open(sys.argv[1], "wb").write(out + b"\x00")
PY

# Seconds for DRIVER to run JOBS copies of ARCHIVE, each into a fresh folder.
runs() {  # driver archive jobs
    local list=$work/list.txt n
    : > "$list"
    for n in $(seq 1 "$3"); do
        rm -rf "$work/dest$n"
        printf '%s\t%s\t\n' "$(winepath -w "$2")" "$(winepath -w "$work/dest$n")" >> "$list"
    done
    local start end
    start=$(date +%s.%N)
    wine "$1" "$(winepath -w "$list")" "$(winepath -w "$work/log.txt")" >/dev/null 2>&1
    end=$(date +%s.%N)
    grep -q "^FAILED 0" "$work/log.txt" || [ "$3" = 0 ] || [ "$2" = "$bomb" ] ||
        { echo "install_bench: the install failed" >&2; cat "$work/log.txt" >&2; }
    echo "$end - $start" | bc
}
# The install time alone: eight installs less the process start (a run of no job), an eighth.
install() {  # driver archive
    local three none
    three=$(runs "$1" "$2" 8)
    none=$(runs "$1" "$2" 0)
    echo "($three - $none) / 8" | bc -l
}
fastest() { sort -g | head -n 1; }

drivers=(build/win64/tests/wine/extract_driver.exe)
[ -n "$older" ] && drivers+=("$older/tests/wine/extract_driver.exe")
declare -A times
for round in 1 2 3; do
    for d in "${drivers[@]}"; do times[$d]+="$(install "$d" "$archive")"$'\n'; done
done
printf '%-40s %s\n' "build" "install of $(du -m "$archive" | cut -f1) MB archive (s)"
for d in "${drivers[@]}"; do
    printf '%-40s %.2f\n' "$d" "$(printf '%s' "${times[$d]}" | fastest)"
done
if [ -n "$older" ]; then
    new=$(printf '%s' "${times[${drivers[0]}]}" | fastest)
    old=$(printf '%s' "${times[${drivers[1]}]}" | fastest)
    printf 'this build takes %.0f%% of the older one'"'"'s time\n' "$(echo "100 * $new / $old" | bc -l)"
fi
one=$(runs "${drivers[0]}" "$bomb" 1)
message=$(sed -n 's/^MSG //p' "$work/log.txt" | iconv -f CP932 -t UTF-8 | head -n 1)
none=$(runs "${drivers[0]}" "$bomb" 0)
# The refusal is too quick to tell from the start's own swing: the whole process is shown.
printf 'refusing 50 members that claim 1.9 GB each: %.2f s, a process with no job %.2f s (%s)\n' \
    "$one" "$none" "$message"
wineserver -k
rm -rf "$work"
