# After AviSynth's documentation of Compare: "Basic usage – display
# differences on screen" (a clip resized and cropped, the same sharpened as
# the filter under test, Compare(B, A)), after the same measured on the
# chroma alone and written to a log file instead (Compare(clip1, clip2,
# "UV", ...)), which passes the filtered clip on; a generated clip instead
# of a captured film.
# media: film.avi -v error -f lavfi -i testsrc2=size=1024x436:rate=24:duration=1 -c:v ffv1 -pix_fmt yuv420p
# expect: frames=24 size=480x272 fps=24/1 audio=none
# video-md5: 4eb661af38b64cb83ddb1b79366a60b1
AviSource("film.avi")
A = BicubicResize(640, 272).Crop(80, 0, -80, 0)
B = A.Sharpen(1.0)
Compare(B, A, "UV", "compare.log")
Compare(Last, A)
