#!/bin/bash
# tools/x264 reading a script against Debian's x264 command line (package
# x264) fed the same frames as y4m, with identical Deluxe options. Each is run
# twice, alternating, and the faster run counts, which evens out the load of
# a shared machine. Prints the wall-time ratio
# (target: at most 1.02) and the output size difference (target: within 1%).
source "$(dirname "$0")/encoders_common.sh"
require "$TOOLS/x264" x264 ffmpeg
make_clip clip 300 640x360
ffmpeg -v error -nostdin -y -i "$WORK/clip.avi" -f yuv4mpegpipe "$WORK/clip.y4m"

options=(--level 4.1 --preset veryslow --me umh --ref 4 --no-psy --keyint 250 --min-keyint 25
         --no-fast-pskip --crf 17)
ours="1e9 1e9"; theirs="1e9 1e9"
for round in 1 2; do
  t=$(seconds_of "$TOOLS/x264" "${options[@]}" -o "$WORK/ours.264" "$WORK/clip.avs")
  ours=$(faster "$t" "$ours")
  t=$(seconds_of x264 "${options[@]}" -o "$WORK/cli.264" "$WORK/clip.y4m")
  theirs=$(faster "$t" "$theirs")
done
ours_size=$(stat -c %s "$WORK/ours.264")
cli_size=$(stat -c %s "$WORK/cli.264")
echo "tools/x264 on the script: $(wall "$ours")s wall, $(cpu "$ours")s cpu, $ours_size bytes"
echo "x264 CLI on y4m:          $(wall "$theirs")s wall, $(cpu "$theirs")s cpu, $cli_size bytes"
echo "wall-time ratio ours/cli: $(ratio "$(wall "$ours")" "$(wall "$theirs")")  (target <= 1.02)"
echo "cpu-time ratio ours/cli:  $(ratio "$(cpu "$ours")" "$(cpu "$theirs")")"
echo "size difference: $(awk -v a="$ours_size" -v b="$cli_size" 'BEGIN { printf "%+.3f%%", (a - b) * 100 / b }')  (target within 1%)"
