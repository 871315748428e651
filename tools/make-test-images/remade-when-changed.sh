#!/bin/sh
# The generator's re-check (check-test-images.py --fresh: every image made
# afresh and its manifests compared with the committed ones) takes a minute
# or more and uses no code of the program, so the test runs it only when it
# could find something new: when the generator's sources, the committed
# images or the guest's packages differ from those of the last re-check that
# passed, whose fingerprint REMADE (beside this script) holds. Otherwise it
# says so and passes: a re-check on exactly these inputs already passed, and
# a skip would hide a real one in the count of skipped tests.
# test_images_current (STAMP names this generator) runs every time.
#
#     remade-when-changed.sh DATA_DIR FRESH_DIR [PRELOAD_LIB]
#     remade-when-changed.sh --fingerprint DATA_DIR
#
# DORVAK_REMAKE_IMAGES=1 forces the re-check. A re-check that passed on
# changed inputs ends with the line to commit in REMADE.
set -e
HERE=$(cd "$(dirname "$0")" && pwd)
export LC_ALL=C

fingerprint() {
    {
        (cd "$HERE" && sha256sum ./*.py)
        (cd "$1" && sha256sum STAMP ./*.xz)
        dpkg-query -W user-mode-linux reiserfsprogs 2>/dev/null || true
    } | sha256sum | cut -c1-64
}

if [ "$1" = "--fingerprint" ]; then
    fingerprint "$2"
    exit 0
fi
DATA=$1
FRESH=$2
PRELOAD=$3
now=$(fingerprint "$DATA")
recorded=$(cat "$HERE/REMADE" 2>/dev/null || true)
if [ "$now" = "$recorded" ] && [ "${DORVAK_REMAKE_IMAGES:-0}" = 0 ]; then
    echo "generator, images and guest packages unchanged since the last re-check" \
         "(REMADE $now): the re-check that passed on them stands;" \
         "DORVAK_REMAKE_IMAGES=1 forces a new one"
    exit 0
fi
set -- "$DATA" --fresh "$FRESH"
[ -n "$PRELOAD" ] && set -- "$@" --preload "$PRELOAD"
status=0
python3 "$HERE/check-test-images.py" "$@" || status=$?
if [ "$status" = 0 ] && [ "$now" != "$recorded" ]; then
    echo "re-check passed on changed inputs; record it with:"
    echo "    echo $now > tools/make-test-images/REMADE"
fi
exit "$status"
