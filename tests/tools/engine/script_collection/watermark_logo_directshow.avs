# From SkyKOG/AviSynth-Scripts, "Reshu Watermark.avs": a phone's birthday
# clip read by DirectShowSource at 25 frames a second without its sound,
# resized to 720p, with a PNG logo laid in the bottom right corner through
# its own alpha at 65% opacity. The clip and the logo (half of it opaque,
# half translucent) are made here; their paths ("G:\Pendrive Backp\...\
# VID_00000007.mp4" and "k:\logo1.png") are the files beside the script.
# The frames are within 58 dB of ffmpeg's lanczos scale and overlay of the
# logo at 0.65 of its alpha; frame 5 shows the logo's opaque half darker
# than its translucent half over the picture.
# media: VID_00000007.mp4 -v error -f lavfi -i testsrc2=size=320x180:rate=25 -frames:v 10 -c:v libx264 -preset ultrafast -qp 0 -pix_fmt yuv420p
# media: logo1.png -v error -f lavfi -i "color=c=red:size=120x40,format=rgba,geq=r='255':g='64*(X/30)':b='0':a='if(lt(X,60),255,128)'" -frames:v 1
# expect: frames=10 size=1280x720 fps=25/1 audio=none
# video-md5: 39fb1ce657a4ba8fad41fc0cf8e4cc74
DirectShowSource("VID_00000007.mp4", fps=25.000, audio=false, convertfps=true)
#deinterlace
#crop
LanczosResize(1280,720) # Lanczos (Sharp)
#denoise


img=ImageSource("logo1.png", pixel_type="RGB32")
Overlay(img, x=1150, y=670, mask=img.showAlpha(), opacity=0.65)
