#!/usr/bin/env bash
# Sets up a machine (packages), builds and runs the tests.
#
#   ./test.sh           everything CI runs (.ci/run): the optimised build and
#                       the Windows cross-builds with every label (unit, gl,
#                       system, soak, slow, windows, cluster), then the unit,
#                       gl and system tests under AddressSanitizer and
#                       UndefinedBehaviorSanitizer, the unit and system tests
#                       that run threads under ThreadSanitizer, and 30 s fuzz
#                       runs of the song decoder and of the song compiler's
#                       reader.
#   ./test.sh --fast    the optimised build and its unit tests: a few minutes.
#   ./test.sh ARGS...   the optimised build, then `ctest ARGS` on it (for
#                       example -L unit, or -R songrender); no sanitizer or
#                       fuzzer build.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh

started=$SECONDS
jobs=$(nproc)
install_missing_packages
build_intro

if [ $# -gt 0 ]; then
  if [ "$1" = "--fast" ]; then
    shift
    set -- -L unit "$@"
  fi
  ctest --test-dir build --output-on-failure -j 2 "$@"
  echo "test.sh: finished in $((SECONDS - started)) s"
  exit 0
fi

# The decoder's fuzzer is a clang build of its own; its run is the ctest test
# fuzz_song_format_smoke (label slow), from the corpus kept in tests/fuzz/corpus;
# the song compiler's reader has fuzz_song_source_smoke, from
# tests/fuzz/song_source_corpus.
# Every tier runs even when an earlier one failed, so that one CI run shows
# every failure; the exit code says whether any did.
failed=()
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs" --target song_format_fuzz song_source_fuzz

# The Windows intro, cross-built for 64 and 32 bits; their runs under wine
# and the comparison of their music with Linux's are the ctest tests of label
# windows (tests/windows/wine.cmake).
for preset in windows windows32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
ctest --test-dir build --output-on-failure -j 2 || failed+=(optimised)
echo "test.sh: optimised build and all labels done at $((SECONDS - started)) s"

# Sanitizer suppressions cover Mesa's and ALSA's libraries only. Any report
# fails its test: UBSan and ASan stop at the first, TSan exits non-zero.
# Leak checking covers the unit tests; runs that open a window do without
# it, since the GL driver and D-Bus (through SDL) leave blocks whose
# libraries are unloaded by the exit, so no suppression can name them.
suppressions=$PWD/tests/sanitizers
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$suppressions/lsan.supp:print_suppressions=0"
export TSAN_OPTIONS="suppressions=$suppressions/tsan.supp:halt_on_error=0:exitcode=66"

cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan --output-on-failure -j 2 -L unit || failed+=(asan-unit)
ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build-asan --output-on-failure -j 2 -L 'gl|system' || failed+=(asan-gl-system)
echo "test.sh: AddressSanitizer and UBSan done at $((SECONDS - started)) s"

# Mesa's rasteriser runs here without its worker threads (LP_NUM_THREADS=0
# draws on the calling thread). The driver is not built for ThreadSanitizer:
# now and then the main thread frees a mutex of the driver's that a
# rasteriser thread still holds ("destroy of a locked mutex" inside
# swrast_dri.so), and when the memory is reused TSan's own deadlock detector
# aborts the show. Our threads (the audio worker and SDL's audio callback)
# are still covered in full.
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
LP_NUM_THREADS=0 ctest --test-dir build-tsan --output-on-failure -j 2 -L 'unit|system' -LE no_threads ||
  failed+=(tsan)
echo "test.sh: ThreadSanitizer done at $((SECONDS - started)) s"

echo "test.sh: finished in $((SECONDS - started)) s"
if [ ${#failed[@]} -gt 0 ]; then
  echo "test.sh: failed tiers: ${failed[*]}" >&2
  exit 1
fi
