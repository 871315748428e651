#!/bin/sh
# Builds the program and runs it on the bundled sample disk image: lists the
# image's ReiserFS volumes, then the folders and files of the first one, in
# Normal and in Extensive mode (which also brings back a deleted file), and
# copies everything out into build/sample-recovered.
set -e
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target dorvak-reiserfs-cli
IMG=build/sample.img
gzip -dc resources/sample/sample.img.gz > "$IMG"
CLI=build/src/cli/dorvak-reiserfs-cli
echo "== dorvak-reiserfs-cli volumes $IMG"
$CLI volumes "$IMG"
echo "== dorvak-reiserfs-cli list $IMG"
$CLI list "$IMG" --quiet
echo "== dorvak-reiserfs-cli list $IMG --extensive"
$CLI list "$IMG" --extensive --quiet
OUT=build/sample-recovered
rm -rf "$OUT" && mkdir -p "$OUT"
echo "== dorvak-reiserfs-cli recover $IMG $OUT --extensive"
$CLI recover "$IMG" "$OUT" --extensive --quiet
find "$OUT" -type f | sort
if [ -x build/src/shell/dorvak-reiserfs ] && [ -n "$DISPLAY$WAYLAND_DISPLAY" ]; then
    exec build/src/shell/dorvak-reiserfs "$IMG"
fi
