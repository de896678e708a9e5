#!/usr/bin/env bash
# The music of the Windows builds against Linux's, byte for byte: songrender
# (this Linux build) renders the whole song with a pinned seed, and each
# Windows build's song_stream.exe renders it under wine on a worker thread
# with the same seed. Every stream must equal the Linux one, and each
# rendering thread must run with the program's control words (x87 0x037F,
# MXCSR 0x9F80). Arguments: songrender, a scratch folder (emptied first),
# then one or more song_stream.exe; a missing one is skipped, all missing
# skips the test.
set -u
songrender=$1
scratch=$2
shift 2
command -v wine >/dev/null && command -v sox >/dev/null || { echo "wine or sox is not installed"; exit 77; }
builds=()
for exe in "$@"; do
  if [ -f "$exe" ]; then builds+=("$exe"); else echo "no $exe: that Windows build is not made"; fi
done
[ ${#builds[@]} -gt 0 ] || exit 77

rm -rf "$scratch"
mkdir -p "$scratch/home"
export HOME=$scratch/home WINEPREFIX=$scratch/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null' EXIT

seed=4242
seconds=144.5
# Whole blocks of 512 frames, as songrender renders them.
blocks=$(awk "BEGIN { b = $seconds * 44100 / 512; print (b == int(b)) ? b : int(b) + 1 }")
"$songrender" -o "$scratch/linux.wav" --seconds "$seconds" --seed "$seed" || { echo "FAIL: songrender"; exit 1; }
sox "$scratch/linux.wav" -t raw "$scratch/linux.raw"
echo "linux: $(sha256sum < "$scratch/linux.raw" | cut -c1-16) ($(stat -c %s "$scratch/linux.raw") bytes)"

wineboot -i > "$scratch/wineboot.log" 2>&1
failures=0
n=0
for exe in "${builds[@]}"; do
  n=$((n + 1))
  out=$scratch/windows$n.raw
  report=$(wine "$exe" "$(winepath -w "$out")" "$seed" "$blocks")
  rc=$?
  echo "$exe: $report, $(sha256sum < "$out" | cut -c1-16)"
  [ $rc -eq 0 ] || { echo "FAIL: $exe exited with $rc"; failures=$((failures + 1)); continue; }
  grep -q 'control=037f mxcsr=9f80' <<< "$report" ||
    { echo "FAIL: $exe rendered with other control words"; failures=$((failures + 1)); }
  if ! cmp "$scratch/linux.raw" "$out"; then
    echo "FAIL: $exe streams other bits than Linux"
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ]
