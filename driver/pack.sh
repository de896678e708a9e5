#!/bin/sh
# Packs the intro into one self-unpacking file, as Linux intros are handed
# out: a two-line shell header that unpacks the LZMA stream after it into a
# temporary file, runs that with the same environment, removes it and passes
# on its exit status; then the stripped executable, compressed.
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
# directly): the stream starts on the third.
printf '%s\n' '#!/bin/sh' 'f=$(mktemp)||exit 1;tail -n+3 "$0"|xz -dc>$f&&chmod +x $f&&$f;r=$?;rm -f $f;exit $r' > "$output"
cat "$work/intro.lzma" >> "$output"
chmod +x "$output"
