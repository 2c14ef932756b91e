// The plugin counterparts (tools/engine/plugins) frame for frame against
// ffmpeg running the libavfilter filters that compute them on the same
// frames; their frames read out of order; the plugin files LoadPlugin
// accepts; and their refusals of what libavfilter cannot do.
#include "media_fixture.h"
#include "tools/engine/reading.h"

#include <QtTest>

class PluginFunctionsTest : public QObject {
  Q_OBJECT

  MediaFolder media_;
  int outputs_ = 0;

  // ffmpeg's frames for `graph` on `inputs`, as raw pictures in `pixFmt`,
  // every frame the graph gives kept as it comes.
  QByteArray Ffmpeg(const QStringList& inputs, const QString& graph, const QString& pixFmt) {
    QStringList args;
    for (const QString& input : inputs) args << "-i" << input;
    const QString out = QString("expected-%1.raw").arg(++outputs_);
    args << "-filter_complex" << graph << "-fps_mode" << "passthrough" << "-pix_fmt" << pixFmt << "-f" << "rawvideo" << out;
    return media_.ffmpeg(args) ? media_.read(out) : QByteArray();
  }

 private slots:
  void initTestCase() {
    // Noisy pictures, so that denoisers and medians have work to do.
    for (int seed : {1, 2, 3})
      QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=96x64:r=25", "-vf",
                             QString("noise=alls=40:allf=t:all_seed=%1").arg(seed), "-frames:v", "9", "-c:v", "ffv1",
                             "-pix_fmt", "yuv420p", QString("noisy%1.avi").arg(seed)}));
    QVERIFY(media_.ffmpeg({"-i", "noisy1.avi", "-c:v", "rawvideo", "-pix_fmt", "bgr24", "rgb.avi"}));
    // 3:2 pulldown of a 23.976 fps clip: 42 frames, eight whole cycles of
    // five and two more, top field first.
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=160x120:r=24000/1001", "-vf",
                           "telecine=first_field=top:pattern=23", "-frames:v", "42", "-c:v", "ffv1", "-pix_fmt",
                           "yuv420p", "telecined.avi"}));
    // Fields of a fast pan woven into frames: combed whatever the match.
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=128x96:r=50", "-vf", "scroll=h=0.05,tinterlace=mode=interleave_top",
                           "-frames:v", "8", "-c:v", "ffv1", "-pix_fmt", "yuv420p", "panned.avi"}));
    // Interlaced frames woven from a 50 fps clip's fields, top field first.
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=128x96:r=50", "-vf", "tinterlace=mode=interleave_top",
                           "-frames:v", "8", "-c:v", "ffv1", "-pix_fmt", "yuv420p", "interlaced.avi"}));
    // MPEG-2 video as DVD projects index it: two files of 24000/1001 pictures.
    for (const auto& [name, frames] : {std::pair{"first.m2v", "8"}, std::pair{"second.m2v", "4"}})
      QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=96x64:r=24000/1001", "-frames:v", frames, "-c:v",
                             "mpeg2video", "-q:v", "4", "-f", "mpeg2video", name}));
    // A DVD title in two VOBs, with sound, as DVD rippers leave it.
    for (const auto& [name, start] : {std::pair{"VTS_01_1.VOB", "0"}, std::pair{"VTS_01_2.VOB", "1"}})
      QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", QString("testsrc2=s=96x64:r=25,trim=start=") + start + ",setpts=PTS-STARTPTS",
                             "-f", "lavfi", "-i", "sine=r=48000", "-frames:v", "10", "-shortest", "-c:v", "mpeg2video",
                             "-q:v", "4", "-c:a", "mp2", "-f", "vob", name}));
    // Subtitles over the noisy clip's 0.36 s: UTF-8, Windows-1251 and ASS.
    media_.write("subs.srt", "1\n00:00:00,000 --> 00:00:00,200\nFirst line\n\n2\n00:00:00,200 --> 00:00:01,000\n"
                             "Second <i>line</i>\n");
    media_.write("cyrillic.srt", "1\n00:00:00,000 --> 00:00:01,000\n\xcf\xf0\xe8\xe2\xe5\xf2\n");
    media_.write("styled.ass",
                 "[Script Info]\nScriptType: v4.00+\nPlayResX: 96\nPlayResY: 64\n\n[V4+ Styles]\n"
                 "Format: Name, Fontname, Fontsize, PrimaryColour, Bold, Alignment, MarginV\n"
                 "Style: Default,DejaVu Sans,14,&H0000FFFF,1,8,4\n\n[Events]\n"
                 "Format: Layer, Start, End, Style, Text\n"
                 "Dialogue: 0,0:00:00.08,0:00:00.30,Default,Top {\\i1}text{\\i0}\n");
  }

  // A DGIndex project of `files` (first.m2v and second.m2v unless named, in
  // folder `folder`, as Windows names them) whose pictures carry `flags`.
  QString Project(const QString& name, const QString& folder, int fieldOperation, const QString& rate,
                  const QStringList& flags, const QStringList& files = {"first.m2v", "second.m2v"}) {
    QString text = "DGIndexProjectFile16\r\n" + QString::number(files.size()) + "\r\n";
    for (const QString& file : files) text += folder + file + "\r\n";
    text += "\r\nStream_Type=0\r\nMPEG_Type=2\r\niDCT_Algorithm=6 (1:MMX 2:SSEMMX 3:SSE2MMX 4:FPU 5:REF 6:Skal 7:Simple)\r\n"
            "YUVRGB_Scale=1\r\nLuminance_Filter=0,0\r\nClipping=0,0,0,0\r\nAspect_Ratio=4:3\r\n"
            "Picture_Size=96x64\r\nField_Operation=" + QString::number(fieldOperation) + "\r\nFrame_Rate=" + rate +
            "\r\nLocation=0,0,1,0\r\n\r\n";
    // Groups of four pictures, the last line ending the stream.
    for (int i = 0; i < flags.size(); i += 4)
      text += QString("900 5 %1 0 0 0 0 ").arg(i < 8 ? 0 : 1) + flags.mid(i, 4).join(' ') +
              (i + 4 >= flags.size() ? " ff" : "") + "\r\n";
    text += "\r\nFINISHED  100.00% VIDEO\r\n";
    media_.write(name, text.toLatin1());
    return name;
  }

  void againstFfmpeg_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QString>("graph");
    QTest::addColumn<int>("frames");
    QTest::addColumn<QString>("pixFmt");
    const QStringList noisy{"noisy1.avi"};
    const QString src = "AviSource(\"noisy1.avi\")\n";
    auto row = [](const char* name, const QString& script, const QStringList& inputs, const QString& graph, int frames,
                  const QString& pixFmt = "yuv420p") { QTest::newRow(name) << script << inputs << graph << frames << pixFmt; };
    row("RemoveGrain default mode 2", src + "RemoveGrain()", noisy, "removegrain=m0=2:m1=2:m2=2", 9);
    row("RemoveGrain modes per plane", src + "RemoveGrain(17, 4, modeV=0)", noisy, "removegrain=m0=17:m1=4:m2=0", 9);
    row("RemoveGrain -1 keeps the chroma", src + "RemoveGrain(mode=20, modeU=-1)", noisy, "removegrain=m0=20:m1=0:m2=0", 9);
    // At the ends the clip's first and last frames stand for those beyond.
    row("TemporalMedian radius 1", src + "TemporalMedian()", noisy,
        "tpad=start=1:stop=1:start_mode=clone:stop_mode=clone,tmedian", 9);
    row("TemporalMedian radius 3 luma only", src + "TemporalMedian(radius=3, chroma=false)", noisy,
        "tpad=start=3:stop=3:start_mode=clone:stop_mode=clone,tmedian=radius=3:planes=1", 9);
    row("Clense", src + "Clense()", noisy, "tpad=start=1:stop=1:start_mode=clone:stop_mode=clone,tmedian", 9);
    row("Clense of the luma", src + "Clense(grey=true)", noisy,
        "tpad=start=1:stop=1:start_mode=clone:stop_mode=clone,tmedian=planes=1", 9);
    row("Median of three clips",
        "Median(AviSource(\"noisy1.avi\"), AviSource(\"noisy2.avi\"), AviSource(\"noisy3.avi\"))",
        {"noisy1.avi", "noisy2.avi", "noisy3.avi"}, "[0:v][1:v][2:v]xmedian=inputs=3", 9);
    row("Median without chroma",
        "Median(AviSource(\"noisy1.avi\"), AviSource(\"noisy2.avi\"), AviSource(\"noisy3.avi\"), chroma=false)",
        {"noisy1.avi", "noisy2.avi", "noisy3.avi"}, "[0:v][1:v][2:v]xmedian=inputs=3:planes=1", 9);
    row("MedianBlur default radius 2", src + "MedianBlur()", noisy, "median=radius=2", 9);
    row("MedianBlur radius per plane", src + "MedianBlur(3, 1, 0)", noisy, "median=radius=1:planes=2,median=radius=3:planes=1", 9);
    row("GaussianBlur luma", src + "GaussianBlur(varY=4)", noisy, "gblur=sigma=2:planes=1", 9);
    row("GaussianBlur all planes", src + "GaussianBlur(2.25, 1, Y=3, U=3, V=3)", noisy,
        "gblur=sigma=1.5:planes=1,gblur=sigma=1:planes=6", 9);
    row("hqdn3d defaults", src + "hqdn3d()", noisy, "hqdn3d", 9);
    row("hqdn3d luma strength alone", src + "hqdn3d(8)", noisy, "hqdn3d=8", 9);
    row("hqdn3d on the luma only", src + "hqdn3d(u=2, v=2)", noisy,
        "split[a][b];[a]hqdn3d[f];[f][b]mergeplanes=0x001112:yuv420p", 9);
    row("CAS", src + "CAS(0.8, u=3, v=3)", noisy, "cas=strength=0.8:planes=7", 9);
    row("Average of two clips", "Average(AviSource(\"noisy1.avi\"), 0.75, AviSource(\"noisy2.avi\"), 0.25)",
        {"noisy1.avi", "noisy2.avi"}, "[0:v][1:v]mix=inputs=2:weights=0.75 0.25:scale=1", 9);
    row("Yadif same rate", "AviSource(\"interlaced.avi\").AssumeTFF().Yadif()", {"interlaced.avi"},
        "yadif=mode=0:parity=tff", 8);
    row("Yadif double rate, order given", "AviSource(\"interlaced.avi\").Yadif(mode=1, order=1)", {"interlaced.avi"},
        "yadif=mode=1:parity=tff", 16);
    row("yadifmod2 double rate without spatial check", "AviSource(\"interlaced.avi\").AssumeTFF().yadifmod2(mode=3)",
        {"interlaced.avi"}, "yadif=mode=3:parity=tff", 16);
    row("yadifmod2 bottom field first", "AviSource(\"interlaced.avi\").yadifmod2(order=0)", {"interlaced.avi"},
        "yadif=parity=bff", 8);
    row("BWDIF in the clip's field order", "AviSource(\"interlaced.avi\").AssumeTFF().BWDIF()", {"interlaced.avi"},
        "bwdif=mode=0:parity=tff", 8);
    row("BWDIF double rate, bottom first", "AviSource(\"interlaced.avi\").BWDIF(field=2)", {"interlaced.avi"},
        "bwdif=mode=1:parity=bff", 16);
    // The inverse telecine as users write it: TFM's defaults are
    // fieldmatch's, and its PP deinterlaces what stays combed.
    row("TFM and TDecimate", "AviSource(\"telecined.avi\").AssumeTFF().TFM().TDecimate()", {"telecined.avi"},
        "fieldmatch=order=tff:combdbg=pcn,yadif=deint=interlaced:parity=tff,decimate", 34);
    row("CAS of RGB filters every plane", "AviSource(\"rgb.avi\").CAS(0.6)", {"rgb.avi"}, "cas=strength=0.6:planes=7", 9,
        "bgr24");
    row("TFM deinterlacing what stays combed", "AviSource(\"panned.avi\").TFM(order=1)", {"panned.avi"},
        "fieldmatch=order=tff:combdbg=pcn,yadif=deint=interlaced:parity=tff", 8);
    row("TFM without post-processing", "AviSource(\"telecined.avi\").TFM(order=1, PP=0, mode=0)", {"telecined.avi"},
        "fieldmatch=order=tff:mode=pc", 42);
    row("TextSub", src + "TextSub(\"subs.srt\")", noisy, "subtitles=subs.srt:original_size=96x64", 9);
    row("TextSubMod", src + "TextSubMod(\"subs.srt\")", noisy, "subtitles=subs.srt:original_size=96x64", 9);
    row("TextSub at the clip's own rate", src + "TextSub(\"subs.srt\", fps=FrameRate())", noisy,
        "subtitles=subs.srt:original_size=96x64", 9);
    row("TextSub at VSFilter's default rate", src + "TextSub(\"subs.srt\", fps=-1)", noisy,
        "subtitles=subs.srt:original_size=96x64", 9);
    row("TextSub in a Windows character set", src + "TextSub(\"cyrillic.srt\", 204)", noisy,
        "subtitles=cyrillic.srt:original_size=96x64:charenc=CP1251", 9);
    row("assrender of a styled file", src + "assrender(\"styled.ass\", hinting=0)", noisy,
        "subtitles=styled.ass:original_size=96x64", 9);
    const QStringList progressive(12, "d2");
    const QStringList pulldown = {"d2", "d3", "d0", "d1", "d2", "d3", "d0", "d1", "d2", "d3", "d0", "d1"};
    const QString both = "[0:v][1:v]concat=n=2";
    row("MPEG2Source of two files", "MPEG2Source(\"" + Project("plain.d2v", "", 2, "23976 (24000/1001)", progressive) + "\")",
        {"first.m2v", "second.m2v"}, both, 12);
    row("MPEG2Source of a project made on Windows",
        "MPEG2Source(\"" + Project("windows.d2v", "D:\\DVD\\VIDEO_TS\\", 0, "23976 (24000/1001)", progressive) + "\", cpu=4)",
        {"first.m2v", "second.m2v"}, both, 12);
    row("MPEG2Source honouring soft pulldown",
        "MPEG2Source(\"" + Project("pulldown.d2v", "", 0, "29970 (30000/1001)", pulldown) + "\")",
        {"first.m2v", "second.m2v"}, both + ",telecine=first_field=top:pattern=23", 15);
    row("MPEG2Source of a DVD title's VOBs",
        "MPEG2Source(\"" +
            Project("dvd.d2v", "D:\\DVD\\VIDEO_TS\\", 2, "25000 (25/1)", QStringList(20, "d2"),
                    {"VTS_01_1.VOB", "VTS_01_2.VOB"}) +
            "\")",
        {"VTS_01_1.VOB", "VTS_01_2.VOB"}, "[0:v][1:v]concat=n=2", 20);
    row("MPEG2Source forcing film", "MPEG2Source(\"" + Project("film.d2v", "", 1, "29970 (30000/1001)", pulldown) + "\")",
        {"first.m2v", "second.m2v"}, both, 12);
    row("TFM's field order from a project", "AviSource(\"telecined.avi\").TFM(d2v=\"plain.d2v\", PP=0)", {"telecined.avi"},
        "fieldmatch=order=tff", 42);
    row("TFM's order given over the project's",
        "AviSource(\"telecined.avi\").TFM(order=0, d2v=\"plain.d2v\", PP=1)", {"telecined.avi"},
        "fieldmatch=order=bff:combdbg=pcn", 42);
    row("LumaYV12", src + "LumaYV12(lumoff=-10, lumgain=0.9)", noisy, "lutyuv=y='clip(val*0.9-9.5,0,255)'", 9);
    row("TDecimate cycle 6 of a clean clip", src.left(src.size() - 1) + ".TDecimate(cycle=3, chroma=false)",
        noisy, "decimate=cycle=3:chroma=0", 6);
  }

  void againstFfmpeg() {
    QFETCH(QString, script);
    QFETCH(QStringList, inputs);
    QFETCH(QString, graph);
    QFETCH(int, frames);
    QFETCH(QString, pixFmt);
    const QByteArray theirs = Ffmpeg(inputs, graph, pixFmt);
    QVERIFY(!theirs.isEmpty());
    int64_t count = 0;
    QByteArray ours;
    try {
      ours = ScriptPictures(script, media_.dir(), &count);
    } catch (const avs::ScriptError& e) {
      QFAIL(e.what());
    }
    QCOMPARE(count, int64_t{frames});
    QCOMPARE(ours.size(), theirs.size());
    QVERIFY2(ours == theirs, "the frames differ from ffmpeg's");
  }

  // Frames asked for in any order are those of a reading from the start:
  // the graphs that drop or add frames restart at their cycles.
  void outOfOrder_data() {
    QTest::addColumn<QString>("script");
    QTest::newRow("TFM and TDecimate") << "AviSource(\"telecined.avi\").AssumeTFF().TFM().TDecimate()";
    QTest::newRow("Yadif double rate") << "AviSource(\"interlaced.avi\").Yadif(mode=1, order=1)";
    QTest::newRow("TemporalMedian") << "AviSource(\"noisy1.avi\").TemporalMedian(radius=2)";
    QTest::newRow("TDecimate with clip2")
        << "a = AviSource(\"telecined.avi\")\nTDecimate(a.Blur(1), clip2=a)";
  }

  void outOfOrder() {
    QFETCH(QString, script);
    avs::ClipPtr clip = EvaluateClip(script, media_.dir());
    const int64_t count = clip->info().frameCount;
    std::vector<QByteArray> inOrder;
    {
      avs::Reading reading;
      for (int64_t n = 0; n < count; ++n) inOrder.push_back(PictureBytes(*reading.Frame(*clip, n)));
    }
    avs::Reading reading;
    for (int64_t n = count - 1; n >= 0; n -= 3) QVERIFY2(PictureBytes(*reading.Frame(*clip, n)) == inOrder[n], qPrintable(QString::number(n)));
    for (int64_t n : {int64_t{5}, int64_t{0}, count - 1, count / 2, int64_t{1}})
      QVERIFY2(PictureBytes(*reading.Frame(*clip, n)) == inOrder[n], qPrintable(QString::number(n)));
  }

  // TFM's clip2 gives the frames that stay combed after matching (which
  // fieldmatch marks as interlaced), the others are the matched frames.
  void tfmTakesCombedFramesFromClip2() {
    const QString source = "AviSource(\"panned.avi\")\n";
    avs::ClipPtr matched = EvaluateClip(source + "TFM(order=1, PP=1)", media_.dir());
    avs::ClipPtr blank = EvaluateClip(source + "BlankClip(last, color_yuv=$108080)", media_.dir());
    avs::ClipPtr mixed = EvaluateClip(source + "TFM(order=1, PP=2, clip2=BlankClip(last, color_yuv=$108080))", media_.dir());
    avs::Reading reading;
    int combed = 0;
    for (int64_t n = 0; n < matched->info().frameCount; ++n) {
      const avs::FrameRef frame = reading.Frame(*matched, n);
      const bool fromClip2 = frame->interlaced_frame;
      combed += fromClip2;
      QCOMPARE(PictureBytes(*reading.Frame(*mixed, n)), PictureBytes(fromClip2 ? *reading.Frame(*blank, n) : *frame));
    }
    QVERIFY(combed > 0);
  }

  // Frame counts and rates as the plugins document them.
  void clipInfo_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("num");
    QTest::addColumn<int>("den");
    QTest::newRow("TDecimate of NTSC video") << "AviSource(\"telecined.avi\").TDecimate()" << 34 << 24000 << 1001;
    QTest::newRow("TDecimate cycle 2 of 25 fps") << "AviSource(\"noisy1.avi\").TDecimate(cycle=2)" << 5 << 25 << 2;
    QTest::newRow("Yadif mode 3 of 25 fps") << "AviSource(\"noisy1.avi\").Yadif(mode=3)" << 18 << 50 << 1;
    QTest::newRow("BWDIF double rate of 25 fps") << "AviSource(\"noisy1.avi\").BWDIF(3)" << 18 << 50 << 1;
    QTest::newRow("yadifmod2 of NTSC video") << "AviSource(\"telecined.avi\").yadifmod2(mode=1)" << 84 << 60000 << 1001;
    QTest::newRow("TFM keeps every frame") << "AviSource(\"telecined.avi\").TFM()" << 42 << 30000 << 1001;
    QTest::newRow("MPEG2Source forced film")
        << "MPEG2Source(\"" + Project("film-info.d2v", "", 1, "29970 (30000/1001)", QStringList(12, "d3")) + "\")" << 12
        << 24000 << 1001;
    QTest::newRow("MPEG2Source up to 4:2:2")
        << "c = MPEG2Source(\"" + Project("yuy2.d2v", "", 2, "25000 (25/1)", QStringList(12, "d2")) + "\", upConv=true)\n"
           "c.IsYUY2() ? c : BlankClip()" << 12 << 25 << 1;
    QTest::newRow("MPEG2Source raw pictures")
        << "MPEG2Source(\"" + Project("raw-info.d2v", "", 2, "25000 (25/1)", QStringList(12, "d3")) + "\")" << 12 << 25 << 1;
  }

  void clipInfo() {
    QFETCH(QString, script);
    QFETCH(int, frames);
    QFETCH(int, num);
    QFETCH(int, den);
    avs::ClipPtr clip;
    try {
      clip = EvaluateClip(script, media_.dir());
    } catch (const avs::ScriptError& e) {
      QFAIL(e.what());
    }
    QCOMPARE(clip->info().frameCount, int64_t{frames});
    QCOMPARE(clip->info().fps.num, int64_t{num});
    QCOMPARE(clip->info().fps.den, int64_t{den});
  }

  void loadPlugin_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("Windows path") << "C:\\\\Program Files (x86)\\\\AviSynth\\\\plugins\\\\TIVTC.dll" << true;
    QTest::newRow("64-bit build") << "RgTools64.dll" << true;
    QTest::newRow("x64 suffix") << "D:/tools/yadifmod2_x64.dll" << true;
    QTest::newRow("Linux library") << "/usr/lib/avisynth/libtivtc.so" << true;
    QTest::newRow("letter case") << "MEDIANBLUR2.DLL" << true;
    QTest::newRow("VSFilterMod") << "C:/AviSynth/plugins64/VSFilterMod.dll" << true;
    QTest::newRow("no counterpart") << "nnedi3.dll" << false;
    QTest::newRow("MaskTools") << "C:\\\\plugins\\\\masktools2.dll" << false;
    QTest::newRow("name that only starts like one") << "tivtcx.dll" << false;
    QTest::newRow("empty") << "" << false;
  }

  void loadPlugin() {
    QFETCH(QString, file);
    QFETCH(bool, accepted);
    const QString error = EvaluationError("LoadPlugin(\"" + file + "\")\nBlankClip(length=2)", media_.dir());
    if (accepted) QCOMPARE(error, QString("no error"));
    else QVERIFY2(error.contains("plugins cannot be loaded here"), qPrintable(error));
  }

  void refusals_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    const QString src = "AviSource(\"noisy1.avi\")\n";
    const QString tc = "AviSource(\"telecined.avi\")\n";
    QTest::newRow("yadifmod2 with edeint") << src + "yadifmod2(edeint=last)" << "edeint is not taken here";
    QTest::newRow("yadifmod2 keeping the second field") << src + "yadifmod2(order=1, field=0)" << "field=0 keeps";
    QTest::newRow("Yadif mode 4") << src + "Yadif(mode=4)" << "mode must be from 0 to 3, not 4";
    QTest::newRow("BWDIF field 4") << src + "BWDIF(4)" << "field must be from -1 to 3, not 4";
    QTest::newRow("BWDIF with edeint") << src + "BWDIF(edeint=last)" << "edeint is not taken here";
    QTest::newRow("Yadif order 2") << src + "Yadif(order=2)" << "order must be -1";
    QTest::newRow("Yadif on fields") << src + "SeparateFields().Yadif()" << "not separated fields";
    QTest::newRow("TFM overrides file") << tc + "TFM(ovr=\"tfm.txt\")" << "ovr is not taken here";
    QTest::newRow("TFM of a missing project") << tc + "TFM(d2v=\"none.d2v\")" << "cannot open the project";
    QTest::newRow("TFM mode 7") << tc + "TFM(mode=7)" << "mode=7 has no counterpart";
    QTest::newRow("TFM clip2 of another size") << tc + "TFM(clip2=BilinearResize(80, 60))" << "clip2 differs from the clip";
    QTest::newRow("TFM blockx not a power of 2") << tc + "TFM(blockx=24)" << "blockx must be a power of 2";
    QTest::newRow("TFM of RGB") << tc + "ConvertToRGB32().TFM()" << "needs YUV pictures";
    QTest::newRow("TDecimate of fields") << tc + "SeparateFields().TDecimate()" << "not separated fields";
    QTest::newRow("MPEG2Source upConv as a string")
        << "MPEG2Source(\"" + Project("upconv-text.d2v", "", 2, "25000 (25/1)", QStringList(12, "d2")) + "\", upConv=\"yes\")"
        << "upConv must be an int or a bool, not a string";
    QTest::newRow("LumaYV12 gain 3") << src + "LumaYV12(lumgain=3)" << "lumgain must be from 0 to 2, not 3";
    QTest::newRow("MPEG2Source upConv 3")
        << "MPEG2Source(\"" + Project("upconv.d2v", "", 2, "25000 (25/1)", QStringList(12, "d2")) + "\", upConv=3)"
        << "upConv must be from 0 to 2";
    QTest::newRow("TDecimate mode 2") << tc + "TDecimate(mode=2, rate=23.976)" << "mode=2 has no counterpart";
    QTest::newRow("TDecimate cycleR 2") << tc + "TDecimate(cycleR=2, cycle=10)" << "cycleR=2 is not taken";
    QTest::newRow("TDecimate hybrid") << tc + "TDecimate(hybrid=1)" << "hybrid=1 is not taken";
    QTest::newRow("TDecimate cycle 1") << tc + "TDecimate(cycle=1)" << "cycle must be from 2 to 25";
    QTest::newRow("TDecimate clip2 of another length") << tc + "TDecimate(clip2=Trim(0, 9))" << "clip2 has 10 frames";
    QTest::newRow("RemoveGrain mode 25") << src + "RemoveGrain(25)" << "mode must be from -1 to 24, not 25";
    QTest::newRow("Median of two clips") << "Median(BlankClip(), BlankClip())" << "odd number of clips from 3 to 25, not 2";
    QTest::newRow("Median of clips of two sizes")
        << "Median(BlankClip(), BlankClip(), BlankClip(width=320))" << "clip 3 differs from clip 1";
    QTest::newRow("Median sync") << "b = BlankClip()\nMedian(b, b, b, sync=2)" << "sync is not taken here";
    QTest::newRow("Clense of other clips") << src + "Clense(previous=last)" << "previous is not taken here";
    QTest::newRow("Clense reducing flicker") << src + "Clense(reduceflicker=true)" << "reduceflicker=true is not taken";
    QTest::newRow("TemporalMedian radius 0") << src + "TemporalMedian(0)" << "radius must be from 1 to 12";
    QTest::newRow("MedianBlur negative radius") << src + "MedianBlur(-1)" << "radiusy must be from 0 to 127";
    QTest::newRow("GaussianBlur filling a plane") << src + "GaussianBlur(Y=-128)" << "Y=-128 is not taken here";
    QTest::newRow("CAS too sharp") << src + "CAS(1.5)" << "sharpness must be from 0 to 1, not 1.5";
    QTest::newRow("hqdn3d negative strength") << src + "hqdn3d(-1)" << "ls must be from 0 to 255";
    QTest::newRow("hqdn3d keeping a plane of YUY2") << src + "ConvertToYUY2().hqdn3d(y=2)" << "planar YUV pictures only";
    QTest::newRow("Average without the last weight") << "Average(BlankClip(), 1, BlankClip())" << "the last weight is missing";
    QTest::newRow("Average weight first") << "Average(BlankClip(), 1, 0.5, BlankClip())" << "must be clip 2";
    QTest::newRow("QTGMC") << src + "QTGMC(Preset=\"Slow\")" << "QTGMC comes from a plugin";
    QTest::newRow("AddGrain") << src + "AddGrain(10)" << "AddGrain comes from a plugin";
    QTest::newRow("MultiDecimate") << src + "MultiDecimate()" << "MultiDecimate comes from a plugin";
    QTest::newRow("hshear") << src + "hshear(10)" << "hshear comes from a plugin";
    QTest::newRow("nnedi3 file") << "LoadPlugin(\"nnedi3.dll\")" << "cannot load nnedi3.dll";
    QTest::newRow("MPEG2Source of a missing project") << "MPEG2Source(\"none.d2v\")" << "cannot open the project";
    QTest::newRow("MPEG2Source of another file") << "MPEG2Source(\"noisy1.avi\")" << "is not a DGIndex project";
    QTest::newRow("MPEG2Source of a project with pictures missing")
        << "MPEG2Source(\"" + Project("short.d2v", "", 2, "25000 (25/1)", QStringList(8, "d2")) + "\")"
        << "lists 8 pictures where its files hold 12";
    QTest::newRow("VobSub") << src + "VobSub(\"movie.idx\")" << "VobSub's picture subtitles have no counterpart";
    QTest::newRow("TextSub of a missing file") << src + "TextSub(\"missing.ass\")" << "cannot open the subtitles";
    QTest::newRow("TextSub charset unknown") << src + "TextSub(\"subs.srt\", 7)" << "charset 7 is not";
    QTest::newRow("TextSub at another rate") << src + "TextSub(\"subs.srt\", fps=30)" << "fps 30.000000 is not taken here";
    QTest::newRow("assrender margins") << src + "assrender(\"subs.srt\", top=10)" << "top is not taken here";
    QTest::newRow("assrender frame size") << src + "assrender(\"subs.srt\", frame_width=1920)" << "frame_width is not taken";
    QTest::newRow("assrender storage size") << src + "assrender(\"subs.srt\", set_default_storage_size=false)"
                                            << "set_default_storage_size=false is not taken";
  }

  void refusals() {
    QFETCH(QString, script);
    QFETCH(QString, message);
    const QString error = EvaluationError(script, media_.dir());
    QVERIFY2(error.contains(message), qPrintable(error));
  }
};

QTEST_GUILESS_MAIN(PluginFunctionsTest)
#include "tst_plugin_functions.moc"
