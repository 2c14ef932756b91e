# After AviSynth's documentation of SwapUV, UToY, VToY and YToUV: "Blurs the
# U chroma channel" (the U plane taken out as a picture with UToY, blurred,
# and put back with VToY's plane by YToUV, the luma merged back with
# MergeLuma), on a clip of ColorBars as the example has it; SwapUV and
# UToY8 besides, the U plane shown small in a corner.
# expect: frames=30 size=512x512 fps=30000/1001 audio=48000/2
# video-md5: a1fce3de8e3b4060d9f01bb1bcb30ad6
# audio-md5: f3d0848b67fb65e6f1d6758994a16fc8
video = ColorBars(512, 512).ConvertToYV12().Trim(0, 29)
u_chroma = UToY(video).Blur(1.5)
YToUV(u_chroma, video.VToY())
MergeLuma(video)
corner = video.SwapUV().UToY8().ConvertToYV12()
Overlay(Last, corner, x=Width - corner.Width, y=Height - corner.Height)
