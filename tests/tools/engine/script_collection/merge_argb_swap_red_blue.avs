# After AviSynth's documentation of MergeARGB and MergeRGB: "This will swap
# the red and blue channels and load the alpha from a second video source"
# (MergeARGB with ShowBlue("YV12") and ShowRed("YV12"), the sound dubbed
# back from the first clip), and "This will only blur the Green channel"
# (MergeRGB(Last, Blur(0.5), Last)); generated clips instead of captured
# ones. The alpha shows where the picture is laid over grey.
# media: main.avi -v error -f lavfi -i testsrc2=size=320x240:rate=25:duration=1 -f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 -c:v rawvideo -pix_fmt bgra -c:a pcm_s16le -shortest
# media: alpha.avi -v error -f lavfi -i mandelbrot=size=320x240:rate=25 -frames:v 25 -c:v ffv1 -pix_fmt yuv420p
# expect: frames=25 size=320x240 fps=25/1 audio=44100/1
# video-md5: 643f4de441a17215225221abcbd90468
# audio-md5: caf1f3af3476501ad10f99ae2c67847e
vid1 = AviSource("main.avi")
vid2 = AviSource("alpha.avi")
MergeARGB(vid2, vid1.ShowBlue("YV12"), vid1, vid1.ShowRed("YV12"))
AudioDub(vid1)
Layer(BlankClip(Last, color=$808080), Last)
MergeRGB(Last, Blur(0.5), Last)
ConvertToYV12()
