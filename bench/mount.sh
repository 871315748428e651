#!/bin/sh
# Benchmark of the mount and the search on both 100,000-file volumes (small
# files in the leaves, and files of 0 to 9,000 bytes spread over the disk)
# against reiserfsck and dd, all run here and now (see mount_bench.py).
set -e
. "$(dirname "$0")/prepare.sh"
for v in bench bench-spread; do
    python3 bench/mount_bench.py "$CLI" "$IMAGES/$v.img" "$@"
done
