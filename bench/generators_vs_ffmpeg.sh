#!/bin/bash
# Generators against ffmpeg making the like in one run: ColorBars in YV12 at
# 1280x720, 300 frames to YUV4MPEG2, against ffmpeg's smptebars source; and
# a minute of Tone sped up by TimeStretch(tempo=150) to 16-bit WAVE, against
# ffmpeg's sine source through atempo. The runs alternate, five each; the
# best of each is compared.
# Usage: bench/generators_vs_ffmpeg.sh (BUILD_DIR=... for another build folder).
source "$(dirname "${BASH_SOURCE[0]}")/encoders_common.sh"
require "$TOOLS/avs2pipemod" ffmpeg

printf 'ColorBars(1280, 720, "YV12")\nTrim(0, 299)\n' >"$WORK/bars.avs"
ours() { "$TOOLS/avs2pipemod" -y4mp "$WORK/bars.avs" >/dev/null; }
theirs() {
  ffmpeg -v error -nostdin -f lavfi -i smptebars=size=1280x720:rate=30000/1001 -frames:v 300 -pix_fmt yuv420p \
    -f yuv4mpegpipe -y /dev/null
}
compare_with_ffmpeg "ColorBars, 300 frames 1280x720 YV12 to y4m"

printf 'Tone(60, 440)\nTimeStretch(tempo=150)\n' >"$WORK/stretch.avs"
ours() { "$TOOLS/avs2pipemod" -extwav=16bit "$WORK/stretch.avs" >/dev/null; }
theirs() {
  ffmpeg -v error -nostdin -f lavfi -i sine=frequency=440:sample_rate=48000:duration=60 \
    -af "aformat=sample_fmts=flt:channel_layouts=stereo,atempo=1.5" -c:a pcm_s16le -f wav -y /dev/null
}
compare_with_ffmpeg "TimeStretch(tempo=150), a minute of stereo 48 kHz to 16-bit WAVE"
