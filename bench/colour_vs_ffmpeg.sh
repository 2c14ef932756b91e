#!/bin/bash
# Levels against ffmpeg doing the same to the same frames, in one run:
# avs2pipemod -y4mp of a 1280x720 clip of 300 frames through
# Levels(16, 1.2, 235, 0, 255, coring=false), against ffmpeg -filter_complex
# with lutyuv computing the same table, both to YUV4MPEG2. The runs
# alternate, five each; the best of each is compared.
# Usage: bench/colour_vs_ffmpeg.sh (BUILD_DIR=... for another build folder).
source "$(dirname "${BASH_SOURCE[0]}")/encoders_common.sh"
require "$TOOLS/avs2pipemod" ffmpeg

make_clip clip 300 1280x720
printf 'AviSource("%s")\nLevels(16, 1.2, 235, 0, 255, coring=false)\n' "$WORK/clip.avi" >"$WORK/levels.avs"
luma="clip(pow(clip((val-16)/219,0,1),1/1.2)*255,0,255)"
chroma="clip((val-128)*255/219+128,0,255)"

ours() { "$TOOLS/avs2pipemod" -y4mp "$WORK/levels.avs" >/dev/null; }
theirs() {
  ffmpeg -v error -nostdin -i "$WORK/clip.avi" -filter_complex "[0:v]lutyuv=y='$luma':u='$chroma':v='$chroma'[v]" \
    -map "[v]" -f yuv4mpegpipe -y /dev/null
}

compare_with_ffmpeg "Levels, 300 frames 1280x720 to y4m"
