# From pinterf/TIVTC, examples/TIVTC - Common Usage Examples.txt, "1.) PAL,
# no decimation (just field matching)", on an interlaced PAL MPEG-2 stream
# made here and its DGIndex project ("c:\oursource.d2v" in the original).
# media: palsource.m2v -v error -f lavfi -i testsrc2=size=160x120:rate=50 -vf tinterlace=mode=interleave_top -frames:v 25 -c:v mpeg2video -flags +ildct+ilme -top 1 -q:v 3 -f mpeg2video
# file: palsource.d2v
# expect: frames=25 size=160x120 fps=25/1 audio=none
# video-md5: fdf3a9d10328d912c99e869937bbbc05
mpeg2source("palsource.d2v")
tfm(d2v="palsource.d2v")
