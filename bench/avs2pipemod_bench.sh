#!/bin/bash
# Measures avs2pipemod against ffmpeg doing the same work, in one run:
#   1. -y4mp of a 1920x1080 AVI resized with Spline64Resize to 480x270 and
#      converted with ConvertToYV12, against ffmpeg's spline scale to y4m;
#   2. the same on a camera's full-range MJPEG (yuvj422p), whose range the
#      resize converts in its own pass, in wall and CPU time;
#   3. -y4mp of a 10-bit 1920x1080 H.264 clip, dithered to 8 bits at the end
#      of the script, against ffmpeg's conversion to yuv420p;
#   4. -extwav=16bit of a long sound, against ffmpeg's -f wav;
#   5. peak memory of -y4mp and -extwav on a 60-second clip against a
#      10-second one.
# Prints each ratio. Usage: bench/avs2pipemod_bench.sh [build folder]
# (default: build). Needs ffmpeg and /usr/bin/time.
set -euo pipefail

build=${1:-build}
tool=$(realpath "$build/tools/avs2pipemod")
[ -x "$tool" ] || { echo "no avs2pipemod in $build/tools" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

gen() { ffmpeg -nostdin -loglevel error -y "$@"; }
echo "generating media in $work ..."
gen -f lavfi -i testsrc2=s=1920x1080:r=25:d=10 -f lavfi -i sine=f=440:r=48000:d=10 \
    -c:v mpeg4 -q:v 4 -c:a pcm_s16le hd10.avi
gen -f lavfi -i testsrc2=s=1920x1080:r=25:d=60 -f lavfi -i sine=f=440:r=48000:d=60 \
    -c:v mpeg4 -q:v 4 -c:a pcm_s16le hd60.avi
gen -f lavfi -i anoisesrc=r=48000:d=600 -ac 2 long.wav
gen -f lavfi -i testsrc2=s=1920x1080:r=25:d=10 -c:v mjpeg -q:v 3 -pix_fmt yuvj422p camera.avi
gen -f lavfi -i testsrc2=s=1920x1080:r=25:d=10 -c:v libx264 -preset ultrafast -pix_fmt yuv420p10le deep.mp4

for clip in hd10 hd60; do
  printf 'v = AviSource("%s.avi")\ng = v.Spline64Resize(480,270)\ng = IsRGB(g) ? g.ConvertToYV12(matrix="Rec601") : g.ConvertToYV12()\ng\n' \
    "$clip" > "$clip.avs"
done
printf 'WavSource("long.wav")\n' > long.avs
printf 'AviSource("camera.avi").Spline64Resize(480,270).ConvertToYV12()\n' > camera.avs
printf 'FFVideoSource("deep.mp4")\n' > deep.avs

# Runs a command with its output to /dev/null; sets $wall and $cpu (user
# and system time, s) and $rss (KiB).
measure() {
  /usr/bin/time -f '%e %U %S %M' -o stats "$@" > /dev/null
  read -r wall user system rss < stats
  cpu=$(awk "BEGIN{print $user + $system}")
}
# Runs the commands named by two arrays five times each, alternating so
# that a busy moment of the shared machine weighs on both alike, and keeps
# each one's best wall time in $ours and $theirs, and best CPU time in
# $ours_cpu and $theirs_cpu.
race() {
  local -n first=$1 second=$2
  ours=999999 theirs=999999 ours_cpu=999999 theirs_cpu=999999
  for _ in 1 2 3 4 5; do
    measure "${first[@]}"
    if awk "BEGIN{exit !($wall < $ours)}"; then ours=$wall; fi
    if awk "BEGIN{exit !($cpu < $ours_cpu)}"; then ours_cpu=$cpu; fi
    measure "${second[@]}"
    if awk "BEGIN{exit !($wall < $theirs)}"; then theirs=$wall; fi
    if awk "BEGIN{exit !($cpu < $theirs_cpu)}"; then theirs_cpu=$cpu; fi
  done
}
ratio() { awk "BEGIN{printf \"%.3f\", $1 / $2}"; }

ours_cmd=("$tool" -y4mp hd10.avs)
their_cmd=(ffmpeg -nostdin -loglevel error -i hd10.avi -vf scale=480:270:flags=spline -pix_fmt yuv420p
  -f yuv4mpegpipe -y /dev/null)
race ours_cmd their_cmd
echo "y4m 1920x1080 -> 480x270: avs2pipemod ${ours}s, ffmpeg ${theirs}s, wall-time ratio $(ratio "$ours" "$theirs") (target <= 1.1)"

ours_cmd=("$tool" -y4mp camera.avs)
their_cmd=(ffmpeg -nostdin -loglevel error -i camera.avi -vf scale=480:270:flags=spline -pix_fmt yuv420p
  -f yuv4mpegpipe -y /dev/null)
race ours_cmd their_cmd
echo "y4m full-range MJPEG 1920x1080 -> 480x270: avs2pipemod ${ours}s (CPU ${ours_cpu}s), ffmpeg ${theirs}s" \
  "(CPU ${theirs_cpu}s), wall-time ratio $(ratio "$ours" "$theirs"), CPU-time ratio $(ratio "$ours_cpu" "$theirs_cpu")" \
  "(target <= 1.1 each)"

ours_cmd=("$tool" -y4mp deep.avs)
their_cmd=(ffmpeg -nostdin -loglevel error -i deep.mp4 -pix_fmt yuv420p -f yuv4mpegpipe -y /dev/null)
race ours_cmd their_cmd
echo "y4m of 10-bit 1920x1080 at 8 bits: avs2pipemod ${ours}s, ffmpeg ${theirs}s, wall-time ratio $(ratio "$ours" "$theirs") (target <= 1.1)"

ours_cmd=("$tool" -extwav=16bit long.avs)
their_cmd=(ffmpeg -nostdin -loglevel error -i long.wav -f wav -y /dev/null)
race ours_cmd their_cmd
echo "WAVE of 10 min 48 kHz stereo: avs2pipemod ${ours}s, ffmpeg ${theirs}s, wall-time ratio $(ratio "$ours" "$theirs") (target <= 1.2)"

for mode in -y4mp -extwav=16bit; do
  measure "$tool" "$mode" hd10.avs
  short=$rss
  measure "$tool" "$mode" hd60.avs
  long=$rss
  echo "peak memory $mode: 10 s ${short} KiB, 60 s ${long} KiB, ratio $(ratio "$long" "$short") (target <= 1.1)"
done
