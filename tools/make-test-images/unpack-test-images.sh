#!/bin/sh
# Unpacks the committed test images (tests/data/images/*.xz) into a build's
# image folder, once: the folder keeps a copy of STAMP, and an unpack whose
# STAMP matches and whose files are all there is left alone. Images are
# written sparse.
#
#     unpack-test-images.sh DATA_DIR OUT_DIR
set -e
DATA=$1
OUT=$2
[ -f "$DATA/STAMP" ] || { echo "no test images in $DATA (STAMP missing)" >&2; exit 1; }
mkdir -p "$OUT"
exec 9>"$OUT/.lock"
flock 9   # build and build-asan may share one folder
complete=yes
for f in "$DATA"/*.xz; do
    [ -f "$OUT/$(basename "$f" .xz)" ] || complete=no
done
if [ "$complete" = yes ] && cmp -s "$DATA/STAMP" "$OUT/STAMP"; then
    echo "test images up to date in $OUT"
    exit 0
fi
rm -f "$OUT/STAMP" "$OUT/UNAVAILABLE"
for f in "$DATA"/*.xz; do
    name=$(basename "$f" .xz)
    xz -dc "$f" | cp --sparse=always /dev/stdin "$OUT/$name.part"
    mv "$OUT/$name.part" "$OUT/$name"
done
cp "$DATA/STAMP" "$OUT/STAMP"
echo "unpacked $(ls "$DATA"/*.xz | wc -l) files into $OUT"
