# From AviSynth's documentation of Bob: "To strictly preserve the original
# fields and just fill in the missing lines: Bob(0.0, 1.0) preserves the
# original fields for RGB and YUV422", on a generated interlaced YV16 clip:
# each field becomes a frame at twice the rate.
# media: interlaced.avi -v error -f lavfi -i testsrc2=size=160x120:rate=50:duration=1 -vf tinterlace=mode=interleave_top -c:v ffv1 -pix_fmt yuv422p
# expect: frames=50 size=160x120 fps=50/1 audio=none
# video-md5: 4c2a44bca9cb8e5a08fc7af18cc2ca08
AviSource("interlaced.avi")
AssumeTFF()
Bob(0.0, 1.0)
