# After AviSynth's documentation of Animate (Levels animated so that the
# picture fades to black: Animate(0, 50, "Levels", 0, 1, 255, 0, 255,
# 0, 1, 255, 0, 0)) and of Loop (Loop(2, 20, 29) plays frames 20 to 29
# twice), on a generated clip whose sound loops with its frames.
# media: clip.avi -v error -f lavfi -i testsrc2=size=160x120:rate=25:duration=2 -f lavfi -i sine=frequency=330:sample_rate=44100:duration=2 -c:v ffv1 -pix_fmt yuv420p -c:a pcm_s16le -shortest
# expect: frames=60 size=160x120 fps=25/1 audio=44100/1
# video-md5: 276dd145aea49a4a2709d6b6d403e2d2
# audio-md5: ac83ef037bc9f5546a3ec4abdea1bb6d
AviSource("clip.avi")
Animate(0, 50, "Levels", 0, 1.0, 255, 0, 255, 0, 1.0, 255, 0, 0)
Loop(2, 20, 29)
