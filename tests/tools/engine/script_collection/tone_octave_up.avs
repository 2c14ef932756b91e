# After AviSynth's documentation of TimeStretch ("Raise pitch one octave,
# without changing speed") and of Tone: a 220 Hz tone raised to 440 Hz under
# a blank picture made with BlankClip's positional arguments.
# expect: frames=100 size=160x120 fps=25/1 audio=48000/2
# video-md5: 9a50b8f7b2749de536e23ee91e0473bc
# audio-md5: 67caff922dfdf19db5822e0c8348e725
video = BlankClip(100, 160, 120, "YV12", 25, 1, 48000, 2, "16bit", $202080)
AudioDub(video, Tone(4, 220, 48000, 2, "Sine", 0.5).TimeStretch(pitch=200))
