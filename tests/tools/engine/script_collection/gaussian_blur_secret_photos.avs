# From Lee-7723/Video-Encoding, Blur.avs: a video's parts cut by Trim, a box
# of one part blurred by GaussianBlur (VariableBlur) and laid back by
# Overlay, three other parts blurred whole at their own strengths, the parts
# joined again and the video's ASS subtitles drawn by TextSub at the clip's
# own rate. The video (1280x960 instead of 1080p, as the box must fit) and
# its subtitles are made here, named without the original's spaces, brackets
# and "#" and without its "D:\temp\" folder; the cuts, at frames 9048 to
# 20985 of a long video, are moved to frames 8 to 21 of 24 in the same order.
# Every frame is within 58 dB of ffmpeg's gblur (sigma the root of var),
# crop, overlay and subtitles, the unblurred ones identical; frame 10 shows
# the blurred box under the subtitle, frame 17 the whole picture blurred.
# media: Drumsy_Exposing_Our_Secret_Photos_2-HaOmKMIZ4jQ.mkv -v error -f lavfi -i testsrc2=size=1280x960:rate=30 -frames:v 24 -c:v libx264 -preset ultrafast -qp 0 -pix_fmt yuv420p
# file: Drumsy_Exposing_Our_Secret_Photos_2-HaOmKMIZ4jQ.ass
# expect: frames=24 size=1280x960 fps=30/1 audio=none
# video-md5: d9379c7d01aca0b113582768162d9834
SetMemoryMax(6000)
#SetFilterMTMode("aSharp", 2)
#SetFilterMTMode("LWLibavVideoSource", 2)
#SetFilterMTMode("TextSub", 2)

clip=LWLibavVideoSource("Drumsy_Exposing_Our_Secret_Photos_2-HaOmKMIZ4jQ.mkv", format="YUV420P8")
#DuplicateFrame(1)
a=trim(clip,0,8)
bb=trim(clip,9,11)
c=trim(clip,12,14)
dd1=trim(clip,15,16)
dd2=trim(clip,17,18)
dd3=trim(clip,19,20)
e=trim(clip,21,clip.FrameCount())

b=GaussianBlur(bb,varY=300,varC=300,U=3,V=3)
b=Crop(b,700,434,1190-700,920-434)
b=Overlay(bb,b, 700,435, opacity=1.0, mode="blend", greymask=true, ignore_conditional=false, pc_range=false)

d1=GaussianBlur(dd1,varY=200,varC=200,U=3,V=3)
d2=GaussianBlur(dd2,varY=600,varC=600,U=3,V=3)
d3=GaussianBlur(dd3,varY=200,varC=200,U=3,V=3)
d=d1+d2+d3

clip=a+b+c+d+e
##Resize:
#clip=eedi3_rpow2(clip, rfactor=4)#·Ç³£Âý
#clip=JincResize(clip, 2560,1440,tap=8)#Ã÷ÏÔartifact
#clip=nnedi3_rpow2(clip, rfactor=4, nsize=0, nns=3, qual=1, etype=0, pscrn=2, threads=0, opt=0, fapprox=15)
#clip=Lanczos4Resize(clip, 2560,1440, src_left=0.0, src_top=0.0)

##Sharpen:
#clip=aWarpSharp2(clip, thresh=255, blur=2, type=0, depth=20, chroma=3)
#clip=vsMSharpen(clip, threshold=10,strength=60,chroma=true)
#clip=aSharp(clip, T=4.0, D=4.0, B=-1.0, hqbf=false)#for 4k
#clip=aSharp(clip, T=0.2, D=4.0, B=-1.0, hqbf=false)#for 1080P

clip=TextSub(clip, file="Drumsy_Exposing_Our_Secret_Photos_2-HaOmKMIZ4jQ.ass",  fps=clip.FrameRate())
clip

Prefetch(clip,4)
