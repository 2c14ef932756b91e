#!/bin/bash
# Peak memory of tools/x264 on a short and a four times longer clip: the
# engine streams frames and libx264's lookahead is bounded, so the peak must
# not grow with the length. Prints both peaks and their ratio (target: about 1).
source "$(dirname "$0")/encoders_common.sh"
require "$TOOLS/x264" /usr/bin/time ffmpeg
make_clip short 150 640x360
make_clip long 600 640x360

peak_kib() {
  /usr/bin/time -f %M -o "$WORK/peak" "$TOOLS/x264" --preset fast --crf 20 -o "$WORK/out.264" "$1" >/dev/null 2>&1 ||
    { echo "x264 failed on $1: $(cat "$WORK/peak")" >&2; exit 1; }
  cat "$WORK/peak"
}
short=$(peak_kib "$WORK/short.avs") || exit 1
long=$(peak_kib "$WORK/long.avs") || exit 1
echo "peak RSS, 150 frames: ${short} KiB"
echo "peak RSS, 600 frames: ${long} KiB"
echo "ratio long/short: $(ratio "$long" "$short")  (target about 1, well below 4)"
