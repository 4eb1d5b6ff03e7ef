#!/bin/sh
# real-seeds.sh DIR: seeds for the compressor's target, cut from this machine's Windows
# DLLs (the wine package's), programs and libraries: 3 bytes of choices (method and
# level, how it grows, how far), then 256 bytes to 4 KiB of the file.
set -eu
out=$1
mkdir -p "$out"
n=0
for f in /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/*.dll /usr/bin/* /usr/lib/x86_64-linux-gnu/*.so*; do
    [ -f "$f" ] || continue
    size=$(stat -c %s "$f")
    [ "$size" -gt 65536 ] || continue
    n=$((n + 1))
    [ $((n % 7)) = 0 ] || continue            # a spread of files, not all of them
    [ $n -le 4000 ] || break
    length=$((256 << (n % 5)))
    at=$(( (n * 2654435761) % (size - length) ))
    { printf "\\$(printf %o $((n % 256)))\\$(printf %o $((n * 7 % 256)))\\$(printf %o $((n * 13 % 7)))"
      tail -c +$((at + 1)) "$f" | head -c "$length"; } > "$out/seed$n"
done
