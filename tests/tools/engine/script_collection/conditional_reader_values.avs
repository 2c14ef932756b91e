# After AviSynth's documentation of ConditionalReader: a file of per-frame
# values (a type, a default, single frames, "R" ranges and "I" ranges
# interpolated) read into a variable that ScriptClip placed before it sees,
# here the gamma of Levels and the value written on the frame, as the
# documentation's Subtitle(String(myvar)) example shows it; and
# ConditionalSelect's choice among three versions by an expression of the
# frame number. Generated media instead of captured.
# media: clip.avi -v error -f lavfi -i testsrc2=size=320x240:rate=25:duration=2 -c:v ffv1 -pix_fmt yuv420p
# file: gamma.txt
# expect: frames=50 size=320x240 fps=25/1 audio=none
# video-md5: 5ddea79cd1807154e92b0965a2a06e70
AviSource("clip.avi")
ScriptClip("""Levels(0, myvar, 255, 0, 255).Subtitle("gamma " + String(myvar, "%.2f"), align=2)""")
ConditionalReader("gamma.txt", "myvar", false)
ConditionalSelect(Last, "current_frame / 10 % 3", Last, Last.Invert(), Last.FlipHorizontal())
