#!/bin/bash
# Each plugin counterpart against ffmpeg running the libavfilter filter that
# computes it, on the same frames, in one run: avs2pipemod -y4mp of a
# 720x480 clip of 150 frames through the function, against ffmpeg
# -filter_complex with the filter, both to YUV4MPEG2. The runs alternate,
# five each; the best of each is compared.
# Usage: bench/plugins_vs_ffmpeg.sh [NAME...] (BUILD_DIR=... for another
# build folder); NAMEs pick cases by the start of their labels.
source "$(dirname "${BASH_SOURCE[0]}")/encoders_common.sh"
require "$TOOLS/avs2pipemod" ffmpeg

make_clip clip 150 720x480
# 3:2 pulldown of a 23.976 fps clip, top field first.
ffmpeg -v error -nostdin -y -f lavfi -i "testsrc2=size=720x480:rate=24000/1001,noise=alls=6:allf=t" \
  -vf telecine=first_field=top:pattern=23 -frames:v 150 -pix_fmt yuv420p -c:v rawvideo "$WORK/telecined.avi"
# The same pictures as MPEG-2 and a DGIndex project of them.
ffmpeg -v error -nostdin -y -i "$WORK/clip.avi" -c:v mpeg2video -q:v 3 -f mpeg2video "$WORK/clip.m2v"
{
  printf 'DGIndexProjectFile16\n1\n%s\n\nStream_Type=0\nField_Operation=2\nFrame_Rate=25000 (25/1)\n\n' "$WORK/clip.m2v"
  printf '900 5 0 0 0 0 0'; for _ in $(seq 150); do printf ' d2'; done; printf ' ff\n'
} >"$WORK/clip.d2v"
# Subtitles over the whole clip.
printf '1\n00:00:00,000 --> 00:00:03,000\nA line of subtitles\n\n2\n00:00:03,000 --> 00:00:06,000\nAnd <i>another</i> one\n' \
  >"$WORK/subs.srt"

# case LABEL SOURCE SCRIPT-LINE FILTER-GRAPH: the script's line after the
# source against the graph on [0:v] of the source (MPEG2Source: the project's
# stream decoded by ffmpeg).
# An empty SOURCE: the line is the whole script.
case_of() {
  local label=$1 source=$2 line=$3 graph=$4
  if [ ${#PICKED[@]} -gt 0 ] && ! picked "$label"; then return; fi
  if [ -n "$source" ]; then printf 'AviSource("%s")\n%s\n' "$WORK/$source" "$line"; else printf '%s\n' "$line"; fi >"$WORK/case.avs"
  ours() { "$TOOLS/avs2pipemod" -y4mp "$WORK/case.avs" >/dev/null; }
  theirs() {
    ffmpeg -v error -nostdin -i "$WORK/${source:-clip.m2v}" -filter_complex "[0:v]$graph[v]" -map "[v]" -fps_mode passthrough \
      -f yuv4mpegpipe -y /dev/null
  }
  compare_with_ffmpeg "$label, 150 frames 720x480 to y4m"
}
PICKED=("$@")
picked() { for name in "${PICKED[@]}"; do [[ $1 == "$name"* ]] && return 0; done; return 1; }

case_of "TFM+TDecimate" telecined.avi "AssumeTFF().TFM().TDecimate()" \
  "fieldmatch=order=tff:combdbg=pcn,yadif=deint=interlaced:parity=tff,decimate"
case_of "Yadif" clip.avi "AssumeTFF().Yadif()" "yadif=parity=tff"
case_of "yadifmod2 double rate" clip.avi "AssumeTFF().yadifmod2(mode=1)" "yadif=mode=1:parity=tff"
case_of "BWDIF" clip.avi "AssumeTFF().BWDIF()" "bwdif=parity=tff"
case_of "RemoveGrain" clip.avi "RemoveGrain(11)" "removegrain=m0=11:m1=11:m2=11"
case_of "TemporalMedian" clip.avi "TemporalMedian(2)" \
  "tpad=start=2:stop=2:start_mode=clone:stop_mode=clone,tmedian=radius=2"
case_of "Median" clip.avi "Median(last, last, last)" "split=3[a][b][c];[a][b][c]xmedian=inputs=3"
case_of "MedianBlur" clip.avi "MedianBlur(2, 2, 2)" "median=radius=2"
case_of "GaussianBlur" clip.avi "GaussianBlur(4, Y=3, U=3, V=3)" "gblur=sigma=2"
case_of "hqdn3d" clip.avi "hqdn3d()" "hqdn3d"
case_of "CAS" clip.avi "CAS(0.5)" "cas=strength=0.5:planes=1"
case_of "Average" clip.avi "Average(last, 0.5, last, 0.5)" "split[a][b];[a][b]mix=inputs=2:weights=0.5 0.5:scale=1"
case_of "TextSub" clip.avi "TextSub(\"$WORK/subs.srt\")" "subtitles=$WORK/subs.srt:original_size=720x480"
case_of "Clense" clip.avi "Clense()" "tpad=start=1:stop=1:start_mode=clone:stop_mode=clone,tmedian"
case_of "LumaYV12" clip.avi "LumaYV12(lumoff=-10, lumgain=0.9)" "lutyuv=y='clip(val*0.9-9.5,0,255)'"
case_of "MPEG2Source" "" "MPEG2Source(\"$WORK/clip.d2v\")" "null"
