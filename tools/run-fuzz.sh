#!/bin/sh
# Runs each libFuzzer target of a fuzz build for a bounded time.
# Usage: tools/run-fuzz.sh BUILD_DIR SECONDS
set -e
BUILD=${1:-build-fuzz}
SECONDS_EACH=${2:-60}
mkdir -p "$BUILD/fuzz-corpus/fuzz_mount" "$BUILD/fuzz-corpus/fuzz_volumes"
"$BUILD/tests/fuzz/fuzz_make_seeds" "$BUILD/fuzz-corpus/fuzz_mount" "$BUILD/fuzz-corpus/fuzz_volumes"
for target in "$BUILD"/tests/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    corpus="$BUILD/fuzz-corpus/$(basename "$target")"
    mkdir -p "$corpus"
    echo "== $(basename "$target") for ${SECONDS_EACH}s"
    "$target" -max_total_time="$SECONDS_EACH" -max_len=70000 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "$corpus" 2>&1 | tail -n 12
done
