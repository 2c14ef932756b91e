#!/bin/bash
# Peak memory of tools/x264 on a short and a four times longer clip: the
# engine streams frames and libx264's lookahead is bounded, so the peak must
# not grow with the length. Prints both peaks and their ratio (target: about 1).
source "$(dirname "$0")/encoders_common.sh"
require "$TOOLS/x264" ffmpeg
make_clip short 150 640x360
make_clip long 600 640x360

# The encoder's peak resident memory in KiB: its high-water mark (VmHWM),
# read from /proc while it runs, the last reading before it ends.
peak_kib() {
  "$TOOLS/x264" --preset fast --crf 20 -o "$WORK/out.264" "$1" >"$WORK/x264.log" 2>&1 &
  local pid=$! peak=0 reading
  while reading=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null) && [[ -n $reading ]]; do
    peak=$reading
    sleep 0.05
  done
  wait "$pid" || { echo "x264 failed on $1" >&2; cat "$WORK/x264.log" >&2; exit 1; }
  echo "$peak"
}
short=$(peak_kib "$WORK/short.avs") || exit 1
long=$(peak_kib "$WORK/long.avs") || exit 1
echo "peak RSS, 150 frames: ${short} KiB"
echo "peak RSS, 600 frames: ${long} KiB"
echo "ratio long/short: $(ratio "$long" "$short")  (target about 1, well below 4)"
