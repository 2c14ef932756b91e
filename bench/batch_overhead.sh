#!/bin/bash
# Measures the job runner over a folder of small clips, in one run:
#   1. one runner given 10 clips against 10 runners of one clip each, one
#      after another (the overhead of running many sources in one process);
#   2. `parallel -j2` over the 10 clips against the same runners one after
#      another (the throughput gained from running clips side by side).
# The clips are 320x240, 4 seconds, with sound; each is made as a Preview.
# Prints each ratio. Usage: bench/batch_overhead.sh [build folder]
# (default: build). Needs ffmpeg and GNU parallel.
set -euo pipefail

build=$(realpath "${1:-build}")
program=$build/kelvarion
[ -x "$program" ] || { echo "no kelvarion in $build" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work
# The runners read the mode settings only; a settings file of the bench's
# own keeps the developer's out of it.
settings=$work/kelvarion.ini
: > "$settings"

echo "generating 10 clips in $work ..."
for i in $(seq -w 1 10); do
  ffmpeg -nostdin -loglevel error -y -f lavfi -i "testsrc2=s=320x240:r=25:d=4" \
      -f lavfi -i "sine=f=$((300 + 10#$i * 20)):r=48000:d=4" -c:v mpeg4 -q:v 4 -c:a pcm_s16le "$work/clip$i.avi"
done
clips=("$work"/clip*.avi)

clean() { rm -f "$work"/*.mp4; }
seconds() { local start=$EPOCHREALTIME; "$@" > /dev/null; awk "BEGIN{printf \"%.3f\", $EPOCHREALTIME - $start}"; }
one_run() { "$program" --job "${clips[@]}" --settings "$settings"; }
one_by_one() { for clip in "${clips[@]}"; do "$program" --job "$clip" --settings "$settings"; done; }
side_by_side() { parallel -j2 "$program" --job {} --settings "$settings" ::: "${clips[@]}"; }

# Alternating, best of three, so that a busy moment of the shared machine
# weighs on each alike.
best_batch=999999 best_single=999999 best_parallel=999999
for _ in 1 2 3; do
  clean; t=$(seconds one_run);      awk "BEGIN{exit !($t < $best_batch)}" && best_batch=$t
  clean; t=$(seconds one_by_one);   awk "BEGIN{exit !($t < $best_single)}" && best_single=$t
  clean; t=$(seconds side_by_side); awk "BEGIN{exit !($t < $best_parallel)}" && best_parallel=$t
done
[ "$(ls "$work"/*_preview.mp4 | wc -l)" -eq 10 ] || { echo "not every clip was made" >&2; exit 1; }

echo "one runner, 10 clips:        ${best_batch} s"
echo "10 runners one after another: ${best_single} s"
echo "parallel -j2, 10 runners:     ${best_parallel} s"
awk "BEGIN{printf \"batch overhead: %+.2f%%\n\", ($best_batch / $best_single - 1) * 100}"
awk "BEGIN{printf \"parallel -j2 throughput: %.2fx\n\", $best_single / $best_parallel}"
