#!/usr/bin/env bash
# The shipped Windows intro.exe under wine, on the X server this runs in (a
# 1600 x 900 Xvfb), with a PulseAudio null sink: its window covers the
# screen, a screenshot shows a lit scene, the sink hears music, and Escape
# ends it with exit code 0 within one second. The shipped program prints no
# figures, so all of it is judged from outside. Arguments: intro.exe and a
# scratch folder (emptied first).
set -u
exe=$1
scratch=$2
if [ ! -f "$exe" ]; then
  echo "no $exe: build its Windows preset first"
  exit 77
fi
for tool in wine wineboot wineserver pulseaudio parec xdotool xwininfo ffmpeg; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit 77; }
done
source "$(dirname "$0")/wine_common.sh"

name=$(basename "$exe")
show_window() { xwininfo -root -tree | grep -q "\"$name\").*1600x900+0+0"; }
# Share of the screen's pixels that are not black, from a 160 x 90 grey
# screenshot (kept as screen.png for a person to look at).
lit_share() {
  ffmpeg -loglevel error -y -f x11grab -video_size 1600x900 -i "$DISPLAY" -frames:v 1 \
    -vf scale=160:90 -pix_fmt gray -f rawvideo "$scratch/screen.gray" &&
    ffmpeg -loglevel error -y -f rawvideo -pix_fmt gray -video_size 160x90 -i "$scratch/screen.gray" \
      "$scratch/screen.png" &&
    od -An -v -tu1 -w1 "$scratch/screen.gray" | awk '{ n++; if ($1 > 16) lit++ } END { printf "%.4f", lit / n }'
}

make_prefix
start_pulseaudio
wine "$exe" > "$scratch/intro.log" 2>&1 &
wine_pid=$!
lit=0
if wait_for show_window 60; then
  window_seconds=$((SECONDS - started - prefix_seconds))
  # The first full-screen scene (the flag) comes about 7 s into the music,
  # after the loading screen; a software renderer takes a while per frame.
  until=$((SECONDS + 90))
  while [ $SECONDS -lt $until ] && kill -0 "$wine_pid" 2>/dev/null; do
    lit=$(lit_share)
    check "${lit:-0} > 0.25" && break
    sleep 1
  done
  check "${lit:-0} > 0.25" || fail "no lit scene within 90 s (lit share $lit)"
  peak=$(sink_peak 2)
  # The song peaks near -2 dBFS; any two seconds of its first part reach far above 1000.
  check "$peak > 1000" || fail "the sound server heard silence (peak $peak)"
  press_escape
  [ "$escape_rc" = 0 ] || fail "exit code $escape_rc after Escape"
  check "$escape_latency < 1.0" || fail "Escape took $escape_latency s"
  echo "window after ${window_seconds}s, lit=$lit sink_peak=$peak escape_latency=${escape_latency}s exit=$escape_rc"
else
  fail "the 1600 x 900 window never appeared"
  cat "$scratch/intro.log"
fi
wineserver -w
screen_is_1600x900 || fail "the screen was left at another size, or the X server is gone"
echo "wine prefix ${prefix_seconds}s, whole test $((SECONDS - started))s, failures: $failures"
[ "$failures" -eq 0 ]
