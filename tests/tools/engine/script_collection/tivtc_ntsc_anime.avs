# From pinterf/TIVTC, examples/TIVTC - Common Usage Examples.txt, "2.) NTSC
# Film, anime or cartoon source. One pass.", on a 3:2 telecined MPEG-2
# stream made here and its DGIndex project ("c:\oursource.d2v" in the
# original).
# media: oursource.m2v -v error -f lavfi -i testsrc2=size=160x120:rate=24000/1001 -vf telecine=first_field=top:pattern=23 -frames:v 30 -c:v mpeg2video -flags +ildct+ilme -top 1 -q:v 3 -f mpeg2video
# file: oursource.d2v
# expect: frames=24 size=160x120 fps=24000/1001 audio=none
# video-md5: 3244f23d3d436369713aa9e81d1922e9
mpeg2source("oursource.d2v")
tfm(d2v="oursource.d2v")
tdecimate(mode=1)
