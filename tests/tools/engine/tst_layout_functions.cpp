// Layout functions: flips and turns (through libavfilter) frame for frame
// against ffmpeg's own filters, in order and out of order, and Crop's
// refusal of areas outside the picture.
#include "media_fixture.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/reading.h"

#include <QtTest>

#include <limits>

extern "C" {
#include <libavutil/imgutils.h>
}

class LayoutFunctionsTest : public QObject {
  Q_OBJECT

  MediaFolder media_;

 private slots:
  void initTestCase() {
    // Lossless sources, so that both sides start from the same pixels.
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=96x64:r=25", "-frames:v", "12", "-c:v", "ffv1",
                           "-pix_fmt", "yuv420p", "yv12.avi"}));
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=96x64:r=25", "-frames:v", "12", "-c:v", "ffv1",
                           "-pix_fmt", "yuv444p", "yv24.avi"}));
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=96x64:r=25", "-frames:v", "12", "-c:v", "rawvideo",
                           "-pix_fmt", "bgr24", "rgb24.avi"}));
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=96x64:r=25", "-frames:v", "12", "-c:v", "rawvideo",
                           "-pix_fmt", "bgra", "rgb32.avi"}));
  }

  void flipsAndTurnsMatchFfmpeg_data() {
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("pixelFormat");
    const std::pair<const char*, const char*> functions[] = {{"FlipHorizontal", "hflip"},
                                                             {"FlipVertical", "vflip"},
                                                             {"TurnLeft", "transpose=cclock"},
                                                             {"TurnRight", "transpose=clock"},
                                                             {"Turn180", "hflip,vflip"}};
    const std::pair<const char*, const char*> sources[] = {
        {"yv12.avi", "yuv420p"}, {"yv24.avi", "yuv444p"}, {"rgb24.avi", "bgr24"}, {"rgb32.avi", "bgra"}};
    for (auto [function, filter] : functions)
      for (auto [source, format] : sources)
        QTest::addRow("%s %s", function, format) << function << filter << source << format;
  }
  void flipsAndTurnsMatchFfmpeg() {
    QFETCH(QString, function);
    QFETCH(QString, filter);
    QFETCH(QString, source);
    QFETCH(QString, pixelFormat);
    const QString expected = function + "-" + pixelFormat + ".raw";
    QVERIFY(media_.ffmpeg({"-i", source, "-vf", filter, "-pix_fmt", pixelFormat, "-f", "rawvideo", expected}));
    const QByteArray theirs = media_.read(expected);
    avs::ClipPtr clip = EvaluateClip("AviSource(\"" + source + "\")." + function + "()", media_.dir());
    const avs::ClipInfo& info = clip->info();
    const bool turns = function.startsWith("TurnL") || function.startsWith("TurnR");
    QCOMPARE(info.width, turns ? 64 : 96);
    QCOMPARE(info.height, turns ? 96 : 64);
    QCOMPARE(info.frameCount, int64_t{12});
    const int frameBytes = av_image_get_buffer_size(info.pixelFormat, info.width, info.height, 1);
    QCOMPARE(theirs.size(), 12 * frameBytes);
    // In order, then backwards and by jumps through a new reading.
    avs::Reading inOrder;
    for (int64_t n = 0; n < 12; ++n)
      QVERIFY2(PictureBytes(*inOrder.Frame(*clip, n)) == theirs.mid(static_cast<qsizetype>(n) * frameBytes, frameBytes),
               qPrintable(QString("frame %1").arg(n)));
    avs::Reading outOfOrder(0);
    for (int64_t n : {11, 3, 2, 9, 0, 10, 5})
      QVERIFY2(PictureBytes(*outOfOrder.Frame(*clip, n)) == theirs.mid(static_cast<qsizetype>(n) * frameBytes, frameBytes),
               qPrintable(QString("frame %1 out of order").arg(n)));
  }

  // 4:2:2 pictures turn through 4:4:4 (libavfilter converts on the way);
  // a turn that would leave an odd subsampled side is refused.
  void turnsOfSubsampledPictures() {
    for (const char* type : {"YV16", "YUY2", "YV12"}) {
      avs::ClipPtr turned = EvaluateClip(QString("BlankClip(length=3, width=64, height=48, pixel_type=\"%1\", color=$3070B0)"
                                             ".TurnLeft()").arg(type),
                                     media_.dir());
      QCOMPARE(turned->info().width, 48);
      QCOMPARE(turned->info().height, 64);
      avs::Reading reading;
      QVERIFY(reading.Frame(*turned, 2));
    }
    QString error = EvaluationError("BlankClip(width=64, height=49, pixel_type=\"YV16\").TurnRight()", media_.dir());
    QVERIFY2(error.contains("t.avs, line 1: TurnRight: YV16 needs an even width"), qPrintable(error));
  }

  // Offsets whose sums leave the range of 64-bit numbers (which scripts
  // once passed) are refused like any area outside the picture; they read
  // memory beside the frame.
  void cropRefusesAreasOutside_data() {
    QTest::addColumn<qint64>("left");
    QTest::addColumn<qint64>("top");
    QTest::addColumn<qint64>("width");
    QTest::addColumn<qint64>("height");
    const qint64 big = qint64(1) << 62;
    QTest::newRow("left and width summing past 2^63") << (std::numeric_limits<qint64>::max() - (qint64(1) << 32) + 64) << qint64(0)
                                                      << (qint64(1) << 32) + 600 << qint64(0);
    QTest::newRow("top and height summing past 2^63") << qint64(0) << big + 64 << qint64(0) << big + 400;
    QTest::newRow("negative width from a huge left") << big << qint64(0) << -big << qint64(0);
    QTest::newRow("largest ints") << qint64(2147483647) << qint64(0) << qint64(2147483647) << qint64(0);
    QTest::newRow("one pixel past the right edge") << qint64(2) << qint64(0) << qint64(640) << qint64(0);
    QTest::newRow("negative left") << qint64(-2) << qint64(0) << qint64(0) << qint64(0);
  }
  void cropRefusesAreasOutside() {
    QFETCH(qint64, left);
    QFETCH(qint64, top);
    QFETCH(qint64, width);
    QFETCH(qint64, height);
    avs::FunctionTable table;
    avs::RegisterLayoutFunctions(table);
    avs::Interpreter interp;
    avs::Call call{interp, "Crop", "t.avs, line 2", media_.dir().toStdString(),
                   {EvaluateClip("BlankClip(pixel_type=\"YV12\")", media_.dir()), avs::Value(int64_t{left}),
                    avs::Value(int64_t{top}), avs::Value(int64_t{width}), avs::Value(int64_t{height}), avs::Value()},
                   {}};
    try {
      table.at("crop").body(call);
      QFAIL("the area was accepted");
    } catch (const avs::ScriptError& e) {
      QVERIFY2(QString(e.what()).startsWith("t.avs, line 2: Crop: the area") &&
                   QString(e.what()).contains("is not inside the 640x480 picture"),
               e.what());
    }
  }
};

QTEST_GUILESS_MAIN(LayoutFunctionsTest)
#include "tst_layout_functions.moc"
