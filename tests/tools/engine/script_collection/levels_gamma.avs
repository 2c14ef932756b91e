# After AviSynth's documentation of Levels: "gamma-correct image for display
# in a brighter environment: luma of 16 stays 16, 59 is converted to 79",
# on generated colour bars instead of a captured clip. Levels works on the
# luma stretched from 16..235 (coring) and leaves the chroma as it is.
# media: bars.avi -v error -f lavfi -i smptebars=size=160x120:rate=25:duration=1 -c:v ffv1 -pix_fmt yuv420p
# expect: frames=25 size=160x120 fps=25/1 audio=none
# video-md5: 71c8bdf370ff818a87c11d3b67238c15
AviSource("bars.avi")
Levels(0, 1.3, 255, 0, 255)
