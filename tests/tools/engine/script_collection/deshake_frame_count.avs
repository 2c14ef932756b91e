# From jmrnilsson/ps-avisynth-deshake, deshake.template.framecount.avs: the
# first step of a stabilising batch, which opens a camera's clip with its
# sound through FFmpegSource, turns it into RGB32 by the full-range BT.709
# matrix for the stabiliser and writes the frame count to a text file for
# the passes that follow. The batch puts the clip's and the text file's names
# for "{0}" and "{1}"; here they are a QuickTime clip with PCM sound made
# here and a file beside it. The last line is added: the frames are piped as
# YUV4MPEG2, which carries no RGB32, so they come back through the same
# matrix. Frame 7 is the clip's frame 7; the sound is the clip's, sample for
# sample, and the text file holds "15" for each frame read.
# media: holiday.mov -v error -f lavfi -i testsrc2=size=160x90:rate=30000/1001 -f lavfi -i sine=frequency=660:sample_rate=44100 -t 0.5 -c:v libx264 -preset ultrafast -qp 0 -pix_fmt yuv420p -c:a pcm_s16le -ac 2
# expect: frames=15 size=160x90 fps=30000/1001 audio=44100/2
# video-md5: 4b9f55a17cf7a07067c8ace88d686bff
# audio-md5: 7f8888bf246f72111f4b08ca9344137e
A1 = FFAudioSource("holiday.mov")
V1 = FFVideoSource("holiday.mov")
AudioDub(V1, A1).ConvertToRGB32(matrix="PC.709")
# Trim(3000, 3750)
WriteFile("holiday.framecount.txt", "FrameCount")
ConvertToYV12(matrix="PC.709")
