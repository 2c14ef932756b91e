// Layout functions: flips and turns (through libavfilter) frame for frame
// against ffmpeg's own filters, in order and out of order, and Crop's
// refusal of areas outside the picture.
#include "media_fixture.h"
#include "tools/engine/reading.h"

#include <QtTest>

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

  // Offsets whose sums leave the range of numbers are refused like any area
  // outside the picture; they once read memory beside the frame.
  void cropRefusesAreasOutside_data() {
    QTest::addColumn<QString>("arguments");
    QTest::newRow("left and width summing past 2^63") << "2147483647 * 65536 * 65536 + 64, 0, 65536 * 65536 + 600, 0";
    QTest::newRow("top and height summing past 2^63") << "0, 2147483647 * 65536 * 65536 + 64, 0, 65536 * 65536 + 400";
    QTest::newRow("negative width from a huge left") << "2147483647 * 65536 * 65536, 0, -2147483647 * 65536 * 65536, 0";
    QTest::newRow("one pixel past the right edge") << "2, 0, 640, 0";
    QTest::newRow("negative left") << "-2, 0, 0, 0";
  }
  void cropRefusesAreasOutside() {
    QFETCH(QString, arguments);
    QString error = EvaluationError("BlankClip(pixel_type=\"YV12\")\nCrop(" + arguments + ")", media_.dir());
    QVERIFY2(error.startsWith("t.avs, line 2: Crop: the area") && error.contains("is not inside the 640x480 picture"),
             qPrintable(error));
  }
};

QTEST_GUILESS_MAIN(LayoutFunctionsTest)
#include "tst_layout_functions.moc"
