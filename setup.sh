#!/usr/bin/env bash
# Shared by ./run and ./test: installs the Debian packages that are missing,
# then configures and builds everything into build/.
set -euo pipefail
cd "$(dirname "$0")"

# libfontconfig-dev finds the script engine's monospaced font for Text.
# x264 (the command line) is only the benchmarks' reference, parallel their
# way of running job runners side by side. librsvg2-bin
# draws the icons; dpkg-dev, lintian, desktop-file-utils and appstream make
# and check the Debian package and its desktop files. The windows are
# measured and pictured in fonts-dejavu-core; qt6-translations-l10n makes the
# toolkit's own dialogs Russian; libglib2.0-bin's gio opens files with the
# desktop's programs. The tests start their own D-Bus (dbus-daemon) and drive
# the program on a virtual display with xdotool, reading titles with xprop,
# and close its window through libxcb (libxcb1-dev), which also gives the
# frame-rate chooser its window hints; openbox is the window manager under
# which frames, placement and maximising are measured.
# clang and its runtime build the fuzz targets with libFuzzer.
packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-translations-l10n fonts-dejavu-core libglib2.0-bin
  libavformat-dev libavcodec-dev libavfilter-dev libswscale-dev libswresample-dev libavutil-dev
  libx264-dev libfontconfig-dev
  librsvg2-bin
  ffmpeg xvfb xauth dbus-daemon xdotool x11-utils libxcb1-dev openbox
  x264 parallel
  dpkg-dev lintian desktop-file-utils appstream shared-mime-info
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# ./package builds a tree of its own and asks only for the packages.
[ "${1:-}" = --packages-only ] && exit 0

# --sanitize builds the same tree with AddressSanitizer (leaks included) and
# UndefinedBehaviorSanitizer into build-sanitize/.
# Its -O1 and line tables only keep that build short and its reports readable.
build=build
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = --sanitize ]; then
  build=build-sanitize
  sanitize="-O1 -g1 -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
  options=(-DCMAKE_BUILD_TYPE=None -DCMAKE_C_FLAGS="$sanitize" -DCMAKE_CXX_FLAGS="$sanitize"
           -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined")
fi
command -v ccache >/dev/null && options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DKELVARION_WERROR=ON "${options[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
