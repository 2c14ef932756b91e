// Views for looking at clips: Compare's figures against their formulas over
// the compared samples and its PSNR against ffmpeg's psnr filter, its
// drawing on the picture, and its refusals.
#include "media_fixture.h"
#include "tools/engine/reading.h"

#include <QtEndian>
#include <QtTest>

#include <climits>
#include <cmath>
#include <functional>

class DebugFunctionsTest : public QObject {
  Q_OBJECT

  MediaFolder media_;
  static constexpr int kFrames = 3;
  int logs_ = 0;

  // One frame's line of a Compare log.
  struct Figures {
    int frame = -1;
    double meanAbsolute = 0, mean = 0, psnr = 0;
    int maxPositive = 0, maxNegative = 0;
  };

  // The log Compare writes for `script` (a Compare call without its log
  // file, which is added) when frames 0 to kFrames - 1 are read in order
  // and the clip is let go.
  QStringList CompareLog(const QString& script) {
    const QString log = QString("compare-%1.log").arg(++logs_);
    {
      const avs::ClipPtr clip = EvaluateClip(script + ", logfile=\"" + log + "\")", media_.dir());
      avs::Reading reading;
      for (int n = 0; n < kFrames; ++n) reading.Frame(*clip, n);
    }
    return QString::fromUtf8(media_.read(log)).split('\n', Qt::SkipEmptyParts);
  }

  static Figures ParseLine(const QString& line) {
    const QStringList f = line.simplified().split(' ');
    if (f.size() != 6) return {};
    return {f[0].toInt(), f[1].toDouble(), f[2].toDouble(), f[5].toDouble(), f[3].toInt(), f[4].toInt()};
  }

  // The figures of the documented formulas over the samples `keep` picks of
  // two pictures' samples (bytes, or 16-bit words for deeper pictures).
  static Figures Expected(const QByteArray& filtered, const QByteArray& original,
                          const std::function<bool(qsizetype)>& keep, int bits = 8) {
    const int size = bits > 8 ? 2 : 1;
    auto sample = [size](const QByteArray& bytes, qsizetype i) {
      return size == 1 ? static_cast<uint8_t>(bytes[i]) : qFromLittleEndian<quint16>(bytes.constData() + 2 * i);
    };
    const double peak = (1 << bits) - 1;
    Figures e;
    double absolute = 0, sum = 0, squares = 0, samples = 0;
    e.maxPositive = INT_MIN;
    e.maxNegative = INT_MAX;
    for (qsizetype i = 0; i < filtered.size() / size; ++i) {
      if (!keep(i)) continue;
      const int d = sample(filtered, i) - sample(original, i);
      absolute += std::abs(d);
      sum += d;
      squares += static_cast<double>(d) * d;
      samples += 1;
      e.maxPositive = std::max(e.maxPositive, d);
      e.maxNegative = std::min(e.maxNegative, d);
    }
    e.meanAbsolute = absolute / samples;
    e.mean = sum / samples;
    e.psnr = squares > 0 ? std::min(100.0, 10 * std::log10(peak * peak * samples / squares)) : 100.0;
    return e;
  }

 private slots:
  void initTestCase() {
    const QStringList source = {"-f", "lavfi", "-i", "testsrc2=s=64x48:r=25", "-frames:v", QString::number(kFrames)};
    QVERIFY(media_.pixelTypeSet(source));
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25", "-frames:v", QString::number(kFrames),
                           "-c:v", "ffv1", "-pix_fmt", "yuv444p", "large.avi"}));
    // The same pictures with noise, for ffmpeg's psnr to measure.
    QVERIFY(media_.ffmpeg(source + QStringList{"-vf", "noise=alls=20:allf=t", "-c:v", "ffv1", "-pix_fmt", "yuv420p",
                                               "noisy.avi"}));
  }

  // Each frame's figures over the channels named, from the samples the
  // channels hold: a plane or all of them, an interleaved picture's bytes
  // but alpha's.
  void compareFollowsTheFormulas_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("channels");
    QTest::addColumn<QString>("samples");  // all, first plane, no alpha
    QTest::newRow("YV12, all planes") << "yv12.avi" << "Blur(1.0)" << "" << "all";
    QTest::newRow("YV24, luma") << "yv24.avi" << "Levels(0, 1.2, 255, 10, 240)" << "y" << "first plane";
    QTest::newRow("YV24, luma named twice") << "yv24.avi" << "Sharpen(0.6)" << "YY" << "first plane";
    QTest::newRow("YUY2") << "yuy2.avi" << "Blur(0.8)" << "" << "all";
    QTest::newRow("RGB24") << "rgb24.avi" << "Invert(\"G\")" << "" << "all";
    QTest::newRow("RGB24 in another order") << "rgb24.avi" << "RGBAdjust(1.1, 0.9, 1.0)" << "bgr" << "all";
    QTest::newRow("RGB32 without alpha") << "rgb32.avi" << "RGBAdjust(0.8, 1.0, 1.2, 0.5)" << "" << "no alpha";
    QTest::newRow("Y8") << "y8.avi" << "Blur(1.0)" << "" << "all";
    QTest::newRow("the same pictures") << "yv12.avi" << "Invert().Invert()" << "" << "all";
  }
  void compareFollowsTheFormulas() {
    QFETCH(QString, source);
    QFETCH(QString, filter);
    QFETCH(QString, channels);
    QFETCH(QString, samples);
    const QString original = "AviSource(\"" + source + "\")";
    const QString filtered = original + "." + filter;
    const QStringList lines =
        CompareLog("Compare(" + filtered + ", " + original + ", \"" + channels + "\"");
    QCOMPARE(lines.size(), 2 + kFrames + 6);
    const avs::ClipPtr a = EvaluateClip(filtered, media_.dir());
    const avs::ClipPtr b = EvaluateClip(original, media_.dir());
    const int planeBytes = a->info().width * a->info().height;
    double worst = 1000, best = 0, psnrSum = 0;
    avs::Reading reading;
    for (int n = 0; n < kFrames; ++n) {
      const QByteArray fa = PictureBytes(*reading.Frame(*a, n)), fb = PictureBytes(*reading.Frame(*b, n));
      const Figures e = Expected(fa, fb, [&](qsizetype i) {
        return samples == "all" || (samples == "first plane" && i < planeBytes) || (samples == "no alpha" && i % 4 != 3);
      });
      const Figures got = ParseLine(lines[2 + n]);
      QCOMPARE(got.frame, n);
      QVERIFY2(std::abs(got.meanAbsolute - e.meanAbsolute) < 1e-4, qPrintable(lines[2 + n]));
      QVERIFY2(std::abs(got.mean - e.mean) < 1e-4, qPrintable(lines[2 + n]));
      QCOMPARE(got.maxPositive, e.maxPositive);
      QCOMPARE(got.maxNegative, e.maxNegative);
      QVERIFY2(std::abs(got.psnr - e.psnr) < 1e-4, qPrintable(lines[2 + n] + " against " + QString::number(e.psnr)));
      worst = std::min(worst, e.psnr);
      best = std::max(best, e.psnr);
      psnrSum += e.psnr;
    }
    QCOMPARE(lines[2 + kFrames], QString("frames compared: %1").arg(kFrames));
    const QStringList psnr = lines[2 + kFrames + 4].simplified().split(' ');
    QCOMPARE(psnr.size(), 4);
    QVERIFY(std::abs(psnr[1].toDouble() - worst) < 1e-4);
    QVERIFY(std::abs(psnr[2].toDouble() - psnrSum / kFrames) < 1e-4);
    QVERIFY(std::abs(psnr[3].toDouble() - best) < 1e-4);
  }

  // The PSNR of all three planes is ffmpeg's psnr_avg, frame by frame.
  void comparePsnrMatchesFfmpeg() {
    QVERIFY(media_.ffmpeg({"-i", "noisy.avi", "-i", "yv12.avi", "-lavfi", "psnr=stats_file=psnr.txt", "-f", "null",
                           "-"}));
    const QStringList theirs = QString::fromUtf8(media_.read("psnr.txt")).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(theirs.size(), kFrames);
    const QStringList ours = CompareLog("Compare(AviSource(\"noisy.avi\"), AviSource(\"yv12.avi\")");
    for (int n = 0; n < kFrames; ++n) {
      const QRegularExpressionMatch m = QRegularExpression("psnr_avg:([0-9.]+)").match(theirs[n]);
      QVERIFY2(m.hasMatch(), qPrintable(theirs[n]));
      QVERIFY2(std::abs(ParseLine(ours[2 + n]).psnr - m.captured(1).toDouble()) < 0.01,
               qPrintable(ours[2 + n] + " against " + theirs[n]));
    }
  }

  // On the picture: the figures at the top left, the graph along the
  // bottom; the rest of the filtered picture and its length unchanged.
  void compareDrawsOnTheFilteredClip_data() {
    QTest::addColumn<bool>("graph");
    QTest::newRow("with the graph") << true;
    QTest::newRow("without the graph") << false;
  }
  void compareDrawsOnTheFilteredClip() {
    QFETCH(bool, graph);
    const QString source = "AviSource(\"large.avi\")";
    const avs::ClipPtr clip = EvaluateClip(
        "Compare(" + source + ", " + source + ".Blur(1), show_graph=" + (graph ? "true" : "false") + ")", media_.dir());
    QCOMPARE(clip->info().frameCount, kFrames);
    avs::Reading reading;
    const avs::FrameRef ours = reading.Frame(*clip, 0);
    const avs::FrameRef theirs = ScriptFrame(source, media_.dir(), 0);
    const int width = ours->width, height = ours->height;
    auto differs = [&](int top, int bottom) {
      for (int y = top; y < bottom; ++y)
        for (int x = 0; x < width; ++x)
          if (ours->data[0][y * ours->linesize[0] + x] != theirs->data[0][y * theirs->linesize[0] + x]) return true;
      return false;
    };
    QVERIFY(differs(0, 12));  // the text
    // The graph's rows are the bottom quarter; the first frame's point
    // stands in the first column.
    const int graphTop = height - height / 4;
    QVERIFY(!differs(height / 2, graphTop));
    QCOMPARE(differs(graphTop, height), graph);
  }

  // A 10-bit picture's figures are in its own levels, its PSNR against
  // 1023.
  void compareOfDeeperPictures() {
    const QString deep = "AviSource(\"yv12.avi\").ConvertBits(10)";
    const QStringList lines = CompareLog("Compare(" + deep + ".FlipVertical(), " + deep + ", \"Y\"");
    const avs::ClipPtr a = EvaluateClip(deep + ".FlipVertical()", media_.dir());
    const avs::ClipPtr b = EvaluateClip(deep, media_.dir());
    const qsizetype luma = a->info().width * a->info().height;
    avs::Reading reading;
    const Figures e = Expected(PictureBytes(*reading.Frame(*a, 1)), PictureBytes(*reading.Frame(*b, 1)),
                               [luma](qsizetype i) { return i < luma; }, 10);
    const Figures got = ParseLine(lines[3]);
    QCOMPARE(got.frame, 1);
    QVERIFY2(std::abs(got.meanAbsolute - e.meanAbsolute) < 1e-4, qPrintable(lines[3]));
    QCOMPARE(got.maxPositive, e.maxPositive);
    QVERIFY2(got.maxPositive > 255, qPrintable(lines[3]));
    QVERIFY2(std::abs(got.psnr - e.psnr) < 1e-4, qPrintable(lines[3] + " against " + QString::number(e.psnr)));
  }

  void compareRefuses_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    const QString yv12 = "AviSource(\"yv12.avi\")";
    QTest::newRow("other sizes") << "Compare(" + yv12 + ", " + yv12 + ".Crop(0, 0, 32, 32))" << "the same size";
    QTest::newRow("other pixel types") << "Compare(" + yv12 + ", " + yv12 + ".ConvertToYV24())" << "the same pixel type";
    QTest::newRow("alpha of YUV") << "Compare(" + yv12 + ", " + yv12 + ", \"YA\")" << "the channel A is not";
    QTest::newRow("red of YUV") << "Compare(" + yv12 + ", " + yv12 + ", \"R\")" << "the channel R is not";
    QTest::newRow("float pictures") << "Compare(AviSource(\"y8.avi\").ConvertBits(32), AviSource(\"y8.avi\").ConvertBits(32))"
                                    << "float pictures cannot be compared";
    QTest::newRow("chroma of Y8") << "Compare(AviSource(\"y8.avi\"), AviSource(\"y8.avi\"), \"U\")"
                                  << "the channel U is not";
  }
  void compareRefuses() {
    QFETCH(QString, script);
    QFETCH(QString, message);
    const QString error = EvaluationError(script, media_.dir());
    QVERIFY2(error.contains(message), qPrintable(error));
  }

  // RGB32's alpha is compared when named.
  void compareTakesAlphaWhenNamed() {
    const QString rgb32 = "AviSource(\"rgb32.avi\")";
    const QStringList lines = CompareLog("Compare(" + rgb32 + ".ResetMask(), " + rgb32 + ".Mask(" + rgb32 +
                                         ".Invert()), \"A\"");
    const avs::ClipPtr a = EvaluateClip(rgb32 + ".ResetMask()", media_.dir());
    const avs::ClipPtr b = EvaluateClip(rgb32 + ".Mask(" + rgb32 + ".Invert())", media_.dir());
    avs::Reading reading;
    const Figures e = Expected(PictureBytes(*reading.Frame(*a, 0)), PictureBytes(*reading.Frame(*b, 0)),
                               [](qsizetype i) { return i % 4 == 3; });
    const Figures got = ParseLine(lines[2]);
    QVERIFY2(std::abs(got.meanAbsolute - e.meanAbsolute) < 1e-4, qPrintable(lines[2]));
    QCOMPARE(got.maxNegative, e.maxNegative);
  }
};

QTEST_GUILESS_MAIN(DebugFunctionsTest)
#include "tst_debug_functions.moc"
