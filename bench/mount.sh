#!/bin/sh
# Benchmark of the mount and the search on the 100,000-file volume against
# reiserfsck and dd, all run here and now (see mount_bench.py).
set -e
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target dorvak-reiserfs-cli
IMAGES=${DORVAK_BENCH_IMAGES:-build/bench-images}
python3 tools/make-test-images/make-test-images.py "$IMAGES" --only bench
python3 bench/mount_bench.py build/src/cli/dorvak-reiserfs-cli "$IMAGES/bench.img" "$@"
