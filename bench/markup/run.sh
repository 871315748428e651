#!/bin/sh
# Runs the markup renderer benchmark from the given build directory.
set -e
build="${1:-build}"
QT_QPA_PLATFORM=offscreen exec "$build/bench/markup/bench-markup"
