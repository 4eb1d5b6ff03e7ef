#!/bin/sh
# Folders of one kind of input each, for bench/pack_bench, from this machine's files:
#   DIR/dlls    ~60 MB of Windows DLLs and programs as the wine package installs them
#   DIR/text    ~30 MB of C headers (plain text, 2,000-odd files)
#   DIR/stored  30 MB of random bytes, gzip files of 64 KB and up, PNG images of 16 KB and
#               up: already compressed
# Usage: bench/make-kinds.sh DIR
set -eu
dir=$1
mkdir -p "$dir/dlls" "$dir/text" "$dir/stored"
take() {  # take FROM TO LIMIT: files in name order while they fit in LIMIT bytes
    total=0  # (one of names that Windows takes for one file, as an installer must)
    (cd "$1" && find . -type f -size +${4:-0}c -name "${5:-*}" | LC_ALL=C sort |
        awk '{ l = tolower($0); if (!(l in seen)) print; seen[l] = 1 }') | while read -r f; do
        size=$(stat -c %s "$1/$f")
        [ $((total + size)) -gt "$3" ] && break
        mkdir -p "$2/$(dirname "$f")"
        cp "$1/$f" "$2/$f"
        total=$((total + size))
    done
}
take /usr/lib/x86_64-linux-gnu/wine/x86_64-windows "$dir/dlls" 62000000
take /usr/include "$dir/text" 30000000
head -c 30000000 /dev/urandom >"$dir/stored/random.bin"
take /usr/share/doc "$dir/stored/gz" 20000000 65536 "*.gz"
take /usr/share/icons "$dir/stored/png" 8000000 16384 "*.png"
du -sh "$dir"/*
