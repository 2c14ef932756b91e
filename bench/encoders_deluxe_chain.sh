#!/bin/bash
# The Deluxe chain of the console tools (x264, avs2pipemod piped into
# neroAacEnc, the three MP4Box commands) against one ffmpeg command doing the
# same work (libx264 with the same options, AAC, MP4), on a 300-frame clip
# with sound. Prints both wall times and their ratio (target: at most 1.05),
# and the processor-time ratio, steadier on a busy machine.
#   bench/encoders_deluxe_chain.sh      (BUILD_DIR or TOOLS may point elsewhere)
source "$(dirname "$0")/encoders_common.sh"
require "$TOOLS/x264" "$TOOLS/avs2pipemod" "$TOOLS/neroAacEnc" "$TOOLS/MP4Box" ffmpeg
make_clip clip 300 640x360

x264_options=(--level 4.1 --preset veryslow --me umh --ref 4 --no-psy --keyint 250 --min-keyint 25
              --no-fast-pskip --crf 17)

# Each step must succeed (errexit does not hold inside a timed function).
tool_chain() {
  "$TOOLS/x264" "${x264_options[@]}" -o "$WORK/video.264" "$WORK/clip.avs" &&
    "$TOOLS/avs2pipemod" -extwav=16bit "$WORK/clip.avs" |
    "$TOOLS/neroAacEnc" -ignorelength -q 0.85 -if - -of "$WORK/Snd.m4a" &&
    "$TOOLS/MP4Box" -add "$WORK/video.264" -new "$WORK/tools.mp4" &&
    "$TOOLS/MP4Box" -add "$WORK/video.264" -add "$WORK/Snd.m4a" -new "$WORK/tools.mp4" &&
    "$TOOLS/MP4Box" -itags "artist=Bench:name=Chain:tool=Kelvarion GUI 4.0_deluxe" -name "1=Kelvarion 4.0.0" "$WORK/tools.mp4"
}

# -q 0.85 asks for 277 kbit/s in stereo.
one_command() {
  ffmpeg -v error -nostdin -y -i "$WORK/clip.avi" -c:v libx264 -preset veryslow \
    -x264-params "level=4.1:me=umh:ref=4:no-psy=1:keyint=250:min-keyint=25:no-fast-pskip=1:crf=17" \
    -c:a aac -b:a 277k "$WORK/ffmpeg.mp4"
}

# Two alternating rounds; the faster run of each counts.
chain="1e9 1e9"; single="1e9 1e9"
for round in 1 2; do
  t=$(seconds_of tool_chain)
  chain=$(faster "$t" "$chain")
  t=$(seconds_of one_command)
  single=$(faster "$t" "$single")
done
echo "tool chain: $(wall "$chain")s wall, $(cpu "$chain")s cpu  (x264, avs2pipemod | neroAacEnc, 3x MP4Box)"
echo "ffmpeg:     $(wall "$single")s wall, $(cpu "$single")s cpu"
echo "wall-time ratio chain/ffmpeg: $(ratio "$(wall "$chain")" "$(wall "$single")")  (target <= 1.05)"
echo "cpu-time ratio chain/ffmpeg:  $(ratio "$(cpu "$chain")" "$(cpu "$single")")"
echo "sizes: chain $(stat -c %s "$WORK/tools.mp4") bytes, ffmpeg $(stat -c %s "$WORK/ffmpeg.mp4") bytes"
