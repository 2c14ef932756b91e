#!/bin/bash
# ChangeFPS, FadeIn and ConvertFPS against ffmpeg doing the same or like
# work to the same frames, in one run: avs2pipemod -y4mp of a 1280x720 clip
# of 300 frames at 25 fps through ChangeFPS(30) (frames repeated, the same
# as ffmpeg's fps filter rounding times up), through FadeIn(50) (one frame
# of black added, then 50 frames fading in, the same as tpad and fade over
# 51 frames) and through ConvertFPS(30) in its blend mode and in its switch
# mode (zone=80), both against ffmpeg's framerate filter blending the two
# frames around each new one; ffmpeg runs -filter_complex with those
# filters, all to YUV4MPEG2. The runs alternate, five each; the best of
# each is compared. The clip read and written unchanged comes first, for
# the share of the time the filters do not account for.
# Usage: bench/time_vs_ffmpeg.sh (BUILD_DIR=... for another build folder).
source "$(dirname "${BASH_SOURCE[0]}")/encoders_common.sh"
require "$TOOLS/avs2pipemod" ffmpeg

make_clip clip 300 1280x720
printf 'AviSource("%s")\n' "$WORK/clip.avi" >"$WORK/plain.avs"
printf 'AviSource("%s")\nChangeFPS(30)\n' "$WORK/clip.avi" >"$WORK/changefps.avs"
printf 'AviSource("%s")\nFadeIn(50)\n' "$WORK/clip.avi" >"$WORK/fadein.avs"
printf 'AviSource("%s")\nConvertFPS(30)\n' "$WORK/clip.avi" >"$WORK/blend.avs"
printf 'AviSource("%s")\nConvertFPS(30, zone=80)\n' "$WORK/clip.avi" >"$WORK/switch.avs"

ours() { "$TOOLS/avs2pipemod" -y4mp "$WORK/plain.avs" >/dev/null; }
theirs() { ffmpeg -v error -nostdin -i "$WORK/clip.avi" -map 0:v -f yuv4mpegpipe -y /dev/null; }
compare_with_ffmpeg "AviSource alone, 300 frames 1280x720 to y4m"

ours() { "$TOOLS/avs2pipemod" -y4mp "$WORK/changefps.avs" >/dev/null; }
theirs() {
  ffmpeg -v error -nostdin -i "$WORK/clip.avi" -filter_complex "[0:v]fps=fps=30:round=up[v]" \
    -map "[v]" -f yuv4mpegpipe -y /dev/null
}
compare_with_ffmpeg "ChangeFPS(30), 300 frames 1280x720 at 25 fps to y4m"

ours() { "$TOOLS/avs2pipemod" -y4mp "$WORK/fadein.avs" >/dev/null; }
theirs() {
  ffmpeg -v error -nostdin -i "$WORK/clip.avi" -filter_complex "[0:v]tpad=start=1,fade=t=in:s=0:n=51[v]" \
    -map "[v]" -f yuv4mpegpipe -y /dev/null
}
compare_with_ffmpeg "FadeIn(50), 300 frames 1280x720 to y4m"

theirs() {
  ffmpeg -v error -nostdin -i "$WORK/clip.avi" -filter_complex "[0:v]framerate=fps=30[v]" \
    -map "[v]" -f yuv4mpegpipe -y /dev/null
}
ours() { "$TOOLS/avs2pipemod" -y4mp "$WORK/blend.avs" >/dev/null; }
compare_with_ffmpeg "ConvertFPS(30) blending, 300 frames 1280x720 at 25 fps to y4m"

ours() { "$TOOLS/avs2pipemod" -y4mp "$WORK/switch.avs" >/dev/null; }
compare_with_ffmpeg "ConvertFPS(30, zone=80) switching, 300 frames 1280x720 at 25 fps to y4m"
