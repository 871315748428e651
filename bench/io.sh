#!/bin/sh
# What our commands and reiserfsck --check ask of the disk on both
# 100,000-file volumes, costed for a rotating disk and an SSD (see
# io_bench.py).
set -e
. "$(dirname "$0")/prepare.sh"
for v in bench bench-spread; do
    python3 bench/io_bench.py "$CLI" "$IMAGES/$v.img" "$@"
done
