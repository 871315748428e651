#!/bin/sh
# The mount and read-pattern benchmarks on the 1,000,000-file volume
# (1,000 folders of 10 folders of 100 files, 4 GiB). Its guest takes about
# 20 to 45 minutes the first time; the image is kept for later runs.
set -e
. "$(dirname "$0")/prepare.sh"
python3 tools/make-test-images/make-test-images.py "$IMAGES" --only million \
    --preload build/tools/uml-xstate/uml-xstate-preload.so
python3 bench/mount_bench.py "$CLI" "$IMAGES/million.img" "$@"
python3 bench/io_bench.py "$CLI" "$IMAGES/million.img"
