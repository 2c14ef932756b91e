# From gabest11/lexx-ivtc, S01(Alliance)/D04/title_t00.avs: a DVD title served
# from its DGIndex project with DGDecode's deblocking (cpu=4, which changes
# nothing here), on an interlaced MPEG-2 stream made here and a project
# listing it under the title's name.
# media: title_t00.m2v -v error -f lavfi -i testsrc2=size=160x120:rate=50 -vf tinterlace=mode=interleave_top -frames:v 25 -c:v mpeg2video -flags +ildct+ilme -top 1 -q:v 3 -f mpeg2video
# file: title_t00.d2v
# expect: frames=25 size=160x120 fps=25/1 audio=none
# video-md5: 276f1417ca61ca8857f5e4f11ca65466
d2vpath="title_t00.d2v"
MPEG2Source(d2vpath,cpu=4)
#Letterbox(0,0,2,2)
