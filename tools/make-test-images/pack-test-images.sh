#!/bin/sh
# Remakes the kernel-made test images and stores them, compressed, in
# tests/data/images, where the tests take them from. Run it after changing
# the generator (the test test_images_current fails until then):
#
#     tools/make-test-images/pack-test-images.sh [PRELOAD_LIB]
#
# PRELOAD_LIB is tools/uml-xstate's library (build/tools/uml-xstate/
# uml-xstate-preload.so), needed on hosts where the plain guest cannot boot.
set -e
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
DATA="$ROOT/tests/data/images"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

if [ -n "$1" ]; then set -- --preload "$1"; fi
python3 "$HERE/make-test-images.py" "$WORK" "$@"
if [ -f "$WORK/UNAVAILABLE" ]; then
    echo "cannot make the test images: $(cat "$WORK/UNAVAILABLE")" >&2
    exit 1
fi
rm -rf "$DATA.new"
mkdir -p "$DATA.new"
for f in "$WORK"/*; do
    case "$f" in *.stamp) continue ;; esac
    xz -9 -T1 -c "$f" > "$DATA.new/$(basename "$f").xz"
done
python3 "$HERE/make-test-images.py" --print-stamp > "$DATA.new/STAMP"
rm -rf "$DATA"
mv "$DATA.new" "$DATA"
du -sh "$DATA"
