# From Lee-7723/Video-Encoding, readfile.avs: one clip of a Blu-ray's BDAV
# transport stream read by LWLibavVideoSource in 8-bit 4:2:0, the reference
# of its author's SSIM comparisons of encodes. The clip is an H.264 stream in
# a 192-byte-packet M2TS made here at 23.976 frames a second; its path
# ("E:\SSIM_test\clips\00910.m2ts") is the file beside the script. Every
# frame is the one ffmpeg decodes from the stream.
# media: 00910.m2ts -v error -f lavfi -i testsrc2=size=320x180:rate=24000/1001 -frames:v 12 -c:v libx264 -preset fast -qp 0 -pix_fmt yuv420p -f mpegts -mpegts_m2ts_mode 1
# expect: frames=12 size=320x180 fps=24000/1001 audio=none
# video-md5: 223bd22aa987149a8d7f438826815a53
LWLibavVideoSource("00910.m2ts", format="YUV420P8")
