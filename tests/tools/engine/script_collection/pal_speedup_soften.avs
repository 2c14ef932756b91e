# After AviSynth's documentation of AssumeFPS: a film clip at 24 frames a
# second sped up to PAL's 25 with its sound kept in step
# (AssumeFPS(25, 1, true)) and resampled back to its rate with SSRC; and of
# TemporalSoften: "TemporalSoften(4, 4, 8, 15, 2)", the samples of up to
# four frames either side averaged unless a scene changes. Generated media
# instead of a captured film.
# media: film.avi -v error -f lavfi -i testsrc2=size=320x240:rate=24:duration=2 -f lavfi -i sine=frequency=500:sample_rate=44100:duration=2 -vf noise=alls=12:allf=t -c:v ffv1 -pix_fmt yuv420p -c:a pcm_s16le -shortest
# expect: frames=48 size=320x240 fps=25/1 audio=44100/1
# video-md5: c81ce57bfe9d1fd76e4b49ff11951859
# audio-md5: fd011cc120a91de856fe0e433a3c1eeb
AviSource("film.avi")
AssumeFPS(25, 1, true)
SSRC(44100)
TemporalSoften(4, 4, 8, 15, 2)
