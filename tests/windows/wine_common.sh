# Sourced by the wine tests: a private wine prefix and home in a scratch
# folder, a PulseAudio null sink on demand, and the helpers that wait for the
# program, send Escape and judge figures. The caller sets scratch (emptied
# here) and later wine_pid, the running program.

rm -rf "$scratch"
mkdir -p "$scratch/home" "$scratch/runtime"
chmod 700 "$scratch/runtime"
export HOME=$scratch/home XDG_RUNTIME_DIR=$scratch/runtime WINEPREFIX=$scratch/prefix
export WINEDEBUG=-all
# No Mono or Gecko install prompts while the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
# A PulseAudio client would start a daemon by itself when none runs; a run
# without a sound server must really have none.
printf 'autospawn = no\n' > "$scratch/client.conf"
export PULSE_CLIENTCONFIG=$scratch/client.conf
unset PULSE_SERVER

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
pulse_pid=
wine_pid=
cleanup() {
  [ -n "$wine_pid" ] && kill "$wine_pid" 2>/dev/null
  [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null && wait "$pulse_pid" 2>/dev/null
  wineserver -k 2>/dev/null
}
trap cleanup EXIT

started=$SECONDS
now() { date +%s.%N; }
# awk's verdict on a comparison of numbers, e.g. check "$x >= 1".
check() { awk "BEGIN { exit !($1) }"; }
# Waits up to $2 seconds for a command to succeed; false when it never did
# or the program ended first.
wait_for() {
  local until=$((SECONDS + $2))
  while [ $SECONDS -lt "$until" ]; do
    eval "$1" && return 0
    kill -0 "$wine_pid" 2>/dev/null || return 1
    sleep 0.2
  done
  return 1
}

# Makes the prefix; prefix_seconds says how long that took.
make_prefix() {
  wineboot -i > "$scratch/wineboot.log" 2>&1
  wineserver -w
  prefix_seconds=$((SECONDS - started))
}

# Starts a PulseAudio daemon holding the null sink "nullsink".
start_pulseaudio() {
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --load="module-null-sink sink_name=nullsink" \
    --load=module-native-protocol-unix > "$scratch/pulseaudio.log" 2>&1 &
  pulse_pid=$!
  local until=$((SECONDS + 10))
  while ! [ -S "$XDG_RUNTIME_DIR/pulse/native" ] && [ $SECONDS -lt $until ]; do sleep 0.1; done
  [ -S "$XDG_RUNTIME_DIR/pulse/native" ] || fail "PulseAudio did not start: $(cat "$scratch/pulseaudio.log")"
}

# The largest absolute 16-bit sample of $1 seconds of what the null sink plays.
sink_peak() {
  timeout "$1" parec -d nullsink.monitor --format=s16le --rate=44100 --channels=2 --raw > "$scratch/sink.raw"
  od -An -v -td2 -w2 "$scratch/sink.raw" | awk '{ v = $1 < 0 ? -$1 : $1; if (v > p) p = v } END { print p + 0 }'
}

# Sends Escape (held, so that no poll can miss it), waits up to 3 s for the
# program to end, and sets escape_rc and escape_latency (s from key-down).
press_escape() {
  xdotool keydown Escape
  local pressed
  pressed=$(now)
  local until=$((SECONDS + 3))
  while kill -0 "$wine_pid" 2>/dev/null && [ $SECONDS -lt "$until" ]; do sleep 0.01; done
  local ended
  ended=$(now)
  xdotool keyup Escape
  escape_rc=
  if kill -0 "$wine_pid" 2>/dev/null; then
    escape_rc=timeout
    kill "$wine_pid"
  fi
  wait "$wine_pid"
  local rc=$?
  [ "$escape_rc" = timeout ] || escape_rc=$rc
  wine_pid=
  escape_latency=$(awk "BEGIN { printf \"%.3f\", $ended - $pressed }")
}

# Whether the X screen is 1600 x 900 (under Xvfb the only mode there is).
screen_is_1600x900() {
  local root
  root=$(xwininfo -root 2>&1) && grep -q 'Width: 1600' <<< "$root" && grep -q 'Height: 900' <<< "$root"
}
