#!/bin/sh
# Benchmark of the catalog tree: the time from a mount's end to the tree and
# the root's list on screen, against the mount of the 110,000-file bench
# volume, and for 100,000 synthetic folders against building their catalog.
set -e
. "$(dirname "$0")/prepare.sh"
cmake --build build -j"$(nproc)" --target catalog-tree-bench
BENCH=build/bench/catalog-tree/catalog-tree-bench
$BENCH "$IMAGES/bench.img"
$BENCH --folders 100000
