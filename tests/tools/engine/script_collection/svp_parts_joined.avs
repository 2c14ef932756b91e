# From Daniel2022/my-avisynth-script-for-SVP, mix.avs: the five parts of an
# opening, each frame-interpolated by SVP with settings of its own, joined
# again in order. The parts are made here as H.264 MP4 files of five hues and
# lengths at the interpolated rate; the Chinese heading says "join the videos".
# The frames are those of ffmpeg's concat of the five files.
# media: NCOP_SVP_mixmode_test1.mp4 -v error -f lavfi -i testsrc2=size=160x90:rate=60000/1001 -vf hue=h=0 -frames:v 7 -c:v libx264 -preset ultrafast -qp 0 -pix_fmt yuv420p
# media: NCOP_SVP_mixmode_test2.mp4 -v error -f lavfi -i testsrc2=size=160x90:rate=60000/1001 -vf hue=h=72 -frames:v 5 -c:v libx264 -preset ultrafast -qp 0 -pix_fmt yuv420p
# media: NCOP_SVP_mixmode_test3.mp4 -v error -f lavfi -i testsrc2=size=160x90:rate=60000/1001 -vf hue=h=144 -frames:v 9 -c:v libx264 -preset ultrafast -qp 0 -pix_fmt yuv420p
# media: NCOP_SVP_mixmode_test4.mp4 -v error -f lavfi -i testsrc2=size=160x90:rate=60000/1001 -vf hue=h=216 -frames:v 4 -c:v libx264 -preset ultrafast -qp 0 -pix_fmt yuv420p
# media: NCOP_SVP_mixmode_test5.mp4 -v error -f lavfi -i testsrc2=size=160x90:rate=60000/1001 -vf hue=h=288 -frames:v 6 -c:v libx264 -preset ultrafast -qp 0 -pix_fmt yuv420p
# expect: frames=31 size=160x90 fps=60000/1001 audio=none
# video-md5: d4279beffba878bf1bd8aeb1943a94f4
#合并视频

v1 = LWLibavVideoSource("NCOP_SVP_mixmode_test1.mp4")
v2 = LWLibavVideoSource("NCOP_SVP_mixmode_test2.mp4")
v3 = LWLibavVideoSource("NCOP_SVP_mixmode_test3.mp4")
v4 = LWLibavVideoSource("NCOP_SVP_mixmode_test4.mp4")
v5 = LWLibavVideoSource("NCOP_SVP_mixmode_test5.mp4")
#ConvertToYV12()

v1+v2+v3+v4+v5

#rate1 = 48000.0/1001.0
#v1.Trim(0,23).AssumeFPS(rate1).ChangeFPS(60000.0/1001.0)
