#!/bin/sh
# Benchmark of Recover All on the 100,000-file volume against `cp -a` of the
# same tree already on this machine's disk, both run here and now (see
# recover_bench.py).
set -e
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target dorvak-reiserfs-cli
IMAGES=${DORVAK_BENCH_IMAGES:-build/bench-images}
# bench.img (made by the kernel) and bench-tree/ (the same tree, written here
# by the same generator code).
python3 tools/make-test-images/make-test-images.py "$IMAGES" --only bench
python3 bench/recover_bench.py build/src/cli/dorvak-reiserfs-cli "$IMAGES/bench.img" \
    "$IMAGES/bench-tree" "$@"
