#!/bin/sh
# Fails when a C++ file of the repository differs from .clang-format.
set -e
cd "$(dirname "$0")/.."
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
echo "Formatting: every C++ file matches .clang-format"
