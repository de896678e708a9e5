#!/bin/sh
# Packs the intro into one self-unpacking file, as Linux intros are handed
# out: a two-line shell header that unpacks the LZMA stream after it into a
# temporary file and runs that in its own place, with the same environment
# and arguments; then the stripped executable, compressed.
# usage: pack.sh intro packed_output
set -e
input=$1
output=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Symbols, the compiler's notes and the build id are of no use to the show,
# and neither are the unwind tables (a twelfth of the packed size): the show
# throws no exception and catches none, so one that escaped would end it in
# std::terminate with or without them.
strip --strip-all -R .comment -R .note.gnu.build-id -R .gnu_debuglink -R .eh_frame -R .eh_frame_hdr \
  "$input" -o "$work/intro"
xz --format=lzma -9e -c "$work/intro" > "$work/intro.lzma"
# The header must stay two lines (the #! line lets exec start the file
# directly): the stream starts on the third. The unpacked program is opened
# on descriptor 3 and removed before it starts, and the shell then becomes
# the show by exec'ing that descriptor: signals reach the show itself, its
# exit status is the file's, and no file is left behind however the show
# ends. Until then the traps remove the half-unpacked file on a signal.
# Every path is quoted: TMPDIR may hold blanks.
printf '%s\n' '#!/bin/sh' 'f=$(mktemp)||exit 1;trap '"'"'rm -f "$f"'"'"' EXIT;trap "exit 129" HUP;trap "exit 130" INT;trap "exit 143" TERM;tail -n+3 "$0"|xz -dc>"$f"&&chmod +x "$f"&&exec 3<"$f"&&rm -f "$f"&&exec /proc/self/fd/3 "$@";exit 1' > "$output"
cat "$work/intro.lzma" >> "$output"
chmod +x "$output"
