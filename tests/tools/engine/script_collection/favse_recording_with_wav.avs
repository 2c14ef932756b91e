# From ryu-blacknd/FavsE-Classic, template.avs: a recording served by its
# DGIndex project, with the sound its encoding batch decoded from the AAC
# track DGIndex demuxed, named as that track with its delay taken out. The
# batch puts the project's and the track's names for "__vid__" and "__aud__";
# here they are a project and a track name of a DVD title made here, with
# underscores where DGIndex writes spaces (the test's media names have none).
# The heading comment is Shift-JIS text read in another code page, as kept.
# The pictures are those of DGDecode's plain decoding of the same project;
# the sound is the WAV's, sample for sample.
# media: project.m2v -v error -f lavfi -i testsrc2=size=160x120:rate=50 -vf tinterlace=mode=interleave_top -frames:v 25 -c:v mpeg2video -flags +ildct+ilme -top 1 -q:v 3 -f mpeg2video
# media: title_T80_2_0ch_192Kbps_DELAY_0ms_aac.wav -v error -f lavfi -i sine=frequency=1000:sample_rate=48000:duration=1 -ac 2 -c:a pcm_s16le
# file: project.d2v
# expect: frames=25 size=160x120 fps=25/1 audio=48000/2
# video-md5: 276f1417ca61ca8857f5e4f11ca65466
# audio-md5: e3fc9654128b52dd58966e8eee9b017b
d2v = "project.d2v"
aac = "title_T80_2_0ch_192Kbps_DELAY_-56ms.aac"
wav = LeftStr(aac, FindStr(aac, "DELAY") + 5) + "0ms_aac.wav"

SetMTMode(2, 0)

### ÉtÉ@ÉCÉãì«Ç›çûÇ› ###
DGDecode_MPEG2Source(d2v)
AudioDub(last, WAVSource(wav))
