#!/bin/sh
# Every benchmark in one run, on every bench volume, each against its
# reference tool on this machine: the mount and search (both 100,000-file
# volumes and the 1,000,000-file one), Recover All, the read patterns, and
# carving against PhotoRec. The window's benchmarks need a display and run
# apart (bench/window.sh).
set -e
dir=$(dirname "$0")
for part in mount recover io million carve; do
    echo "==== $part ===="
    sh "$dir/$part.sh"
done
