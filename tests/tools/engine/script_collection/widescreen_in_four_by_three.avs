# After AviSynth's documentation of Letterbox and AddBorders: a widescreen
# picture whose unclean top and bottom lines are blacked out, then framed in
# a 4:3 picture with black bars (the usual way of making 16:9 material fit
# a 4:3 target); a generated clip instead of a captured one.
# media: wide.avi -v error -f lavfi -i testsrc2=size=320x180:rate=25:duration=2 -f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 -c:v ffv1 -pix_fmt yuv420p -c:a pcm_s16le -shortest
# expect: frames=50 size=320x240 fps=25/1 audio=44100/1
# video-md5: 69fdcd81bc88bd9e61154b837a791e64
# audio-md5: de1a07bc9f7e9c7a10fb75744a54e8ad
AviSource("wide.avi")
Letterbox(4, 4, 2, 2)
AddBorders(0, 30, 0, 30)
