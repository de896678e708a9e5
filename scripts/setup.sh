# Sourced by run.sh and test.sh: installs the Debian packages that building,
# running and testing the intro need, when any of them is missing.

# Everything the build, the show, the tools and the tests use. Recommended
# packages are not installed, so runtime pieces that are only "recommended"
# (clang's sanitizer runtime, the symbolizer, xauth for xvfb-run) are named.
INTRO_PACKAGES=(
  g++ cmake make pkg-config git
  xz-utils                                     # packs the show into one file (intro_packed)
  libsdl2-dev libgl-dev libstb-dev            # window, GL context, sound device, PNG writing
  libx11-dev                                  # the window's full-screen state on X11
  libgl1-mesa-dri libegl-mesa0                # Mesa's software rasteriser, also offscreen
  xvfb xauth xdotool procps                    # a real X server for headless runs and tests (pgrep)
  libgtest-dev libbenchmark-dev                # tests and benchmarks
  glslang-tools                                # glslangValidator: every shader checked by the reference compiler
  libsndfile1-dev sox ffmpeg                   # songrender's WAV, spectrograms, video
  libebur128-dev libfftw3-dev                  # the meters of songreport: EBU R 128 loudness, spectra
  clang libclang-rt-14-dev llvm-14             # fuzzer and sanitizers
  g++-mingw-w64-x86-64-posix                   # the Windows build
  wine wine64 pulseaudio pulseaudio-utils      # running it in tests: wine, a sound server and parec,
  x11-utils                                    # xwininfo
  python3 parallel                             # scripts/render-video and its runs of chunks on one machine
  slurm-wlm munge                              # the single-node Slurm of the cluster tests
)

install_missing_packages() {
  local missing=()
  for package in "${INTRO_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0

  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null; then
      sudo=(sudo)
    else
      echo "error: packages missing (${missing[*]}) and not root; install them with apt-get as root." >&2
      exit 1
    fi
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Configures and builds the optimised tree in build/.
build_intro() {
  cmake --preset default >/dev/null
  cmake --build --preset default -j "$(nproc)"
}
