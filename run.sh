#!/usr/bin/env bash
# Sets up a machine (packages), builds the intro and runs the show.
# Without a display nobody could watch or end the show, so it renders the
# song and a contact sheet of the scenes into out/ instead.
#   ./run.sh --dev [intro_dev arguments]   builds and starts the development
#   player instead, on this source tree (see README, "Working on the show").
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh

dev=false
if [ "${1:-}" = "--dev" ]; then
  dev=true
  shift
fi

install_missing_packages
if $dev; then
  cmake --preset default >/dev/null
  cmake --build --preset default -j "$(nproc)" --target intro_dev
else
  build_intro
fi

has_display() {
  { [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; } || [ -n "${WAYLAND_DISPLAY:-}" ]
}

has_sound_device() {
  local runtime="${XDG_RUNTIME_DIR:-/run/user/$(id -u)}"
  [ -S "$runtime/pulse/native" ] || [ -S "$runtime/pipewire-0" ] ||
    grep -qE '^ *[0-9]+ \[' /proc/asound/cards 2>/dev/null
}

if $dev && ! has_display; then
  echo "run.sh: the development player needs a display (a desktop session, or xvfb-run to test it)." >&2
  exit 1
fi

if ! has_display; then
  echo "run.sh: no display found (DISPLAY unset or not answering), so nobody could watch the show;"
  echo "run.sh: rendering the song and a contact sheet of the scenes into out/ instead (about a minute) ..."
  mkdir -p out
  build/tools/songrender -o out/song.wav --spectrogram out/song-spectrogram.png
  build/tools/capture --contact-sheet out/scenes.png --size 320x180
  echo "run.sh: wrote $(pwd)/out/song.wav, out/song-spectrogram.png and out/scenes.png"
  echo "run.sh: to watch the show, run ./run.sh from a desktop session (or under xvfb-run to test it)."
  exit 0
fi

if ! has_sound_device; then
  echo "run.sh: no sound device found: running the show silently (SDL's dummy audio driver keeps the music clock)."
  export SDL_AUDIODRIVER=dummy
fi
if $dev; then
  echo "run.sh: starting the development player on $(pwd); build/tools/intro_dev --help lists the keys; Escape leaves."
  exec build/tools/intro_dev --source "$(pwd)" "$@"
fi
echo "run.sh: starting the show; press Escape to leave."
exec build/driver/intro
