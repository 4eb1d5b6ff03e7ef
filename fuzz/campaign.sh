#!/bin/sh
# A fuzzing campaign deeper than CI's, from the committed corpus, into which its findings
# are merged in minimised form for CI's short runs. Needs the fuzz preset built. The
# compressor's target also starts from pieces cut from the machine's programs and
# libraries (fuzz/real-seeds.sh), which it grows into tables of records.
#   fuzz/campaign.sh [BUILD_DIR] [TARGET...]   prints executions, findings and time per target
set -eu
cd "$(dirname "$0")/.."
build=${1:-build/fuzz}
[ $# -gt 0 ] && shift
# target:executions:seconds, whichever ends first
jobs="fuzz_entry_header:10000000:7200 fuzz_static_huffman:1000000:7200 fuzz_adaptive:1000000:7200
      fuzz_larc:1000000:7200 fuzz_compress:1000000:7200"
status=0
for job in $jobs; do
    name=${job%%:*} rest=${job#*:}
    runs=${rest%%:*} seconds=${rest#*:}
    if [ $# -gt 0 ] && ! echo " $* " | grep -q " $name "; then continue; fi
    work=$(mktemp -d) findings="$build/fuzz/$name-findings"
    mkdir -p "fuzz/corpus/$name" "$findings" "$work/seeds" "$work/new"
    [ "$name" = fuzz_compress ] && fuzz/real-seeds.sh "$work/seeds"
    began=$(date +%s)
    if ! "$build/fuzz/$name" "$work/new" "fuzz/corpus/$name" "$work/seeds" -runs="$runs" \
            -max_total_time="$seconds" -max_len=8192 -timeout=60 -rss_limit_mb=2048 \
            -artifact_prefix="$findings/" -print_final_stats=1 > "$work/log" 2>&1; then
        status=1
        echo "$name: FINDING, see $findings and $work/log"
    fi
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
    # Only inputs that add coverage stay, and none over 8 KiB: the corpus stays small.
    "$build/fuzz/$name" -merge=1 -max_len=8192 "fuzz/corpus/$name" "$work/new" "$work/seeds" \
        > /dev/null 2>&1 || echo "$name: the merge stopped at an input that fails"
    echo "$name: $executed executions in $(($(date +%s) - began)) s," \
         "corpus $(ls "fuzz/corpus/$name" | wc -l) inputs"
    [ $status = 0 ] && rm -rf "$work"
done
exit $status
