#!/usr/bin/env bash
# The Windows intro under wine, on the X server this runs in (a 1600 x 900
# Xvfb): the test build intro_probe.exe in a fresh wine prefix, first without
# a sound server (no music: the show waits in its pre-roll and still leaves on
# Escape), then with a PulseAudio daemon holding a null sink, for about 20 s
# of music. It checks frames drawn and read back, the DirectSound play cursor
# against the wall clock, music (not silence) reaching the sound server, Escape ending the program with exit code 0 within
# one second, and the display mode. Arguments: the folder holding
# intro_probe.exe, and a scratch folder (emptied first).
set -u
exe_dir=$1
scratch=$2
probe=$exe_dir/intro_probe.exe
if [ ! -f "$probe" ]; then
  echo "no $probe: build the Windows preset first (cmake --preset windows)"
  exit 77
fi
for tool in wine wineboot wineserver pulseaudio parec xdotool xwininfo; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit 77; }
done

source "$(dirname "$0")/wine_common.sh"
# A "name=value" figure of the probe's report in a log.
figure() { grep -o 'intro_probe: .*' "$2" | head -n 1 | tr ' ' '\n' | sed -n "s/^$1=//p"; }
show_window() { xwininfo -root -tree | grep -q '"intro_probe.exe").*1600x900+0+0'; }

make_prefix

# 1. No sound server: DirectSoundCreate8 fails, the loop swaps frames in its
# pre-roll, Escape still ends it.
quiet_log=$scratch/no_sound.log
wine "$probe" > /dev/null 2> "$quiet_log" &
wine_pid=$!
if wait_for show_window 60; then
  sleep 2
  press_escape
  [ "$escape_rc" = 0 ] || fail "no sound: exit code $escape_rc after Escape"
  check "$escape_latency < 1.0" || fail "no sound: Escape took $escape_latency s"
  grep -q "no sound device" "$quiet_log" || fail "no sound: no word of the missing sound device"
  frames=$(figure frames "$quiet_log")
  [ -n "$frames" ] && check "$frames > 0" || fail "no sound: no frames shown"
  [ "$(figure source_blocks "$quiet_log")" = 0 ] || fail "no sound: music was rendered"
  [ "$(figure drawn_frames "$quiet_log")" = 0 ] || fail "no sound: the show left its pre-roll"
  echo "no sound server: frames=$frames escape_latency=${escape_latency}s exit=$escape_rc"
else
  fail "no sound: the 1600 x 900 window never appeared"
  cat "$quiet_log"
fi
wineserver -w

# 2. With a PulseAudio null sink: about 20 s of music.
start_pulseaudio

log=$scratch/show.log
wine "$probe" > /dev/null 2> "$log" &
wine_pid=$!
# The probe reads its frame back at 20 s of music and says so.
if wait_for "grep -qs 'looked at the frame' '$log'" 120; then
  if command -v import >/dev/null; then import -window root "$scratch/window.png" 2>/dev/null; fi
  # Two seconds of what the sink plays, as the program's own 16-bit stereo.
  peak=$(sink_peak 2)
  press_escape
  [ "$escape_rc" = 0 ] || fail "exit code $escape_rc after Escape"
  check "$escape_latency < 1.0" || fail "Escape took $escape_latency s"
  grep -o 'intro_probe: .*' "$log" > /dev/null || fail "no report from the probe: $(cat "$log")"
  frames=$(figure frames "$log")
  drawn=$(figure drawn_frames "$log")
  scenes=$(figure scene_frames "$log")
  lit=$(figure last_lit "$log")
  music=$(figure last_music "$log")
  cursor=$(awk "BEGIN { printf \"%.3f\", ($(figure last_consumed "$log") - $(figure first_consumed "$log")) / 176400 / \
                                  ($(figure last_wall "$log") - $(figure first_wall "$log")) }")
  switched=$(figure mode_switched "$log")
  # The song peaks near -5 dBFS; mid-song two seconds reach far above 1000.
  check "$peak > 1000" || fail "the sound server heard silence (peak $peak)"
  check "${drawn:-0} > 0 && ${scenes:-0} > 0" || fail "no scene drawn ($drawn frames with music, $scenes scenes)"
  # At 20 s a scene fills most of the window; a black or missing picture reads 0.
  check "${lit:--1} > 0.25" || fail "the frame read back at 20 s is dark: lit share $lit"
  check "${music:-0} >= 20" || fail "the music only reached $music s"
  check "$cursor >= 0.5" || fail "the play cursor ran at $cursor of real time"
  [ "$switched" = 1 ] || fail "the display mode switch to 1600 x 900 was refused"
  [ "$(figure window "$log")" = 1600x900 ] || fail "the window is $(figure window "$log"), not 1600x900"
  echo "with sound: frames=$frames drawn=$drawn scenes=$scenes lit=$lit music=${music}s" \
       "cursor_rate=$cursor underruns=$(figure underruns "$log") escape_latency=${escape_latency}s exit=$escape_rc" \
       "mode_switched=$switched sink_peak=$peak"
else
  fail "the probe never reached 20 s of music"
  cat "$log"
fi
wineserver -w
# The desktop is 1600 x 900 again (under Xvfb it is the only mode there is).
screen_is_1600x900 || fail "the screen was left at another size, or the X server is gone"

echo "wine prefix ${prefix_seconds}s, whole test $((SECONDS - started))s, failures: $failures"
[ "$failures" -eq 0 ]
