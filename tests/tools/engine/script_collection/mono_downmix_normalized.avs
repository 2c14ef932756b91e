# After AviSynth's documentation of ConvertToMono (stereo down to one
# channel), ConvertAudioTo16bit and Normalize(0.98), on a generated clip.
# media: clip.avi -v error -f lavfi -i testsrc2=size=96x64:rate=25:duration=2 -f lavfi -i aevalsrc=0.3*sin(2*PI*440*t)|0.1*sin(2*PI*440*t):s=48000:d=2 -c:v ffv1 -c:a pcm_f32le -shortest
# expect: frames=50 size=96x64 fps=25/1 audio=48000/1
# video-md5: f9856ec75ffabd8233f75beabac26a5d
# audio-md5: 282388e88c76a0e2e9b25ac543485b96
AviSource("clip.avi")
ConvertToMono()
Normalize(0.98)
ConvertAudioTo16bit()
