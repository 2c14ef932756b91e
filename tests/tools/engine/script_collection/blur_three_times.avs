# From AviSynth's documentation of Blur: "If you need a larger radius
# Gaussian blur, try ... chaining several Blurs together:
# Blur(1.0).Blur(1.0).Blur(1.0)", on generated pictures.
# media: picture.avi -v error -f lavfi -i testsrc2=size=160x120:rate=25:duration=0.4 -c:v ffv1 -pix_fmt yuv420p
# expect: frames=10 size=160x120 fps=25/1 audio=none
# video-md5: 913921ea5024def1c2e18a5c072d12eb
AviSource("picture.avi")
Blur(1.0).Blur(1.0).Blur(1.0)
