# After AviSynth's documentation of MixAudio (a soundtrack and a voice mixed
# 0.75 to 0.25) and of AudioDub, with generated tones for the two sounds.
# media: video.avi -v error -f lavfi -i testsrc2=size=96x64:rate=25:duration=2 -c:v ffv1
# media: soundtrack.wav -v error -f lavfi -i aevalsrc=0.5*sin(2*PI*220*t)|0.5*sin(2*PI*330*t):s=44100:d=2 -c:a pcm_s16le
# media: voice.wav -v error -f lavfi -i aevalsrc=0.6*sin(2*PI*880*t)|0.6*sin(2*PI*990*t):s=44100:d=2 -c:a pcm_s16le
# expect: frames=50 size=96x64 fps=25/1 audio=44100/2
# video-md5: f9856ec75ffabd8233f75beabac26a5d
# audio-md5: 236a6be78faa58e05ecfbc398eaa5790
Soundtrack = WavSource("soundtrack.wav")
Voice = WavSource("voice.wav")
Mixed = MixAudio(Soundtrack, Voice, 0.75, 0.25)
AudioDub(AviSource("video.avi"), Mixed)
