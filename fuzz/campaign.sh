#!/bin/sh
# A fuzzing campaign deeper than CI's (fewer executions for the compressor, whose every
# input packs and unpacks), from the committed corpus, into which its findings are merged
# in minimised form for CI's short runs. Needs the fuzz preset built.
#   fuzz/campaign.sh [BUILD_DIR]      prints executions, findings and time per target
set -eu
cd "$(dirname "$0")/.."
build=${1:-build/fuzz}
status=0
for job in fuzz_entry_header:10000000 fuzz_static_huffman:1000000 fuzz_adaptive:1000000 \
           fuzz_larc:1000000 fuzz_compress:100000; do
    name=${job%%:*} runs=${job##*:}
    work=$(mktemp -d) findings="$build/fuzz/$name-findings"
    mkdir -p "fuzz/corpus/$name" "$findings"
    began=$(date +%s)
    if ! "$build/fuzz/$name" "$work" "fuzz/corpus/$name" -runs="$runs" -timeout=10 \
            -rss_limit_mb=2048 -artifact_prefix="$findings/" -print_final_stats=1 \
            > "$work/log" 2>&1; then
        status=1
        echo "$name: FINDING, see $findings and $work/log"
    fi
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
    # Only inputs that add coverage stay, and none over 4 KiB: the corpus stays small.
    "$build/fuzz/$name" -merge=1 -max_len=4096 "fuzz/corpus/$name" "$work" > /dev/null 2>&1
    echo "$name: $executed executions in $(($(date +%s) - began)) s," \
         "corpus $(ls "fuzz/corpus/$name" | wc -l) inputs"
    rm -rf "$work"
done
exit $status
