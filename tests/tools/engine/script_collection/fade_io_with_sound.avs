# After AviSynth's documentation of the fades: FadeIO fades the picture in
# from and out to a colour and the sound in from and out to silence, with
# one frame of the colour added at each end; here over half a second to
# dark blue, on a generated clip with a tone.
# media: clip.avi -v error -f lavfi -i testsrc2=size=160x120:rate=25:duration=2 -f lavfi -i sine=frequency=440:sample_rate=48000:duration=2 -c:v ffv1 -pix_fmt yuv420p -c:a pcm_s16le -shortest
# expect: frames=52 size=160x120 fps=25/1 audio=48000/1
# video-md5: 9b5f8547b7402503f14ebcaa2bba1801
# audio-md5: 0fba59767ce9daf2744d9dfce05da47d
AviSource("clip.avi")
FadeIO(12, color=$000040)
