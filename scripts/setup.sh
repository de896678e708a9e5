# Sourced by run.sh and test.sh: installs the Debian packages that building,
# running and testing the intro need, when any of them is missing.

# Everything the build, the show, the tools and the tests use. Recommended
# packages are not installed, so runtime pieces that are only "recommended"
# (clang's sanitizer runtime, the symbolizer, xauth for xvfb-run) are named.
INTRO_PACKAGES=(
  g++ cmake make pkg-config git
  xz-utils                                     # packs the show into one file (intro_packed)
  zlib1g-dev                                   # the Windows icon's PNG stream (driver/win32/make_icon.cpp)
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
  g++-mingw-w64-i686-win32                     # the 32-bit Windows build
  wine wine64 pulseaudio pulseaudio-utils      # running it in tests: wine, a sound server and parec,
  x11-utils                                    # xwininfo
  python3 parallel                             # scripts/render-video and its runs of chunks on one machine
  slurm-wlm munge                              # the single-node Slurm of the cluster tests
  # Running the 32-bit build under wine: wine32 (about 1.4 GB on disk, a 257 MB
  # download, close to two minutes to install; it upgrades some 64-bit
  # libraries too), Mesa's 32-bit GL for WGL, and the 32-bit X libraries
  # through which wine sets the display mode (without XRandR the switch to
  # 1600 x 900 is refused).
  wine32:i386 libgl1-mesa-dri:i386 libglx-mesa0:i386 libgl1:i386
  libxrandr2:i386 libxrender1:i386 libxinerama1:i386 libxcursor1:i386 libxcomposite1:i386 libxi6:i386
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
  # The 32-bit packages need the i386 architecture, added once.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo[@]}" dpkg --add-architecture i386
  fi
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Configures and builds the optimised tree in build/.
build_intro() {
  cmake --preset default >/dev/null
  cmake --build --preset default -j "$(nproc)"
}
