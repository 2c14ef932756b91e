# After AviSynth+'s documentation of CombinePlanes: its example that
# combines greyscale clips (ConvertToY, UToY8, VToY8 and AddAlphaPlane(128)
# .AToY8) into a YUVA clip in the type of a sample clip, and its copy of
# planar RGB's planes into YUV and back "without any conversion". Both round
# trips give the source again: the frames are those of ConvertToPlanarRGB
# and ConvertToYV12 alone. Generated media instead of captured.
# media: clip.avi -v error -f lavfi -i testsrc2=size=320x240:rate=25:duration=1 -c:v ffv1 -pix_fmt yuv420p
# expect: frames=25 size=320x240 fps=25/1 audio=none
# video-md5: 4c6c715f5b8797d5f73d678f0eb5b6c4
source = AviSource("clip.avi")
U8 = source.UToY8()
V8 = source.VToY8()
Y8 = source.ConvertToY()
A8 = source.AddAlphaPlane(128).AToY8()
yuva = CombinePlanes(Y8, U8, V8, A8, planes="YUVA", source_planes="YYYY", sample_clip=source.AddAlphaPlane())
rgb = yuva.RemoveAlphaPlane().ConvertToPlanarRGB()
asYuv = CombinePlanes(rgb, planes="YUV", source_planes="RGB", pixel_type="YUV444P8")
CombinePlanes(asYuv, planes="RGB", source_planes="YUV", pixel_type="RGBP8")
ConvertToYV12()
