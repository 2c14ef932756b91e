#!/usr/bin/env bash
# The installation and the Debian package made from a build: the layout of
# `cmake --install`, the desktop entry, AppStream data and MIME types
# validated with Debian's own tools, the package's contents, computed
# dependencies and lintian, and the packaged program run from an unpacked
# tree. Usage: package_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "== cmake --install"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
expected=(
  bin/kelvarion
  lib/kelvarion/tools/x264 lib/kelvarion/tools/x264_64 lib/kelvarion/tools/avs4x264mod
  lib/kelvarion/tools/avs2pipemod lib/kelvarion/tools/neroAacEnc lib/kelvarion/tools/MP4Box
  share/kelvarion/Help.html share/kelvarion/rnd.wav
  share/doc/kelvarion/Help.html share/doc/kelvarion/copyright share/doc/kelvarion/changelog.gz
  share/applications/kelvarion.desktop share/metainfo/org.kelvarion.Kelvarion.metainfo.xml
  share/mime/packages/kelvarion.xml share/man/man1/kelvarion.1.gz
  share/icons/hicolor/scalable/apps/kelvarion.svg
)
for size in 16 22 24 32 48 64 128 256; do expected+=("share/icons/hicolor/${size}x${size}/apps/kelvarion.png"); done
for file in "${expected[@]}"; do [ -f "$prefix/$file" ] || fail "not installed: $file"; done
[ "$(ls "$prefix/bin")" = kelvarion ] || fail "bin/ holds more than the program: $(ls "$prefix/bin")"
for tool in "$prefix"/lib/kelvarion/tools/* "$prefix/bin/kelvarion"; do [ -x "$tool" ] || fail "not executable: $tool"; done
cmp -s "$prefix/share/doc/kelvarion/Help.html" "$prefix/share/kelvarion/Help.html" || fail "the help link is broken"
# Each PNG is drawn at its folder's size (the width and height in its header).
for size in 16 48 256; do
  header=$(od -An -tu4 --endian=big -j16 -N8 "$prefix/share/icons/hicolor/${size}x${size}/apps/kelvarion.png" | xargs)
  [ "$header" = "$size $size" ] || fail "the ${size} px icon is $header"
done
echo "ok: layout"

echo "== desktop entry, AppStream data, MIME types"
desktop-file-validate "$prefix/share/applications/kelvarion.desktop"
grep -qx 'Exec=kelvarion %F' "$prefix/share/applications/kelvarion.desktop" || fail "Exec"
appstreamcli validate --no-net "$prefix/share/metainfo/org.kelvarion.Kelvarion.metainfo.xml"
# The desktop entry and the AppStream data name the same types.
desktop_types=$(sed -n 's/^MimeType=//p' "$prefix/share/applications/kelvarion.desktop" | tr ';' '\n' | sed '/^$/d' | sort)
metainfo_types=$(sed -n 's:.*<mediatype>\(.*\)</mediatype>.*:\1:p' "$prefix/share/metainfo/org.kelvarion.Kelvarion.metainfo.xml" | sort)
[ "$desktop_types" = "$metainfo_types" ] || fail "types differ: $desktop_types / $metainfo_types"
# Our script types are ours alone; every type named is known once ours are added.
system=/usr/share/mime/packages/freedesktop.org.xml
if grep -Eq 'pattern="\*\.(avs|vpy)"' "$system"; then fail "the system's MIME database now knows *.avs or *.vpy"; fi
mkdir -p "$work/mime/packages"
cp "$system" "$prefix/share/mime/packages/kelvarion.xml" "$work/mime/packages/"
update-mime-database "$work/mime"
grep -qx 'text/x-avisynth' "$work/mime/types" || fail "text/x-avisynth not registered"
grep -q ':text/x-avisynth:\*\.avs$' "$work/mime/globs2" || fail "*.avs"
grep -q ':text/x-vapoursynth:\*\.vpy$' "$work/mime/globs2" || fail "*.vpy"
for type in $desktop_types; do
  grep -qx "$type" "$work/mime/types" || grep -q "^$type " "$work/mime/aliases" || fail "unknown type $type"
done
echo "ok: validated"

echo "== the Debian package"
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/cpack" >/dev/null)
deb=$(ls "$work"/cpack/kelvarion_*.deb)
contents=$(dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's:^\./::')
for file in "${expected[@]}"; do
  grep -qx "usr/$file" <<<"$contents" || fail "not in the package: usr/$file"
done
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libavformat59 libx264-164 libc6; do
  grep -q "$library" <<<"$depends" || fail "no dependency on $library: $depends"
done
lintian --fail-on error "$deb"
echo "ok: contents, dependencies ($depends), lintian"

echo "== the packaged program, unpacked"
dpkg-deb -x "$deb" "$work/root"
[ -x "$work/root/usr/lib/kelvarion/tools/MP4Box" ] || fail "unpacked tools"
mkdir -p "$work/home/run" && chmod 700 "$work/home/run"
echo "not a clip" >"$work/home/notes.txt"
env QT_QPA_PLATFORM=offscreen HOME="$work/home" XDG_CONFIG_HOME= XDG_CACHE_HOME= XDG_STATE_HOME= \
  XDG_RUNTIME_DIR="$work/home/run" KELVARION_MESSAGE_LOG="$work/home/messages.txt" \
  timeout -s KILL 20 "$work/root/usr/bin/kelvarion" "$work/home/notes.txt" &
pid=$!
for _ in $(seq 100); do [ -s "$work/home/messages.txt" ] && break; sleep 0.1; done
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
# Each logged box: icon, title, place and text, separated by tabs.
[ "$(cut -f4- "$work/home/messages.txt")" = "Unsupported format" ] || fail "messages: $(cat "$work/home/messages.txt" 2>&1)"
[ -d "$work/home/.config/kelvarion" ] || fail "no settings folder in ~/.config"
echo "ok: runs from the package's tree"
