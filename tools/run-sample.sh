#!/bin/sh
# Builds the program and starts the window on the bundled sample disk image.
# Without a display it says so and shows the same image through the command
# line instead: the image's ReiserFS volumes, the folders and files of the
# first one in Normal and in Extensive mode (which also brings back a deleted
# file), and a copy of everything in build/sample-recovered.
set -e
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
IMG=build/sample.img
if [ -n "$DISPLAY$WAYLAND_DISPLAY" ]; then
    cmake --build build -j"$(nproc)" --target dorvak-reiserfs
    gzip -dc resources/sample/sample.img.gz > "$IMG"
    echo "== dorvak-reiserfs $IMG"
    exec build/src/shell/dorvak-reiserfs "$IMG"
fi
echo "No display (DISPLAY and WAYLAND_DISPLAY are empty): the window cannot open here."
echo "Showing the sample image through dorvak-reiserfs-cli instead."
cmake --build build -j"$(nproc)" --target dorvak-reiserfs-cli
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
