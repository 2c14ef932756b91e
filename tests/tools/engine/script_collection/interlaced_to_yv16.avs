# After AviSynth's documentation of the conversions: for interlaced YV12,
# "SeparateFields(clip) ConvertToYV16 Weave ... is upsampled incorrectly.
# Instead it is better to use: ConvertToYV16(clip, interlaced=true)", on a
# generated interlaced clip (two moving pictures woven into fields).
# media: interlaced.avi -v error -f lavfi -i testsrc2=size=160x120:rate=50:duration=1 -vf tinterlace=mode=interleave_top -c:v ffv1 -pix_fmt yuv420p
# expect: frames=25 size=160x120 fps=25/1 audio=none
# video-md5: eda3fc2d379054dca81c4414db4c4b3e
AviSource("interlaced.avi")
AssumeTFF()
ConvertToYV16(interlaced=true)
