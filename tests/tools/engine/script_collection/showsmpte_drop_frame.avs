# After AviSynth's documentation of ShowSMPTE and ShowTime: a 29.97 fps clip
# shows drop-frame timecode, skipping the labels :00 and :01 of each minute
# but every tenth; the clip starts just before the first minute.
# media: ntsc.avi -v error -f lavfi -i color=c=navy:size=320x240:rate=30000/1001:duration=1 -c:v ffv1 -pix_fmt yuv420p
# expect: frames=30 size=320x240 fps=30000/1001 audio=none
# video-md5: e07b4f06be2ec17f3399975256168694
AviSource("ntsc.avi")
ShowSMPTE(offset_f=1790)
ShowTime(offset_f=1790, y=30)
