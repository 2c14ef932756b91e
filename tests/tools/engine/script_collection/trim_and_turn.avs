# After AviSynth's documentation of Trim ("Trim(100, 0) deletes the first 100
# frames", "a negative last frame is a frame count") and of TurnLeft, on a
# generated clip instead of a captured one.
# media: stripes.avi -v error -f lavfi -i testsrc2=size=160x120:rate=25:duration=8 -f lavfi -i sine=frequency=440:sample_rate=48000:duration=8 -c:v ffv1 -c:a pcm_s16le -shortest
# expect: frames=50 size=120x160 fps=25/1 audio=48000/1
# video-md5: 047d741a538a8b05e64201f65b03a5bf
# audio-md5: 624735cc711ee5e23e396ba9ab45f0e5
AviSource("stripes.avi")
Trim(100, 0)
Trim(0, -50)
TurnLeft()
