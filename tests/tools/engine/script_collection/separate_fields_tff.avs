# After AviSynth's documentation of AssumeTFF: "AviSource("test.avi")
# AssumeTFF() SeparateFields() will always return the top field of the first
# frame followed by the bottom field of the first frame and so on", on a
# generated clip with sound: twice the frames at twice the rate, half the
# height, the same sound.
# media: test.avi -v error -f lavfi -i testsrc2=size=160x120:rate=25:duration=2 -f lavfi -i sine=frequency=330:sample_rate=44100:duration=2 -c:v ffv1 -pix_fmt yuv420p -c:a pcm_s16le -shortest
# expect: frames=100 size=160x60 fps=50/1 audio=44100/1
# video-md5: f3913c45f36a97edfc6c6fc8d52ceeeb
# audio-md5: 6fa3e62cd9b28112e58b3acc848609db
AviSource("test.avi")
AssumeTFF()
SeparateFields()
