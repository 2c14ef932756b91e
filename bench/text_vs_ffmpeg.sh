#!/bin/bash
# Subtitle against ffmpeg's drawtext doing the same to the same frames, in
# one run: avs2pipemod -y4mp of a 1280x720 clip of 300 frames with a centred
# subtitle, against ffmpeg -filter_complex with the same drawtext filter,
# both to YUV4MPEG2. The runs alternate, five
# each; the best of each is compared.
# Usage: bench/text_vs_ffmpeg.sh (BUILD_DIR=... for another build folder).
source "$(dirname "${BASH_SOURCE[0]}")/encoders_common.sh"
require "$TOOLS/avs2pipemod" ffmpeg

make_clip clip 300 1280x720
printf 'AviSource("%s")\nSubtitle("A long evening by the lake", align=5, size=32)\n' "$WORK/clip.avi" >"$WORK/subtitle.avs"
style="font=Arial:fontcolor=0xFFFF00FF:borderw=4:bordercolor=0x000000FF:fontsize=32"

ours() { "$TOOLS/avs2pipemod" -y4mp "$WORK/subtitle.avs" >/dev/null; }
theirs() {
  ffmpeg -v error -nostdin -i "$WORK/clip.avi" \
    -filter_complex "[0:v]drawtext=$style:text='A long evening by the lake':x=(w-tw)/2:y=32-ascent[v]" \
    -map "[v]" -f yuv4mpegpipe -y /dev/null
}

compare_with_ffmpeg "Subtitle, 300 frames 1280x720 to y4m"
