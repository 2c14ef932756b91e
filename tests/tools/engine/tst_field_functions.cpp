// Field functions: separating and weaving against ffmpeg's filters and each
// other, field order and parity as scripts see them, Bob's placement of the
// fields, and the refusals.
#include "media_fixture.h"
#include "tools/engine/functions/channels.h"
#include "tools/engine/reading.h"

#include <QtTest>

extern "C" {
#include <libavutil/imgutils.h>
}

class FieldFunctionsTest : public QObject {
  Q_OBJECT

  MediaFolder media_;

  // Row y of plane 0 of a frame.
  static QByteArray Row(const AVFrame& frame, int y) {
    const int bytes = av_image_get_linesize(static_cast<AVPixelFormat>(frame.format), frame.width, 0);
    return QByteArray(reinterpret_cast<const char*>(frame.data[0] + y * frame.linesize[0]), bytes);
  }

  QString Value(const QString& script) {
    avs::Interpreter interp;
    return QString::fromStdString(interp.RunText(script.toStdString(), "t.avs", media_.dir().toStdString()).toText());
  }

 private slots:
  void initTestCase() {
    const QStringList source = {"-f", "lavfi", "-i", "testsrc2=s=96x64:r=25", "-frames:v", "4"};
    QVERIFY(media_.ffmpeg(source + QStringList{"-c:v", "ffv1", "-pix_fmt", "yuv420p", "yv12.avi"}));
    QVERIFY(media_.ffmpeg(source + QStringList{"-c:v", "rawvideo", "-pix_fmt", "yuyv422", "yuy2.avi"}));
    QVERIFY(media_.ffmpeg(source + QStringList{"-c:v", "rawvideo", "-pix_fmt", "bgr24", "rgb24.avi"}));
    QVERIFY(media_.ffmpeg(source + QStringList{"-c:v", "rawvideo", "-pix_fmt", "gray", "y8.avi"}));
  }

  void separateFieldsMatchesFfmpeg_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("pixFmt");
    QTest::addColumn<QString>("order");
    for (auto [source, format] : {std::pair{"yv12.avi", "yuv420p"}, {"yuy2.avi", "yuyv422"}, {"rgb24.avi", "bgr24"}})
      for (const char* order : {"TFF", "BFF"}) QTest::addRow("%s %s", format, order) << source << format << order;
  }
  void separateFieldsMatchesFfmpeg() {
    QFETCH(QString, source);
    QFETCH(QString, pixFmt);
    QFETCH(QString, order);
    const QString expected = pixFmt + order + ".raw";
    QVERIFY(media_.ffmpeg({"-i", source, "-vf", "setfield=" + order.toLower() + ",separatefields", "-pix_fmt", pixFmt,
                           "-f", "rawvideo", expected}));
    const QByteArray theirs = media_.read(expected);
    avs::ClipPtr fields = EvaluateClip("AviSource(\"" + source + "\").Assume" + order + "().SeparateFields()", media_.dir());
    QCOMPARE(fields->info().frameCount, int64_t{8});
    QCOMPARE(fields->info().height, 32);
    QCOMPARE(fields->info().fps.num, int64_t{50});
    QCOMPARE(fields->info().fps.den, int64_t{1});
    const int fieldBytes = av_image_get_buffer_size(fields->info().pixelFormat, 96, 32, 1);
    QCOMPARE(theirs.size(), 8 * fieldBytes);
    avs::Reading reading;
    for (int64_t n : {0, 1, 2, 7, 4, 5})
      QVERIFY2(PictureBytes(*reading.Frame(*fields, n)) == theirs.mid(n * fieldBytes, fieldBytes),
               qPrintable(QString("field %1").arg(n)));

    // Woven back, the fields are the frames again, whichever came first.
    avs::ClipPtr frames = EvaluateClip("AviSource(\"" + source + "\")", media_.dir());
    avs::ClipPtr woven =
        EvaluateClip("AviSource(\"" + source + "\").Assume" + order + "().SeparateFields().Weave()", media_.dir());
    QCOMPARE(woven->info().frameCount, int64_t{4});
    QCOMPARE(woven->info().fps.num, int64_t{25});
    QCOMPARE(woven->info().fps.den, int64_t{1});
    QVERIFY(!woven->info().fieldBased);
    avs::Reading original;
    for (int64_t n : {3, 0, 2})
      QVERIFY2(PictureBytes(*reading.Frame(*woven, n)) == PictureBytes(*original.Frame(*frames, n)),
               qPrintable(QString("frame %1").arg(n)));
  }

  // Field order and parity as GetParity and IsFieldBased report them.
  void parity_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("value");
    const QString clip = "AviSource(\"yv12.avi\")";
    QTest::newRow("frame-based clips are bottom field first") << clip + ".GetParity(0)" << "false";
    QTest::newRow("AssumeTFF") << clip + ".AssumeTFF().GetParity(3)" << "true";
    QTest::newRow("AssumeBFF after AssumeTFF") << clip + ".AssumeTFF().AssumeBFF().GetParity(0)" << "false";
    QTest::newRow("AssumeFieldBased: even fields are bottom") << clip + ".AssumeTFF().AssumeFieldBased().GetParity(0)"
                                                              << "false";
    QTest::newRow("AssumeFieldBased: odd fields are top") << clip + ".AssumeFieldBased().GetParity(1)" << "true";
    QTest::newRow("AssumeFieldBased") << clip + ".AssumeFieldBased().IsFieldBased" << "true";
    QTest::newRow("AssumeFrameBased") << clip + ".SeparateFields().AssumeFrameBased().IsFieldBased" << "false";
    QTest::newRow("AssumeFrameBased resets to bottom first") << clip + ".AssumeTFF().AssumeFrameBased().GetParity(0)"
                                                             << "false";
    QTest::newRow("ComplementParity") << clip + ".ComplementParity().GetParity(0)" << "true";
    QTest::newRow("fields of a TFF clip start with a top one") << clip + ".AssumeTFF().SeparateFields().GetParity(0)"
                                                               << "true";
    QTest::newRow("their second is a bottom one") << clip + ".AssumeTFF().SeparateFields().GetParity(1)" << "false";
    QTest::newRow("SeparateFields gives fields") << clip + ".SeparateFields().IsFieldBased" << "true";
    QTest::newRow("Bob gives frames") << clip + ".Bob().IsFieldBased" << "false";
    QTest::newRow("DoubleWeave keeps the field rate") << clip + ".SeparateFields().DoubleWeave().FrameCount" << "8";
    QTest::newRow("DoubleWeave of frames separates them first") << clip + ".DoubleWeave().Framerate" << "50.000000";
    QTest::newRow("Weave of an odd field count drops the last") << clip + ".SeparateFields().Trim(0, 4).Weave().FrameCount"
                                                                << "2";
  }
  void parity() {
    QFETCH(QString, script);
    QFETCH(QString, value);
    QCOMPARE(Value(script), value);
  }

  // DoubleWeave weaves every field with the next: with the top field first,
  // frame 1 has frame 1's top field over frame 0's bottom one.
  void doubleWeavePairsNeighbours() {
    avs::ClipPtr frames = EvaluateClip("AviSource(\"y8.avi\")", media_.dir());
    avs::ClipPtr woven = EvaluateClip("AviSource(\"y8.avi\").AssumeTFF().DoubleWeave()", media_.dir());
    QCOMPARE(woven->info().frameCount, int64_t{8});
    QCOMPARE(woven->info().height, 64);
    avs::Reading reading, original;
    const avs::FrameRef first = original.Frame(*frames, 0), second = original.Frame(*frames, 1);
    QCOMPARE(PictureBytes(*reading.Frame(*woven, 0)), PictureBytes(*first));
    const avs::FrameRef mixed = reading.Frame(*woven, 1);
    for (int y : {0, 10, 62}) QCOMPARE(Row(*mixed, y), Row(*second, y));
    for (int y : {1, 11, 63}) QCOMPARE(Row(*mixed, y), Row(*first, y));
    QCOMPARE(PictureBytes(*reading.Frame(*woven, 2)), PictureBytes(*second));
  }

  // Bob(0, 1) keeps each field's own lines where they were, top fields on
  // the even lines and bottom ones on the odd, and fills in between.
  void bobKeepsTheFieldsLines_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("order");
    for (const char* source : {"y8.avi", "rgb24.avi", "yuy2.avi"})
      for (const char* order : {"TFF", "BFF"}) QTest::addRow("%s %s", source, order) << source << order;
  }
  void bobKeepsTheFieldsLines() {
    QFETCH(QString, source);
    QFETCH(QString, order);
    avs::ClipPtr frames = EvaluateClip("AviSource(\"" + source + "\")", media_.dir());
    avs::ClipPtr bobbed = EvaluateClip("AviSource(\"" + source + "\").Assume" + order + "().Bob(0.0, 1.0)", media_.dir());
    QCOMPARE(bobbed->info().frameCount, int64_t{8});
    QCOMPARE(bobbed->info().height, 64);
    QCOMPARE(bobbed->info().fps.num, int64_t{50});
    avs::Reading reading, original;
    const bool tff = order == "TFF";
    for (int64_t n : {0, 1, 2, 5}) {
      const avs::FrameRef frame = original.Frame(*frames, n / 2);
      const avs::FrameRef bob = reading.Frame(*bobbed, n);
      const bool top = (n % 2 == 0) == tff;
      for (int y = top ? 0 : 1; y < 64; y += 2)
        QVERIFY2(Row(*bob, y) == Row(*frame, y), qPrintable(QString("field %1 line %2").arg(n).arg(y)));
      QVERIFY(Row(*bob, top ? 31 : 30) != Row(*frame, top ? 31 : 30));
    }
    avs::ClipPtr taller = EvaluateClip("AviSource(\"" + source + "\").Bob(height=96)", media_.dir());
    QCOMPARE(taller->info().height, 96);
  }

  // SeparateRows, SeparateColumns, their weaves and SwapFields move each
  // channel's samples as their formulas say, in every layout of channels.
  void rowsAndColumns_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("kind");  // 0 rows, 1 columns, 2 swapped rows
    QTest::addColumn<int>("interval");
    QTest::newRow("SeparateRows(2) of YV12") << "yv12.avi" << "SeparateRows(2)" << 0 << 2;
    QTest::newRow("SeparateRows(4) of Y8") << "y8.avi" << "SeparateRows(4)" << 0 << 4;
    QTest::newRow("SeparateColumns(3) of RGB24") << "rgb24.avi" << "SeparateColumns(3)" << 1 << 3;
    QTest::newRow("SeparateColumns(2) of YUY2") << "yuy2.avi" << "SeparateColumns(2)" << 1 << 2;
    QTest::newRow("SeparateColumns(4) of YV12") << "yv12.avi" << "SeparateColumns(4)" << 1 << 4;
    QTest::newRow("SwapFields of YV12") << "yv12.avi" << "SwapFields()" << 2 << 2;
    QTest::newRow("SwapFields of YUY2") << "yuy2.avi" << "SwapFields()" << 2 << 2;
  }
  void rowsAndColumns() {
    QFETCH(QString, source);
    QFETCH(QString, call);
    QFETCH(int, kind);
    QFETCH(int, interval);
    const QString clip = "AviSource(\"" + source + "\")";
    avs::ClipPtr picked = EvaluateClip(clip + "." + call, media_.dir());
    avs::ClipPtr original = EvaluateClip(clip, media_.dir());
    const avs::ClipInfo& in = original->info();
    QCOMPARE(picked->info().frameCount, kind == 2 ? in.frameCount : in.frameCount * interval);
    QCOMPARE(picked->info().fps.num * in.fps.den, (kind == 2 ? 1 : interval) * in.fps.num * picked->info().fps.den);
    const auto outs = avs::ChannelsOf(picked->info().pixelFormat, picked->info().width, picked->info().height);
    const auto ins = avs::ChannelsOf(in.pixelFormat, in.width, in.height);
    avs::Reading reading;
    for (int64_t n = 0; n < picked->info().frameCount; ++n) {
      const avs::FrameRef out = reading.Frame(*picked, n);
      const avs::FrameRef from = reading.Frame(*original, kind == 2 ? n : n / interval);
      const int k = static_cast<int>(n % interval);
      for (std::size_t c = 0; c < outs.size(); ++c)
        for (int y = 0; y < outs[c].height; ++y)
          for (int x = 0; x < outs[c].width; ++x) {
            const int sx = kind == 1 ? x * interval + k : x;
            const int sy = kind == 0 ? y * interval + k : (kind == 2 ? y ^ 1 : y);
            if (outs[c].Row(*out, y)[x * outs[c].step] != ins[c].Row(*from, sy)[sx * ins[c].step])
              QFAIL(qPrintable(QString("frame %1 channel %2 at %3,%4").arg(n).arg(c).arg(x).arg(y)));
          }
    }
    // Woven back, the frames are the source's again.
    if (kind == 2) return;
    const QString weave = QString(kind == 0 ? ".WeaveRows(%1)" : ".WeaveColumns(%1)").arg(interval);
    avs::ClipPtr woven = EvaluateClip(clip + "." + call + weave, media_.dir());
    QCOMPARE(woven->info().frameCount, in.frameCount);
    QCOMPARE(woven->info().width, in.width);
    for (int64_t n : {0, 3})
      QVERIFY(PictureBytes(*reading.Frame(*woven, n)) == PictureBytes(*reading.Frame(*original, n)));
  }

  // PeculiarBlend: the next frame above cutoff - 30, this one from cutoff
  // down, and a blend between.
  void peculiarBlend() {
    avs::ClipPtr clip = EvaluateClip("c = BlankClip(length=1, width=16, height=64, pixel_type=\"Y8\", color_yuv=$200000)\n"
                                     "(c + c.BlankClip(color_yuv=$800000)).PeculiarBlend(45)",
                                     media_.dir());
    avs::Reading reading;
    const avs::FrameRef frame = reading.Frame(*clip, 0);
    const auto sample = [&](int y) { return static_cast<int>(frame->data[0][y * frame->linesize[0]]); };
    QCOMPARE(sample(0), 0x80);
    QCOMPARE(sample(14), 0x80);
    QCOMPARE(sample(30), 0x20 + (0x80 - 0x20) * 15 / 30);
    QCOMPARE(sample(45), 0x20);
    QCOMPARE(sample(63), 0x20);
  }

  // The sound is the frames' sound, whatever becomes of the frames.
  void soundStays() {
    avs::ClipPtr clip = EvaluateClip("BlankClip(length=10, width=64, height=48, audio_rate=48000)"
                                     ".SeparateFields().Weave().Bob()",
                                     media_.dir());
    QCOMPARE(clip->info().sampleCount, int64_t{48000 * 10 / 24});
    QCOMPARE(clip->info().frameCount, int64_t{20});
  }

  void refusals_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    QTest::newRow("Weave of frames") << "Weave()" << "Weave: the clip is frame-based";
    QTest::newRow("SeparateFields of fields") << "SeparateFields().SeparateFields()"
                                              << "SeparateFields: the clip is already field-based";
    QTest::newRow("YV12 fields of odd height") << "Crop(0, 0, 0, -2).SeparateFields()"
                                               << "YV12 fields need a height that is a multiple of 4";
    QTest::newRow("Bob to an odd YV12 height") << "Bob(height=63)" << "Bob: YV12 needs an even height";
    QTest::newRow("Bob to an absurd height") << "Bob(height=100000)" << "Bob: the size 96x100000 is out of range";
    QTest::newRow("Weave of a single field") << "SeparateFields().Trim(0, -1).Weave()"
                                             << "there is no pair of fields to weave";
    QTest::newRow("SeparateRows of an uneven height") << "SeparateRows(3)"
                                                      << "the height of every channel of the YV12 clip must be a multiple of 3";
    QTest::newRow("SeparateColumns of chroma") << "SeparateColumns(32)"
                                               << "the width of every channel of the YV12 clip must be a multiple of 32";
    QTest::newRow("SeparateRows(0)") << "SeparateRows(0)" << "interval must be from 1 to 8192";
    QTest::newRow("WeaveColumns too wide") << "WeaveColumns(100)" << "the size 9600x64 is out of range";
    QTest::newRow("PeculiarBlend past the picture") << "PeculiarBlend(65)" << "cutoff must be from 0 to the picture's height";
  }
  void refusals() {
    QFETCH(QString, script);
    QFETCH(QString, message);
    const QString error = EvaluationError("AviSource(\"yv12.avi\")\n" + script, media_.dir());
    QVERIFY2(error.startsWith("t.avs, line 2: ") && error.contains(message), qPrintable(error));
  }
};

QTEST_GUILESS_MAIN(FieldFunctionsTest)
#include "tst_field_functions.moc"
