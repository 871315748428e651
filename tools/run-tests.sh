#!/bin/sh
# Builds everything and runs every test: the full build (GUI included, Qt on
# the offscreen platform), the core again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the fuzz targets for a bounded time.
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
tools/install-deps.sh
JOBS=$(nproc)
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$JOBS"
(cd build && ctest -j"$JOBS" --timeout 900)

# The sanitizer build shares the kernel-made images of the full build.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDORVAK_GUI=OFF \
      -DDORVAK_SANITIZE=ON -DDORVAK_TEST_IMAGES="$ROOT/build/test-images"
cmake --build build-asan -j"$JOBS"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
     ctest -j"$JOBS" --timeout 900)

if [ -f tests/fuzz/CMakeLists.txt ]; then
    cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDORVAK_GUI=OFF \
          -DDORVAK_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
    cmake --build build-fuzz -j"$JOBS" --target fuzz-targets
    tools/run-fuzz.sh build-fuzz "${DORVAK_FUZZ_SECONDS:-60}"
fi
echo "All tests passed."
