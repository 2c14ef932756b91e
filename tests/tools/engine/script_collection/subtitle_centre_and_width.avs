# After AviSynth's documentation of Subtitle: "Center text" with align=5, and
# "Use String() to display values of functions", on a generated clip instead
# of a captured one.
# media: clip.avi -v error -f lavfi -i testsrc2=size=320x240:rate=25:duration=1 -c:v ffv1 -pix_fmt yuv420p
# expect: frames=25 size=320x240 fps=25/1 audio=none
# video-md5: 1a5f7f9101f383c7334705afabffb4aa
AviSource("clip.avi")
Subtitle("Hello world!", align=5)
Subtitle("Width=" + String(Width()), align=2)
