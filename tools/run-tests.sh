#!/bin/sh
# Builds everything and runs every test: the full build (GUI included, Qt on
# the offscreen platform), the core again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the fuzz targets for a bounded time. It
# ends with the count of skipped tests; under CI (CI set) a skipped test that
# reads the kernel-made images fails the run.
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
tools/install-deps.sh
JOBS=$(nproc)
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
SKIPS=""
case "${CI:-}" in ""|0|false) ;; *) SKIPS="--fail-on-images" ;; esac

tools/check-format.sh

# ctest in BUILD, then the skipped tests of that run.
run_ctest() {
    (cd "$1" && shift && ctest -j"$JOBS" --timeout 900 --output-junit ctest-junit.xml "$@")
    python3 tools/skipped-tests.py "$1" "$1/ctest-junit.xml" $SKIPS
}

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$JOBS"
run_ctest build

# The sanitizer build shares the kernel-made images of the full build.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDORVAK_GUI=OFF \
      -DDORVAK_SANITIZE=ON -DDORVAK_TEST_IMAGES="$ROOT/build/test-images"
cmake --build build-asan -j"$JOBS"
run_ctest build-asan

if [ -f tests/fuzz/CMakeLists.txt ]; then
    cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDORVAK_GUI=OFF \
          -DDORVAK_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
          -DDORVAK_TEST_IMAGES="$ROOT/build/test-images"
    cmake --build build-fuzz -j"$JOBS" --target fuzz-targets
    tools/run-fuzz.sh build-fuzz "${DORVAK_FUZZ_SECONDS:-60}" "$ROOT/build/test-images"
fi
echo "All tests passed."
