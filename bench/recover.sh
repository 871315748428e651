#!/bin/sh
# Benchmark of Recover All on the 100,000-file volume against `cp -a` of the
# same tree already on this machine's disk, both run here and now (see
# recover_bench.py).
set -e
. "$(dirname "$0")/prepare.sh"
python3 bench/recover_bench.py "$CLI" "$IMAGES/bench.img" "$IMAGES/bench-tree" "$@"
