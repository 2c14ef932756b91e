c = BlankClip(length=5, width=32, height=24, pixel_type="RGB32")
StackHorizontal(c, c.Crop(2, 2, -2, -2).BilinearResize(32, 24))
ConvertToYV12().ResampleAudio(22050)
