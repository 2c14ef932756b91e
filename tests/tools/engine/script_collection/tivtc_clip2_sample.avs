# From pinterf/TIVTC, examples/clip2_sample_avs.avs: TFM takes the frames that
# stay combed after matching from a clip deinterlaced by Bob (keeping the top
# field), on a 3:2 telecined MPEG-2 stream made here and its DGIndex project
# ("c:\mysource.d2v" in the original).
# media: mysource.m2v -v error -f lavfi -i testsrc2=size=160x120:rate=24000/1001 -vf telecine=first_field=top:pattern=23 -frames:v 30 -c:v mpeg2video -flags +ildct+ilme -top 1 -q:v 3 -f mpeg2video
# file: mysource.d2v
# expect: frames=30 size=160x120 fps=30000/1001 audio=none
# video-md5: 2776481559b63d875e56317cb5161c93
LoadPlugin("c:\avsfilters\dgdecode.dll")
LoadPlugin("c:\avsfilters\tivtc.dll")

d2vpath = "mysource.d2v"

mpeg2source(d2vpath)             #assume tff source
deint = last.bob().selecteven()  #simple cubic deinterlacing (keep top field)
tfm(PP=5,clip2=deint)            #motion masked post-processing since PP > 4
