# After AviSynth's documentation of ColorBars: the bars with their tone
# brought down to an alignment level by AmplifyDB(-20), here in YV12 at a
# small size and cut to two seconds.
# expect: frames=60 size=320x240 fps=30000/1001 audio=48000/2
# video-md5: 18c7af3a32711d738bfb5f913d74d4d2
# audio-md5: 9f638ad9bffb5772bde4767f0447a4d4
ColorBars(320, 240, "YV12")
AmplifyDB(-20)
Trim(0, 59)
