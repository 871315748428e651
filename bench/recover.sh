#!/bin/sh
# Benchmark of Recover All on both 100,000-file volumes: against `cp -a` of
# the same tree already on this machine's disk, both run here and now (see
# recover_bench.py), and its read pattern costed for a rotating disk
# against one sequential pass (io_bench.py).
set -e
. "$(dirname "$0")/prepare.sh"
for v in bench bench-spread; do
    python3 bench/recover_bench.py "$CLI" "$IMAGES/$v.img" "$IMAGES/$v-tree" "$@"
    python3 bench/io_bench.py "$CLI" "$IMAGES/$v.img" --only recover
done
