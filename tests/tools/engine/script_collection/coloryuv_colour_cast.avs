# From AviSynth's documentation of ColorYUV: "Adjusting off_u and off_v to
# remove color cast (reduce yellow and magenta tints): ImageSource("Lenna.png")
# BicubicResize(Width/2, Height/2) ColorYUV(off_u=+6, off_v=-23)", on a
# generated picture instead of Lenna, without the Histogram that shows it.
# media: picture.avi -v error -f lavfi -i testsrc2=size=256x256:rate=25:duration=0.2 -c:v ffv1 -pix_fmt yuv420p
# expect: frames=5 size=128x128 fps=25/1 audio=none
# video-md5: e65530e2a64dba038796e6876c234f45
AviSource("picture.avi")
BicubicResize(Width/2, Height/2)
ColorYUV(off_u=+6, off_v=-23)
