#!/bin/sh
# Benchmark of the mount and the search on the 100,000-file volume against
# reiserfsck and dd, all run here and now (see mount_bench.py).
set -e
. "$(dirname "$0")/prepare.sh"
python3 bench/mount_bench.py "$CLI" "$IMAGES/bench.img" "$@"
