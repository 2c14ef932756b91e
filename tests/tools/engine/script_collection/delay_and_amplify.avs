# After AviSynth's documentation of DelayAudio ("DelayAudio(1.5)" makes the
# sound start later) and of AmplifyDB, on a generated clip.
# media: clip.avi -v error -f lavfi -i testsrc2=size=96x64:rate=25:duration=2 -f lavfi -i sine=frequency=440:sample_rate=32000:duration=2 -c:v ffv1 -c:a pcm_s16le -shortest
# expect: frames=50 size=96x64 fps=25/1 audio=32000/1
# video-md5: f9856ec75ffabd8233f75beabac26a5d
# audio-md5: 076afea135d52b70869de69fde16d285
AviSource("clip.avi")
DelayAudio(0.5)
AmplifyDB(3)
