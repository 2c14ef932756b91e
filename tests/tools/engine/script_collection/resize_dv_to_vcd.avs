# From AviSynth's documentation of the resizers: "Load a 720x480 (Rec. 601)
# video and resize it to 352x240 (VCD), preserving the correct aspect ratio:
# AviSource("dv.avi").BilinearResize(352, 240, 8, 0, -8, -0)", on a
# generated DV-sized clip. The window leaves 8 columns each side.
# media: dv.avi -v error -f lavfi -i testsrc2=size=720x480:rate=30000/1001:duration=0.3 -c:v ffv1 -pix_fmt yuv420p
# expect: frames=9 size=352x240 fps=30000/1001 audio=none
# video-md5: 45972b5273bf1c73b1dcaba2f4e2de4b
AviSource("dv.avi").BilinearResize(352, 240, 8, 0, -8, -0)
