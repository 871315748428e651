#!/bin/sh
# Regenerates resources/sample/sample.img.gz, the small partitioned disk the
# README's walk-through opens: one ReiserFS 3.6 partition with a few folders
# and files and one deleted file, written by the kernel driver under
# user-mode Linux (see tools/make-test-images).
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT="$ROOT/resources/sample/sample.img.gz"
LIMIT=1000000
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

python3 "$ROOT/tools/make-test-images/make-test-images.py" "$WORK" --only sample
if [ -f "$WORK/UNAVAILABLE" ]; then
    echo "cannot make the sample image: $(cat "$WORK/UNAVAILABLE")" >&2
    exit 1
fi
mkdir -p "$(dirname "$OUT")"
# -n leaves the name and time out of the header.
gzip -9 -n -c "$WORK/sample.img" > "$OUT.tmp"
SIZE=$(stat -c %s "$OUT.tmp")
if [ "$SIZE" -ge "$LIMIT" ]; then
    rm -f "$OUT.tmp"
    echo "sample.img.gz would be $SIZE bytes, over the $LIMIT-byte limit" >&2
    exit 1
fi
mv "$OUT.tmp" "$OUT"
echo "wrote $OUT ($SIZE bytes)"
