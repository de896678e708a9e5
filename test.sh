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

# The decoder's fuzzer is a clang build of its own; its smoke run is the ctest
# test labelled slow. Built only when the run can include that label, so that
# `./test.sh -L unit` goes straight to the fast tests.
wants_fuzzer=1
args=("$@")
for ((i = 0; i < ${#args[@]}; i++)); do
  case ${args[i]} in
    -L | --label-regex) [[ ${args[i + 1]:-} == *slow* ]] || wants_fuzzer=0 ;;
    -R | --tests-regex) [[ ${args[i + 1]:-} == *fuzz* ]] || wants_fuzzer=0 ;;
    -LE | --label-exclude) [[ ${args[i + 1]:-} != *slow* ]] || wants_fuzzer=0 ;;
  esac
done
if ((wants_fuzzer)); then
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$(nproc)" --target song_format_fuzz
fi

# The Windows intro, cross-built; its run under wine is a ctest test.
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)"

ctest --test-dir build --output-on-failure -j 2 "$@"
echo "test.sh: finished in $((SECONDS - started)) s"
