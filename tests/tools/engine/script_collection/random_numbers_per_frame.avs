# From Xenoveritas/AviSynth-Stuff, Examples/Random.avs with the Random.avsi it
# imports (kept in files/): a linear congruential generator kept in global
# variables, seeded again on every frame by a function Animate calls, its
# values drawn on a blank clip by Subtitle over lines lsp spaces apart; the
# second half seeds with the frame number times 1077481576. The Import names
# the file beside the script instead of the folder above, and the last line
# is added: the frames are piped as YUV4MPEG2, which carries no RGB32.
# Script integers are 32-bit: frame 7 reads seed 7, 208426292, 0.598530 and
# 66, frame 247 seed -1047563560, 169993777, 0.491707 and 70, as the
# generator gives them computed with wrapping 32-bit products; the sound is
# the blank clip's silence.
# file: Random.avsi
# expect: frames=480 size=640x480 fps=24/1 audio=44100/1
# video-md5: ab1153f3b744f068e4e4a46de42cc388
# audio-md5: 00300e2528e98f4cf1209bd729d8fee3
# It's kind of hard to show off randomness, but do it anyway:

Import("Random.avsi")

c = BlankClip()

function RandomSubtitle(clip c, int seed, int multiple) {
  s = seed * multiple
  SeedRandom(s)
  return c.Subtitle("Seed: " + String(s) + \
    "\n  NextRandomInteger(): " + String(NextRandomInteger()) + \
    "\n  Random(): " + String(Random()) + \
    "\n  RandomInteger(1,100): " + String(RandomInteger(1,100)), lsp=10)
}

c.Animate(0, c.FrameCount()-1, "RandomSubtitle", 0, 1, c.FrameCount()-1, 1) + \
c.Animate(0, c.FrameCount()-1, "RandomSubtitle", 0, 1077481576, c.FrameCount()-1, 1077481576)
ConvertToYV12()
