# From jeeb/avisynth, distrib/docs/english/source/avisynthdoc/externalfilters/
# dgdecode.rst, "Usage Examples": "To do plain YV12 decoding". The pictures as
# they are. On an interlaced MPEG-2 stream made here and its DGIndex project.
# media: project.m2v -v error -f lavfi -i testsrc2=size=160x120:rate=50 -vf tinterlace=mode=interleave_top -frames:v 25 -c:v mpeg2video -flags +ildct+ilme -top 1 -q:v 3 -f mpeg2video
# file: project.d2v
# expect: frames=25 size=160x120 fps=25/1 audio=none
# video-md5: 276f1417ca61ca8857f5e4f11ca65466
MPEG2Source("project.d2v")
