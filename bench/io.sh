#!/bin/sh
# What our commands and reiserfsck --check ask of the disk on the 100,000-file
# volume, costed for a rotating disk and an SSD (see io_bench.py).
set -e
. "$(dirname "$0")/prepare.sh"
python3 bench/io_bench.py "$CLI" "$IMAGES/bench.img" "$@"
