#!/usr/bin/env bash
# Installs a Kelvarion package into a freshly bootstrapped Debian 12 system
# with apt-get, checks that the program and its tools start there, and
# removes it again, checking that nothing of it stays behind. Run by hand as
# root (it needs debootstrap, chroot and mount, and several minutes):
#
#   tests/package/clean_install.sh [kelvarion_*.deb]    (default: the newest in dist/)
set -euo pipefail
cd "$(dirname "$0")/../.."

deb=${1:-$(ls -t dist/kelvarion_*.deb 2>/dev/null | head -n1)}
[ -f "$deb" ] || { echo "no package: run ./package first or name one" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "run as root" >&2; exit 2; }
command -v debootstrap >/dev/null || apt-get install -y -qq --no-install-recommends debootstrap

root=$(mktemp -d /tmp/kelvarion-clean.XXXXXX)
mounted=()
cleanup() {
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2>/dev/null || true; done
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT

echo "== bootstrapping Debian 12 into $root"
debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >"$root.log" 2>&1 \
  || { tail -20 "$root.log"; exit 1; }
rm -f "$root.log"
for fs in proc dev; do
  if [ "$fs" = proc ]; then mount -t proc proc "$root/proc"; else mount --rbind /dev "$root/dev"; fi
  mounted+=("$root/$fs")
done
cp /etc/resolv.conf "$root/etc/resolv.conf"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

echo "== apt-get install ./$(basename "$deb")"
cp "$deb" "$root/tmp/"
in_root apt-get update -qq
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./tmp/$(basename "$deb")" >/dev/null
in_root dpkg -s kelvarion | grep -q '^Status: install ok installed'

# The package's triggers registered the script types where the MIME
# database is installed.
if [ -x "$root/usr/bin/update-mime-database" ]; then
  [ -f "$root/usr/share/mime/text/x-avisynth.xml" ] || { echo "text/x-avisynth not registered" >&2; exit 1; }
  echo "ok: the AviSynth and VapourSynth script types are registered"
fi

echo "== the program and its tools"
missing=$(in_root sh -c 'for f in /usr/bin/kelvarion /usr/lib/kelvarion/tools/*; do ldd "$f"; done' | grep 'not found' || true)
[ -z "$missing" ] || { echo "unresolved libraries: $missing" >&2; exit 1; }
# The installed tools encode and mux a short script-made clip.
in_root mkdir -p /tmp/user
printf 'BlankClip(length=10, width=64, height=48, fps=25)\n' >"$root/tmp/user/blank.avs"
in_root /usr/lib/kelvarion/tools/x264 --crf 30 -o /tmp/user/blank.264 /tmp/user/blank.avs 2>&1 | tail -n1
in_root /usr/lib/kelvarion/tools/MP4Box -add /tmp/user/blank.264 -new /tmp/user/blank.mp4
[ -s "$root/tmp/user/blank.mp4" ] || { echo "the installed tools made no file" >&2; exit 1; }
# Headless: a file of a kind it does not take is refused with its message,
# and a second start while one runs is refused too.
in_root mkdir -p /tmp/user/run
in_root chmod 700 /tmp/user/run
run_kelvarion() {
  in_root env QT_QPA_PLATFORM=offscreen HOME=/tmp/user XDG_RUNTIME_DIR=/tmp/user/run \
    KELVARION_MESSAGE_LOG=/tmp/user/messages.txt LANG=C.UTF-8 /usr/bin/kelvarion "$@"
}
echo "not a clip" >"$root/tmp/user/notes.txt"
run_kelvarion /tmp/user/notes.txt &
first=$!
for _ in $(seq 50); do grep -q . "$root/tmp/user/messages.txt" 2>/dev/null && break; sleep 0.2; done
run_kelvarion /tmp/user/notes.txt
kill "$first"
wait "$first" 2>/dev/null || true
# Each logged box: icon, title, place and text, separated by tabs.
messages=$(cut -f4- "$root/tmp/user/messages.txt")
[ "$messages" = $'Unsupported format\nПриложение уже запущено.' ] \
  || { echo "unexpected messages: $messages" >&2; exit 1; }
# The installed program keeps its settings in the user's folder, never in /usr.
[ "$(stat -c %a "$root/tmp/user/.config/kelvarion")" = 700 ] \
  || { echo "no private settings folder in ~/.config" >&2; exit 1; }
[ -z "$(cd "$root" && find usr -newer "tmp/$(basename "$deb")" -name 'kelvarion*.ini')" ] \
  || { echo "settings written under /usr" >&2; exit 1; }
echo "ok: starts, refuses an unsupported file and a second start, settings in ~/.config"

echo "== apt-get remove --purge kelvarion"
in_root env DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq kelvarion >/dev/null
if in_root dpkg -s kelvarion >/dev/null 2>&1; then echo "still installed" >&2; exit 1; fi
left=$(cd "$root" && ls -d usr/bin/kelvarion usr/lib/kelvarion usr/share/kelvarion usr/share/doc/kelvarion \
  usr/share/applications/kelvarion.desktop usr/share/metainfo/org.kelvarion.Kelvarion.metainfo.xml \
  usr/share/mime/packages/kelvarion.xml usr/share/icons/hicolor/scalable/apps/kelvarion.svg 2>/dev/null || true)
[ -z "$left" ] || { echo "left behind: $left" >&2; exit 1; }
if [ -x "$root/usr/bin/update-mime-database" ] && [ -e "$root/usr/share/mime/text/x-avisynth.xml" ]; then
  echo "the script types stayed registered" >&2
  exit 1
fi
echo "ok: installed on a clean Debian 12, ran, and removed without a trace"
