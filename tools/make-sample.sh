#!/bin/sh
# Makes a sample product folder: placeholder program and DLLs, help and licence
# files, a folder, and a Japanese file name.
set -eu
dir=$1
mkdir -p "$dir/docs"
head -c 200000 /dev/urandom > "$dir/Vopa.exe"
head -c 120000 /dev/urandom > "$dir/VopaDll.dll"
head -c 60000 /dev/urandom > "$dir/VopaResource.dll"
for i in $(seq 1 400); do echo "Vopa help, section $i: archives, folders and shell integration."; done > "$dir/docs/Vopa.txt"
printf 'Vopa licence\n\nPermission is granted to use this sample.\n' > "$dir/LICENSE.txt"
printf 'Vopa をお使いいただきありがとうございます。\n' | iconv -f UTF-8 -t CP932 > "$dir/お読みください.txt"
touch -d '2026-01-02 03:04:06' "$dir"/* "$dir/docs"/*
