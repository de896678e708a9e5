#!/usr/bin/env bash
# Sets up a machine (packages), builds everything and runs every test:
# unit, gl (Mesa under Xvfb), system (the real intro binary), slow and
# windows (the cross-built intro.exe under wine).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh

started=$SECONDS
install_missing_packages
build_intro

# The decoder's fuzzer is a clang build of its own; its smoke run is a ctest test.
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target song_format_fuzz

# The Windows intro, cross-built; its run under wine is a ctest test.
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)"

ctest --test-dir build --output-on-failure -j 2 "$@"
echo "test.sh: finished in $((SECONDS - started)) s"
