#!/usr/bin/env bash
# Installs the Debian packages Orvet needs to build and test, then configures and builds build/.
# Safe to run again: apt is skipped when every package is already installed.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build g++                  # the build
  clang libclang-rt-14-dev               # libFuzzer and the sanitizers for the fuzz build
  googletest libgtest-dev                # unit tests
  libbenchmark-dev                       # benchmarks
  zlib1g-dev nlohmann-json3-dev          # reading the 68000 test vectors
  binutils-m68k-linux-gnu                # assembling 68000 test programs and benchmarks
  libpng-dev                             # PNG screenshots
  libgif-dev libstb-dev                  # tests: giflib and stb_image read back GIF and TGA shots
  mtools                                 # FAT12 floppy images for the boot tests
  sox                                    # reading the WAV files Orvet writes, in tests
  libsdl2-dev libgl-dev libimgui-dev     # the window, its OpenGL picture, sound device and views
  xvfb xauth xdotool libgl1-mesa-dri     # window tests: a virtual screen, Mesa's software OpenGL
  xfonts-base x11-utils                  # message boxes: their fonts; xwininfo, xprop, xmessage
  openbox                                # a window manager for the fullscreen and focus test
  imagemagick                            # window tests: reading back what the screen shows
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done

if ((${#missing[@]} > 0)); then
  echo "setup: installing ${missing[*]}"
  if ((EUID == 0)); then
    run_as_root=()
  elif command -v sudo >/dev/null; then
    run_as_root=(sudo)
  else
    echo "setup: need root (or sudo) to install: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${run_as_root[@]}" apt-get update
  "${run_as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Keep the generator of an existing build tree; a new one uses Ninja.
if [[ -f build/CMakeCache.txt ]]; then
  cmake -S . -B build
else
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
fi
cmake --build build --parallel "$(nproc)"
