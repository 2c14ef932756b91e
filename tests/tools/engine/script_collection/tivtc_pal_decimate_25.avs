# From pinterf/TIVTC, examples/TIVTC - Common Usage Examples.txt, "2.) PAL,
# decimate 1 in 25 (most similar)", on an interlaced PAL MPEG-2 stream made
# here and its DGIndex project ("c:\oursource.d2v" in the original).
# media: palsource.m2v -v error -f lavfi -i testsrc2=size=160x120:rate=50 -vf tinterlace=mode=interleave_top -frames:v 25 -c:v mpeg2video -flags +ildct+ilme -top 1 -q:v 3 -f mpeg2video
# file: palsource.d2v
# expect: frames=24 size=160x120 fps=24/1 audio=none
# video-md5: 541cfc6cd526d718adbcce0e171d09c5
mpeg2source("palsource.d2v")
tfm(d2v="palsource.d2v")
tdecimate(cycle=25)
