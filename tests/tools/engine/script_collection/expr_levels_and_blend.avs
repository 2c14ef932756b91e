# After AviSynth+'s documentation of Expr: expressions in reverse Polish
# notation on each plane, x standing for the first clip's sample and y for
# the second's: the luma stretched from 16-235 to full range and the chroma
# copied (an empty expression), the mean of two clips, a chequer of the
# sample coordinates sx and sy, and a luma made from a pixel's neighbours
# with x[dx,dy]; Limiter brings it back to the studio range. Generated clips
# instead of captured ones.
# media: a.avi -v error -f lavfi -i testsrc2=size=320x240:rate=25:duration=1 -c:v ffv1 -pix_fmt yuv420p
# media: b.avi -v error -f lavfi -i mandelbrot=size=320x240:rate=25 -frames:v 25 -c:v ffv1 -pix_fmt yuv420p
# expect: frames=25 size=320x240 fps=25/1 audio=none
# video-md5: 661a97c364138343c0c2a4b65a050290
a = AviSource("a.avi")
b = AviSource("b.avi")
stretched = Expr(a, "x 16 - 255 * 219 /", "")
mean = Expr(stretched, b, "x y + 2 /", "x y + 2 /")
chequer = Expr(mean, "sx 16 / floor sy 16 / floor + 2 % 0 = x 255 x - ?", "")
Expr(chequer, "x[-1,0] x[1,0] + x[0,-1] + x[0,1] + 4 /", "", "")
Limiter()
