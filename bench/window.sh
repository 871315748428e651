#!/bin/sh
# Benchmarks of the window, each against the core or the command line in the
# same run: the catalog tree after a mount of the 110,000-file bench volume
# and after building 100,000 folders; a folder of 100,000 files listed and
# scrolled; Find over 1,000,000 names; Recover All through the saving dialog
# against the command line's recover of the same volume (best of 3 each).
set -e
. "$(dirname "$0")/prepare.sh"
cmake --build build -j"$(nproc)" --target window-bench
BENCH=build/bench/window/window-bench
$BENCH "$IMAGES/bench.img"
$BENCH --folders 100000
$BENCH --files 100000
$BENCH --find 1000000
OUT=$(mktemp -d)
best() { # best wall time in seconds of 3 runs of "$@" into a fresh $OUT/d
    b=""
    for _ in 1 2 3; do
        rm -rf "$OUT/d" && mkdir "$OUT/d"
        s=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; e=$(date +%s.%N)
        t=$(echo "$e - $s" | bc)
        if [ -z "$b" ] || [ "$(echo "$t < $b" | bc)" = 1 ]; then b=$t; fi
    done
    echo "$b"
}
cli=$(best "$CLI" recover "$IMAGES/bench.img" "$OUT/d" --quiet)
gui=$(best "$BENCH" --recover "$IMAGES/bench.img" "$OUT/d")
echo "Recover All: window (saving dialog) $gui s, command line $cli s; ratio $(echo "scale=3; $gui / $cli" | bc)x"
rm -rf "$OUT"
