# After AviSynth's documentation of SelectEvery: a 24 fps progressive clip
# given 3:2 pulldown by separating its fields and picking them in the
# NTSC film pattern, SelectEvery(8, 0,1, 2,3,2, 5,4, 7,6,7), then weaving
# them again: 30 interlaced frames for every 24, on a generated clip.
# media: film.avi -v error -f lavfi -i testsrc2=size=160x120:rate=24:duration=1 -c:v ffv1 -pix_fmt yuv420p
# expect: frames=30 size=160x120 fps=30/1 audio=none
# video-md5: 8de367da8082d66d5ac9e8f8ce835567
AviSource("film.avi")
AssumeFrameBased()
SeparateFields()
SelectEvery(8, 0, 1, 2, 3, 2, 5, 4, 7, 6, 7)
Weave()
