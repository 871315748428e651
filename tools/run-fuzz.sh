#!/bin/sh
# Runs each libFuzzer target of a fuzz build for a bounded time, seeded with
# crafted volumes and with real leaves of the kernel-made images.
# Usage: tools/run-fuzz.sh BUILD_DIR SECONDS [IMAGES_DIR]
set -e
BUILD=${1:-build-fuzz}
SECONDS_EACH=${2:-60}
IMAGES=${3:-}
CORPUS="$BUILD/fuzz-corpus"
for t in mount volumes contents copyout carve scan; do mkdir -p "$CORPUS/fuzz_$t"; done
"$BUILD/tests/fuzz/fuzz_make_seeds" "$CORPUS/fuzz_mount" "$CORPUS/fuzz_volumes" $IMAGES
# Contents and copy-out read the same volumes as the mount.
for t in contents copyout; do cp -n "$CORPUS"/fuzz_mount/seed-* "$CORPUS"/fuzz_mount/real-* "$CORPUS/fuzz_$t/" 2>/dev/null || true; done
# The carving walkers start from the small files of their tests.
find "$(dirname "$0")/../tests/data/carve" -type f ! -name '*.py' -size -70k \
    -exec cp -n {} "$CORPUS/fuzz_carve/" \;
for target in "$BUILD"/tests/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    [ "$(basename "$target")" = fuzz_make_seeds ] && continue
    corpus="$CORPUS/$(basename "$target")"
    echo "== $(basename "$target") for ${SECONDS_EACH}s"
    log="$BUILD/$(basename "$target").log"
    status=0
    "$target" -max_total_time="$SECONDS_EACH" -max_len=70000 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "$corpus" >"$log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$log"
        echo "$(basename "$target") failed (exit $status); the input is in $(pwd)" >&2
        exit 1
    fi
    tail -n 12 "$log"
done
