# After AviSynth's documentation of GetChannel and MergeChannels (the left
# and right channels taken apart and put back, here swapped), on a
# generated sound.
# media: video.avi -v error -f lavfi -i testsrc2=size=96x64:rate=25:duration=2 -c:v ffv1
# media: sound.wav -v error -f lavfi -i aevalsrc=0.4*sin(2*PI*300*t)|0.2*sin(2*PI*500*t):s=48000:d=2 -c:a pcm_s16le
# expect: frames=50 size=96x64 fps=25/1 audio=48000/2
# video-md5: f9856ec75ffabd8233f75beabac26a5d
# audio-md5: 23654f4fac9fd421ba238d5bcdcabbdc
video = AviSource("video.avi")
audio = WavSource("sound.wav")
l_ch = GetChannel(audio, 1)
r_ch = GetChannel(audio, 2)
stereo = MergeChannels(r_ch, l_ch)
AudioDub(video, stereo)
