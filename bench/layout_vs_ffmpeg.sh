#!/bin/bash
# Overlay and StackHorizontal against ffmpeg doing the same to the same
# frames, in one run: avs2pipemod -y4mp of 1280x720 clips of 300 frames,
# against ffmpeg -filter_complex with overlay and hstack, both to YUV4MPEG2.
# Overlay puts a 640x360 clip at 600,300 (partly past the edge, opaque,
# without a mask: the same pixels as ffmpeg's overlay); the stack puts two
# 1280x720 clips side by side. The runs alternate, five each; the best of
# each is compared.
# Usage: bench/layout_vs_ffmpeg.sh (BUILD_DIR=... for another build folder).
source "$(dirname "${BASH_SOURCE[0]}")/encoders_common.sh"
require "$TOOLS/avs2pipemod" ffmpeg

make_clip base 300 1280x720
make_clip top 300 640x360
printf 'Overlay(AviSource("%s"), AviSource("%s"), 600, 300)\n' "$WORK/base.avi" "$WORK/top.avi" >"$WORK/overlay.avs"
printf 'a = AviSource("%s")\nStackHorizontal(a, a.FlipVertical())\n' "$WORK/base.avi" >"$WORK/stack.avs"

ours() { "$TOOLS/avs2pipemod" -y4mp "$WORK/overlay.avs" >/dev/null; }
theirs() {
  ffmpeg -v error -nostdin -i "$WORK/base.avi" -i "$WORK/top.avi" \
    -filter_complex "[0:v][1:v]overlay=x=600:y=300:format=yuv420[v]" -map "[v]" -f yuv4mpegpipe -y /dev/null
}
compare_with_ffmpeg "Overlay, 300 frames 1280x720 to y4m"

ours() { "$TOOLS/avs2pipemod" -y4mp "$WORK/stack.avs" >/dev/null; }
theirs() {
  ffmpeg -v error -nostdin -i "$WORK/base.avi" \
    -filter_complex "[0:v]split[a][b];[b]vflip[f];[a][f]hstack[v]" -map "[v]" -f yuv4mpegpipe -y /dev/null
}
compare_with_ffmpeg "StackHorizontal, 300 frames 2x1280x720 to y4m"
