# Sourced by the benchmark scripts: builds the command-line program and makes
# the 100,000-file bench volumes (bench.img and bench-spread.img, made by the
# kernel, and bench-tree/ and bench-spread-tree/, the same trees written here
# by the same generator code).
# Sets CLI and IMAGES.
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target dorvak-reiserfs-cli uml_xstate_preload
CLI=build/src/cli/dorvak-reiserfs-cli
IMAGES=${DORVAK_BENCH_IMAGES:-build/bench-images}
python3 tools/make-test-images/make-test-images.py "$IMAGES" --only bench bench-spread \
    --preload build/tools/uml-xstate/uml-xstate-preload.so
