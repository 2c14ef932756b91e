# From cesarcchi/Avisynth-CreditlessOP-ED, the example of its README.md with
# the function of its creditless.avsi: an episode's opening and ending
# replaced by their creditless versions, the episode cut around them. AviSynth
# loads the .avsi from its plugin folder, so an Import of it is added here;
# the file names lose their spaces and the README's names for the frames
# where the opening and the ending begin become those frames (10 and 40).
# The episode, the opening and the ending are made here with sound of
# their own: 60, 15 and 12 frames at 25 per second. Frames 10 to 24 are the
# opening's, 40 to 51 the ending's, the rest the episode's from frame 0, 25
# and 52 on, pictures and sound as ffmpeg's trims and concat give them.
# media: Video_Principal.avi -v error -f lavfi -i testsrc2=size=160x96:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000:duration=2.4 -t 2.4 -c:v ffv1 -pix_fmt yuv420p -c:a pcm_s16le
# media: Creditless_OP.avi -v error -f lavfi -i testsrc2=size=160x96:rate=25 -f lavfi -i sine=frequency=880:sample_rate=48000:duration=0.6 -vf hue=h=120 -t 0.6 -c:v ffv1 -pix_fmt yuv420p -c:a pcm_s16le
# media: Creditless_ED.avi -v error -f lavfi -i testsrc2=size=160x96:rate=25 -f lavfi -i sine=frequency=1320:sample_rate=48000:duration=0.48 -vf hue=h=240 -t 0.48 -c:v ffv1 -pix_fmt yuv420p -c:a pcm_s16le
# file: creditless.avsi
# expect: frames=60 size=160x96 fps=25/1 audio=48000/1
# video-md5: 311b0d06cf390877b668fc0a4a121ca9
# audio-md5: f52d9d0957b517a89dbd90cc12bf037c
Import("creditless.avsi")

a = DirectShowSource("Video_Principal.avi")
b = DirectShowSource("Creditless_OP.avi")
c = DirectShowSource("Creditless_ED.avi")

creditless(a,b,c,10,40)
