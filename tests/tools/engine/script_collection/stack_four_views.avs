# After AviSynth's documentation of StackHorizontal and StackVertical (clips
# compared side by side, "StackVertical(StackHorizontal(a, b),
# StackHorizontal(c, d))") and of ReduceBy2, which halves each view so the
# four fit the original size; a generated clip instead of a captured one.
# The third view is shorter and holds its last frame to the end.
# media: source.avi -v error -f lavfi -i testsrc2=size=320x240:rate=25:duration=2 -c:v ffv1 -pix_fmt yuv420p
# expect: frames=50 size=320x240 fps=25/1 audio=none
# video-md5: 831cf378ef4b66c3ee456567d9621486
src = AviSource("source.avi")
a = src.ReduceBy2()
b = src.Blur(1.0).HorizontalReduceBy2().VerticalReduceBy2()
c = src.Trim(0, 29).FlipHorizontal().ReduceBy2()
d = src.Levels(0, 1.0, 255, 255, 0).ReduceBy2()
StackVertical(StackHorizontal(a, b), StackHorizontal(c, d))
