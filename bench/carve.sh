#!/bin/sh
# Carving benchmark against PhotoRec (Debian testdisk), both run here and now
# on two kernel-made volumes (see carve_bench.py).
set -e
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target dorvak-reiserfs-cli
python3 bench/carve_bench.py build/src/cli/dorvak-reiserfs-cli "${DORVAK_BENCH_IMAGES:-build/bench-images}/carve" "$@"
