# After AviSynth's documentation of MessageClip ("Displaying version
# information with MessageClip"), at a given size and cut to one second.
# expect: frames=24 size=320x60 fps=24/1 audio=none
# video-md5: a8bcdb5ed9b13a1ba01e5a3d2e5bf96e
MessageClip(VersionString(), 320, 60)
Trim(0, 23)
ConvertToYV12()
