function f(clip c) { return ScriptClip(c, "f(last)") }
BlankClip(length=2, width=32, height=32, pixel_type="YV12").f()
