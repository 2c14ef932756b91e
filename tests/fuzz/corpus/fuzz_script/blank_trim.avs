BlankClip(length=10, width=64, height=48, fps=25, audio_rate=8000)
Trim(2, -3).FlipVertical()
