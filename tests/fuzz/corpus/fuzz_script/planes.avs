c = BlankClip(length=3, width=32, height=24, pixel_type="YV12", color=color_navy)
m = MergeRGB(c.ShowY("Y8"), c.ConvertToRGB32().ShowGreen(), c.UToY().PointResize(32, 24))
Expr(c, c.SwapUV().Subtract(c), "x y + 2 / x[1,-1] max", "x dup * 255 /", "sx sxr frameno + * 200 min")
MergeChroma(YToUV(UToY8(), VToY8(), last), 0.25).Merge(m.ConvertToYV12())
