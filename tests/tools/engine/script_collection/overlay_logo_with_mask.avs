# After AviSynth's documentation of Overlay: a small picture put in a corner
# of the video through a mask that keeps only its inner part, at partial
# opacity, and a second one added to the video by Layer through Mask's
# alpha; generated clips instead of captured ones.
# media: scene.avi -v error -f lavfi -i testsrc2=size=320x240:rate=25:duration=2 -f lavfi -i sine=frequency=330:sample_rate=48000:duration=2 -c:v ffv1 -pix_fmt yuv420p -c:a pcm_s16le -shortest
# expect: frames=50 size=320x240 fps=25/1 audio=48000/1
# video-md5: 53058b5a67f9d1ea381ad77d4e72f6cb
# audio-md5: 7492b17b92902fc66682a63f3e8a4f0b
base = AviSource("scene.avi")
logo = BlankClip(length=50, width=80, height=40, pixel_type="YV12", fps=25, color=$FFA000)
mask = BlankClip(length=50, width=80, height=40, pixel_type="YV12", fps=25, color=$FFFFFF).Letterbox(8, 8, 8, 8)
Overlay(base, logo, x=base.Width - 90, y=10, mask=mask, opacity=0.6)
rgb = ConvertToRGB32()
badge = BlankClip(length=50, width=64, height=32, pixel_type="RGB32", fps=25, color=$2060FF)
grey = BlankClip(length=50, width=64, height=32, pixel_type="RGB32", fps=25, color=$808080)
Layer(rgb, badge.Mask(grey), "add", x=12, y=rgb.Height - 44)
ConvertToYV12()
