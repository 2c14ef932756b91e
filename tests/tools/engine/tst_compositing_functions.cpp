// Compositing functions: Overlay's opaque Blend frame for frame against
// ffmpeg's overlay at places inside, across and outside the picture; its
// opacity, mask and modes, Layer's documented formulas and Mask's alpha as
// sample values computed here; and the refusals of clips that do not fit.
#include <QtTest>
#include <cmath>

#include "media_fixture.h"
#include "tools/engine/reading.h"

class CompositingFunctionsTest : public QObject {
  Q_OBJECT

  MediaFolder media_;
  int outputs_ = 0;

  QByteArray Frames(const QString& script, int64_t* count = nullptr) { return ScriptPictures(script, media_.dir(), count); }
  avs::FrameRef Frame(const QString& script, int64_t n = 0) { return ScriptFrame(script, media_.dir(), n); }
  static int At(const avs::FrameRef& frame, int plane, int x, int y) {
    return frame->data[plane][y * frame->linesize[plane] + x];
  }
  // A YV24 clip of one colour given as Y, U and V, three frames long.
  QString Flat(int y, int u, int v, int width = 32, int height = 16) {
    const QString name = QString("flat-%1-%2-%3-%4x%5.avi").arg(y).arg(u).arg(v).arg(width).arg(height);
    if (!QFile::exists(media_.path(name)) &&
        !media_.ffmpeg({"-f", "lavfi", "-i", QString("color=c=black:s=%1x%2:r=25").arg(width).arg(height), "-vf",
                        QString("format=yuv444p,geq=lum=%1:cb=%2:cr=%3").arg(y).arg(u).arg(v), "-frames:v", "3", "-c:v",
                        "ffv1", name}))
      return "the source could not be made";
    return "AviSource(\"" + name + "\")";
  }
  static void Near(int got, double expected, const QString& what) {
    if (std::abs(got - expected) > 1)
      QFAIL(qPrintable(QString("%1: %2 where %3 is due").arg(what).arg(got).arg(expected)));
  }
  void Refused(const QString& script, const QString& message) {
    const QString error = EvaluationError(script, media_.dir());
    QVERIFY2(error.contains(message), qPrintable(error));
  }

 private slots:
  void initTestCase() {
    for (const char* format : {"yuv420p", "yuv444p"}) {
      QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=96x64:r=25", "-frames:v", "12", "-c:v", "ffv1",
                             "-pix_fmt", format, QString("base-%1.avi").arg(format)}));
      // A shorter overlay of other content, which repeats its last frame.
      QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "mandelbrot=s=40x30:r=25", "-frames:v", "5", "-c:v", "ffv1",
                             "-pix_fmt", format, QString("top-%1.avi").arg(format)}));
    }
  }

  // An opaque Blend without a mask is ffmpeg's overlay: frame for frame at
  // places inside, across each edge and wholly outside the picture.
  void blendMatchesFfmpegOverlay_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    for (const char* format : {"yuv420p", "yuv444p"}) {
      const int places[][2] = {{0, 0}, {20, 10}, {-10, -6}, {70, 50}, {56, 34}, {200, 0}, {-40, 0}, {0, -30}};
      for (auto [x, y] : places) QTest::addRow("%s at %d,%d", format, x, y) << format << x << y;
    }
  }
  void blendMatchesFfmpegOverlay() {
    QFETCH(QString, format);
    QFETCH(int, x);
    QFETCH(int, y);
    const QString base = "base-" + format + ".avi", top = "top-" + format + ".avi";
    int64_t frames = 0;
    const QByteArray ours =
        Frames(QString("Overlay(AviSource(\"%1\"), AviSource(\"%2\"), %3, %4)").arg(base, top).arg(x).arg(y), &frames);
    QCOMPARE(frames, int64_t{12});
    const QString expected = QString("overlay-%1.raw").arg(++outputs_);
    QVERIFY(media_.ffmpeg(
        {"-i", base, "-i", top, "-filter_complex",
         QString("[0][1]overlay=x=%1:y=%2:format=%3").arg(x).arg(y).arg(format == "yuv420p" ? "yuv420" : "yuv444"),
         "-pix_fmt", format, "-f", "rawvideo", expected}));
    const QByteArray theirs = media_.read(expected);
    QCOMPARE(ours.size(), theirs.size());
    QVERIFY2(ours == theirs, "Overlay differs from ffmpeg's overlay");
  }

  // Opacity and a mask weigh the overlay sample by sample; the edges of the
  // overlay's area sit exactly at x, y and x + width, y + height.
  void opacityAndMaskWeighTheOverlay() {
    const QString script = QString("b = %1\no = %2\nm = StackHorizontal(%3, %4)\nOverlay(b, o, 10, 5, m, 0.75)")
                               .arg(Flat(60, 100, 150, 64, 48), Flat(200, 30, 220), Flat(255, 128, 128, 12, 16),
                                    Flat(100, 128, 128, 20, 16));
    avs::FrameRef out = Frame(script, 2);
    for (int plane = 0; plane < 3; ++plane) {
      const int b = std::array{60, 100, 150}[plane], o = std::array{200, 30, 220}[plane];
      const QString p = QString("plane %1").arg(plane);
      // Outside the overlay's area, around each edge.
      for (auto [x, y] : {std::pair{9, 5}, {10, 4}, {42, 5}, {10, 21}}) Near(At(out, plane, x, y), b, p + " outside");
      // The mask's white part, then its grey part: the mask's own sample
      // weighs, not the mask's luma range.
      for (auto [x, y] : {std::pair{10, 5}, {21, 20}})
        Near(At(out, plane, x, y), b + (o - b) * 0.75, p + " under white");
      for (auto [x, y] : {std::pair{22, 5}, {41, 20}})
        Near(At(out, plane, x, y), b + (o - b) * 0.75 * 100 / 255, p + " under grey");
    }
    // opacity 0 leaves the base; an omitted opacity is 1.
    avs::FrameRef none = Frame(QString("Overlay(%1, %2, opacity=0.0)").arg(Flat(60, 100, 150), Flat(200, 30, 220)));
    QCOMPARE(At(none, 0, 0, 0), 60);
    avs::FrameRef full = Frame(QString("Overlay(%1, %2, mode=\"blend\")").arg(Flat(60, 100, 150), Flat(200, 30, 220)));
    QCOMPARE(At(full, 0, 0, 0), 200);
    QCOMPARE(At(full, 2, 0, 0), 220);
  }

  // In YV12 a chroma sample under the mask's edge takes the mean of the
  // four mask samples it covers (greymask); with greymask=false the mask's
  // own chroma weighs it.
  void subsampledMaskFollowsTheLumaUnderIt() {
    // White over luma columns 0 to 6, luma 0 from 7 on.
    const QString mask = Flat(255, 128, 128) + ".Crop(0, 0, 7, 0).AddBorders(0, 0, 25, 0, color_yuv=$008080)";
    const QString script = QString("b = %1.ConvertToYV12()\no = %2.ConvertToYV12()\nOverlay(b, o, 0, 0, %3%4)")
                               .arg(Flat(60, 100, 150, 64, 48), Flat(200, 30, 220));
    avs::FrameRef grey = Frame(script.arg(mask, ""));
    QCOMPARE(At(grey, 0, 6, 0), 200);
    QCOMPARE(At(grey, 0, 7, 0), 60);
    QCOMPARE(At(grey, 1, 2, 0), 30);                                // covers luma 4 and 5: all white
    Near(At(grey, 1, 3, 0), (100 + 30) / 2.0, "U under the edge");  // luma 6 white, 7 black
    QCOMPARE(At(grey, 1, 4, 0), 100);
    // The mask's chroma of 128 weighs every chroma sample by about a half.
    avs::FrameRef own = Frame(script.arg(mask, ", greymask=false"));
    Near(At(own, 1, 0, 0), 100 + (30 - 100) * 128 / 255.0, "U under the mask's own chroma");
    Near(At(own, 1, 8, 0), 100 + (30 - 100) * 128 / 255.0, "U under the black part's chroma");
  }

  // Each mode on flat pictures, against its documented effect.
  void modes_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QList<int>>("base");  // Y, U, V
    QTest::addColumn<QList<int>>("overlay");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("Add") << "Add" << QList<int>{100, 128, 128} << QList<int>{60, 128, 128} << QList<int>{160, 128, 128};
    QTest::newRow("Add past white") << "Add" << QList<int>{200, 128, 128} << QList<int>{100, 128, 128}
                                    << QList<int>{255, 128, 128};
    QTest::newRow("Subtract") << "Subtract" << QList<int>{100, 128, 128} << QList<int>{60, 128, 128}
                              << QList<int>{40, 128, 128};
    QTest::newRow("Subtract past black") << "Subtract" << QList<int>{50, 90, 170} << QList<int>{100, 128, 128}
                                         << QList<int>{0, 97, 162};  // chroma 205/255 of its way from grey
    QTest::newRow("Multiply by white") << "Multiply" << QList<int>{100, 90, 170} << QList<int>{255, 128, 128}
                                       << QList<int>{100, 90, 170};
    QTest::newRow("Multiply by mid grey")
        << "Multiply" << QList<int>{200, 90, 170} << QList<int>{128, 128, 128} << QList<int>{100, 109, 149};
    QTest::newRow("Chroma") << "Chroma" << QList<int>{100, 90, 170} << QList<int>{200, 30, 220}
                            << QList<int>{100, 30, 220};
    QTest::newRow("Luma") << "Luma" << QList<int>{100, 90, 170} << QList<int>{200, 30, 220} << QList<int>{200, 90, 170};
    QTest::newRow("Lighten, overlay lighter")
        << "Lighten" << QList<int>{100, 90, 170} << QList<int>{200, 30, 220} << QList<int>{200, 30, 220};
    QTest::newRow("Lighten, overlay darker")
        << "Lighten" << QList<int>{100, 90, 170} << QList<int>{50, 30, 220} << QList<int>{100, 90, 170};
    QTest::newRow("Darken, overlay darker")
        << "Darken" << QList<int>{100, 90, 170} << QList<int>{50, 30, 220} << QList<int>{50, 30, 220};
    QTest::newRow("Darken, overlay lighter")
        << "Darken" << QList<int>{100, 90, 170} << QList<int>{200, 30, 220} << QList<int>{100, 90, 170};
    QTest::newRow("Difference of equals")
        << "Difference" << QList<int>{100, 90, 170} << QList<int>{100, 90, 170} << QList<int>{128, 128, 128};
    QTest::newRow("Difference") << "Difference" << QList<int>{100, 90, 170} << QList<int>{60, 100, 150}
                                << QList<int>{168, 118, 148};
    QTest::newRow("Exclusion with black")
        << "Exclusion" << QList<int>{100, 90, 170} << QList<int>{0, 128, 128} << QList<int>{100, 90, 170};
    QTest::newRow("Exclusion with white")
        << "Exclusion" << QList<int>{100, 90, 170} << QList<int>{255, 128, 128} << QList<int>{155, 166, 86};
    QTest::newRow("HardLight with black")
        << "HardLight" << QList<int>{100, 90, 170} << QList<int>{0, 128, 128} << QList<int>{0, 128, 128};
    QTest::newRow("HardLight with white")
        << "HardLight" << QList<int>{100, 90, 170} << QList<int>{255, 128, 128} << QList<int>{255, 128, 128};
    // SoftLight darkens under black without reaching it: (1 - 2u)s² + 2us.
    QTest::newRow("SoftLight with black")
        << "SoftLight" << QList<int>{100, 90, 170} << QList<int>{0, 128, 128} << QList<int>{39, 90, 170};
    QTest::newRow("SoftLight with white")
        << "SoftLight" << QList<int>{100, 90, 170} << QList<int>{255, 128, 128} << QList<int>{161, 90, 170};
  }
  void modes() {
    QFETCH(QString, mode);
    QFETCH(QList<int>, base);
    QFETCH(QList<int>, overlay);
    QFETCH(QList<int>, expected);
    avs::FrameRef out =
        Frame(QString("Overlay(%1, %2, 8, 4, mode=\"%3\")")
                  .arg(Flat(base[0], base[1], base[2], 64, 48), Flat(overlay[0], overlay[1], overlay[2]), mode));
    for (int plane = 0; plane < 3; ++plane) {
      Near(At(out, plane, 20, 10), expected[plane], QString("%1 plane %2").arg(mode).arg(plane));
      QCOMPARE(At(out, plane, 7, 10), base[plane]);  // beside the overlay
    }
  }

  // RGB and YUY2 bases are worked in YUV and given back in their own type
  // unless output names another; the base sets the length.
  void otherPixelTypes() {
    const QString script =
        "b = BlankClip(length=10, width=64, height=48, pixel_type=\"%1\", color=$204060)\n"
        "o = BlankClip(length=20, width=16, height=16, pixel_type=\"RGB32\", color=$E0C0A0)\n"
        "Overlay(b, o, 4, 2%2)";
    avs::ClipPtr rgb = EvaluateClip(QString(script).arg("RGB32", ""), media_.dir());
    QCOMPARE(rgb->info().pixelFormat, AV_PIX_FMT_BGRA);
    QCOMPARE(rgb->info().frameCount, int64_t{10});
    avs::Reading reading;
    avs::FrameRef frame = reading.Frame(*rgb, 9);
    const uint8_t* inside = frame->data[0] + 2 * frame->linesize[0] + 4 * 4;
    const uint8_t* outside = frame->data[0] + 2 * frame->linesize[0] + 4 * 3;
    Near(inside[0], 0xA0, "blue inside");
    Near(inside[2], 0xE0, "red inside");
    Near(outside[0], 0x60, "blue outside");
    QCOMPARE(EvaluateClip(QString(script).arg("YUY2", ""), media_.dir())->info().pixelFormat, AV_PIX_FMT_YUYV422);
    QCOMPARE(EvaluateClip(QString(script).arg("YUY2", ", output=\"YV24\""), media_.dir())->info().pixelFormat,
             AV_PIX_FMT_YUV444P);
    // In YUY2, luma moves by single pixels.
    avs::FrameRef yuy2 =
        Frame(QString("BlankClip(width=64, height=48, pixel_type=\"YUY2\", color=$000000)"
                      ".Overlay(BlankClip(width=16, height=16, pixel_type=\"YUY2\", color=$FFFFFF), 3, 0)"));
    QCOMPARE(int(yuy2->data[0][2 * 2]), 16);
    QCOMPARE(int(yuy2->data[0][2 * 3]), 235);
    QCOMPARE(int(yuy2->data[0][2 * 18]), 235);
    QCOMPARE(int(yuy2->data[0][2 * 19]), 16);
  }

  // An odd place in YV12 puts luma exactly there and chroma at the chroma
  // sample it falls in, also left of the picture.
  void oddPlacesInYv12() {
    const QString script = QString("Overlay(%1.ConvertToYV12(), %2.ConvertToYV12(), -3, 5)")
                               .arg(Flat(60, 100, 150, 64, 48), Flat(200, 30, 220));
    avs::FrameRef out = Frame(script);
    QCOMPARE(At(out, 0, 28, 5), 200);  // overlay column 31, its last
    QCOMPARE(At(out, 0, 29, 5), 60);
    QCOMPARE(At(out, 0, 0, 4), 60);
    QCOMPARE(At(out, 0, 0, 20), 200);
    QCOMPARE(At(out, 0, 0, 21), 60);
    // Chroma from -2 (= -3 >> 1 samples of 2) for 16 samples: 0 to 13.
    QCOMPARE(At(out, 1, 13, 3), 30);
    QCOMPARE(At(out, 1, 14, 3), 100);
  }

  // pc_range: RGB goes to YUV and back in the full range, where Add of two
  // greys of 64 makes 128; in the limited range the sum is lighter.
  void pcRangeChangesTheRgbConversion() {
    const QString script =
        "b = BlankClip(width=32, height=16, pixel_type=\"RGB32\", color=$404040)\n"
        "Overlay(b, b, mode=\"add\"%1)";
    avs::FrameRef full = Frame(QString(script).arg(", pc_range=true"));
    avs::FrameRef tv = Frame(QString(script).arg(""));
    Near(full->data[0][0], 128, "blue in the full range");
    const double y = std::round(16 + 64 * 219 / 255.0);  // 64 in the limited range
    Near(tv->data[0][0], (2 * y - 16) * 255 / 219, "blue in the limited range");
  }

  void overlayRefusals_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown mode") << "Overlay(BlankClip(), BlankClip(), mode=\"screen\")"
                                  << "Overlay: unknown mode \"screen\" (Blend, Add";
    QTest::newRow("opacity above 1") << "Overlay(BlankClip(), BlankClip(), opacity=1.5)"
                                     << "Overlay: opacity must be between 0 and 1";
    QTest::newRow("mask of another size") << "Overlay(BlankClip(), BlankClip(width=64), mask=BlankClip(width=32))"
                                          << "Overlay: the mask is 32x480 where the overlay is 64x480";
    QTest::newRow("odd overlay on YV12")
        << "Overlay(BlankClip(pixel_type=\"YV12\"), BlankClip(width=15, height=16, pixel_type=\"RGB32\"))"
        << "Overlay: the overlay's size 15x16 does not suit YV12";
    QTest::newRow("far place") << "Overlay(BlankClip(), BlankClip(), x=100000)"
                               << "Overlay: x and y must be between -8192 and 8192";
    QTest::newRow("unknown output") << "Overlay(BlankClip(), BlankClip(), output=\"RGB30\")"
                                    << "Overlay: unknown pixel type \"RGB30\"";
  }
  void overlayRefusals() {
    QFETCH(QString, script);
    QFETCH(QString, message);
    Refused(script, message);
  }

  // Layer's documented formulas: RGB32 weighs by ((alpha * level + 1) >> 8)
  // / 256 with level 257 by default, so a white mask at the default level is
  // the overlay itself and at 256 is not.
  void layerRgb32() {
    const QString clips =
        "b = BlankClip(length=4, width=64, height=48, pixel_type=\"RGB32\", color=$204060)\n"
        "o = BlankClip(length=4, width=16, height=8, pixel_type=\"RGB32\", color=$E0C0A0)\n"
        "g = BlankClip(length=4, width=16, height=8, pixel_type=\"RGB32\", color=$%1)\n";
    auto blue = [&](const QString& grey, const QString& call, int x, int y) {
      avs::FrameRef f = Frame(clips.arg(grey) + call);
      return int(f->data[0][y * f->linesize[0] + 4 * x]);
    };
    auto formula = [](int b, int o, int alpha, int level) { return b + (((o - b) * ((alpha * level + 1) >> 8)) >> 8); };
    QCOMPARE(blue("FFFFFF", "Layer(b, o.Mask(g))", 0, 0), 0xA0);
    QCOMPARE(blue("FFFFFF", "Layer(b, o.Mask(g), level=256)", 0, 0), formula(0x60, 0xA0, 255, 256));
    QVERIFY(formula(0x60, 0xA0, 255, 256) != 0xA0);
    QCOMPARE(blue("808080", "Layer(b, o.Mask(g), \"add\", 200)", 3, 3), formula(0x60, 0xA0, 128, 200));
    // x and y in their places: the overlay's corner at 5, 3, not 3, 5.
    QCOMPARE(blue("FFFFFF", "Layer(b, o.Mask(g), \"add\", 257, 5, 3)", 5, 3), 0xA0);
    QCOMPARE(blue("FFFFFF", "Layer(b, o.Mask(g), \"add\", 257, 5, 3)", 4, 3), 0x60);
    QCOMPARE(blue("FFFFFF", "Layer(b, o.Mask(g), \"add\", 257, 5, 3)", 5, 2), 0x60);
    QCOMPARE(blue("FFFFFF", "Layer(b, o.Mask(g), \"add\", 257, 5, 3)", 20, 10), 0xA0);
    QCOMPARE(blue("FFFFFF", "Layer(b, o.Mask(g), \"add\", 257, 5, 3)", 21, 10), 0x60);
    QCOMPARE(blue("FFFFFF", "Layer(b, o.Mask(g), \"add\", 257, -10, -4)", 5, 3), 0xA0);
    QCOMPARE(blue("FFFFFF", "Layer(b, o.Mask(g), \"add\", 257, -10, -4)", 6, 3), 0x60);
    // BlankClip's alpha is 255, so Layer without Mask shows the overlay.
    QCOMPARE(blue("FFFFFF", "Layer(b, o)", 0, 0), 0xA0);
    QCOMPARE(blue("FFFFFF", "Layer(b, o.Mask(g), \"subtract\")", 0, 0), 0xFF - 0xA0);
    QCOMPARE(blue("000000", "Layer(b, o.Mask(g), \"fast\")", 0, 0), (0x60 + 0xA0 + 1) / 2);
    QCOMPARE(blue("FFFFFF", "Layer(b, o.Mask(g), \"mul\")", 0, 0), 0x60 * 0xA0 >> 8);
    // Lighten only where the overlay's luma is above the base's by more
    // than the threshold.
    QCOMPARE(blue("FFFFFF", "Layer(b, o.Mask(g), \"lighten\")", 0, 0), 0xA0);
    QCOMPARE(blue("FFFFFF", "Layer(b, o.Mask(g), \"lighten\", threshold=200)", 0, 0), 0x60);
    QCOMPARE(blue("FFFFFF", "Layer(b, o.Mask(g), \"darken\")", 0, 0), 0x60);
    QCOMPARE(blue("FFFFFF", "Layer(o, b, \"darken\")", 0, 0), 0x60);
    // The base's length, not the overlay's.
    QCOMPARE(EvaluateClip(clips.arg("FFFFFF") + "Layer(b.Trim(0, 1), o)", media_.dir())->info().frameCount, int64_t{2});
  }

  // YUY2: base += ((overlay - base) * level) >> 8, level 256 by default, in
  // pixel pairs; without use_chroma only luma changes.
  void layerYuy2() {
    const QString clips =
        "b = BlankClip(length=2, width=64, height=48, pixel_type=\"YUY2\", color=$204060)\n"
        "o = BlankClip(length=2, width=16, height=8, pixel_type=\"YUY2\", color=$E0C0A0)\n";
    avs::FrameRef base = Frame(clips + "b");
    avs::FrameRef over = Frame(clips + "o");
    auto sample = [](const avs::FrameRef& f, int i) { return int(f->data[0][i]); };
    avs::FrameRef full = Frame(clips + "Layer(b, o)");
    for (int i = 0; i < 4; ++i) QCOMPARE(sample(full, i), sample(over, i));
    avs::FrameRef half = Frame(clips + "Layer(b, o, \"add\", 100)");
    for (int i = 0; i < 4; ++i)
      QCOMPARE(sample(half, i), sample(base, i) + (((sample(over, i) - sample(base, i)) * 100) >> 8));
    avs::FrameRef luma = Frame(clips + "Layer(b, o, use_chroma=false)");
    QCOMPARE(sample(luma, 0), sample(over, 0));
    QCOMPARE(sample(luma, 1), sample(base, 1));
    QCOMPARE(sample(luma, 3), sample(base, 3));
    // An odd x moves to the pair's first pixel: -3 starts at -4.
    avs::FrameRef moved = Frame(clips + "Layer(b, o, x=-3)");
    QCOMPARE(sample(moved, 2 * 11), sample(over, 0));
    QCOMPARE(sample(moved, 2 * 12), sample(base, 0));
  }

  // Mask's alpha is the mask's greyscale: Rec.601's weights, full range.
  void maskSetsAlphaFromGrey() {
    const std::pair<const char*, int> colours[] = {{"FF0000", 76},  {"00FF00", 150}, {"0000FF", 29},
                                                   {"FFFFFF", 255}, {"000000", 0},   {"808080", 128}};
    for (auto [colour, grey] : colours) {
      avs::FrameRef f = Frame(QString("BlankClip(width=8, height=4, pixel_type=\"RGB32\", color=$123456)"
                                      ".Mask(BlankClip(width=8, height=4, pixel_type=\"RGB32\", color=$%1))")
                                  .arg(colour));
      QCOMPARE(int(f->data[0][4 * 7 + 3 * f->linesize[0] + 3]), grey);
      QCOMPARE(int(f->data[0][4 * 7 + 3 * f->linesize[0] + 2]), 0x12);  // the colour stays
    }
  }

  void layerAndMaskRefusals_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    QTest::newRow("Layer on YV12") << "Layer(BlankClip(pixel_type=\"YV12\"), BlankClip(pixel_type=\"YV12\"))"
                                   << "Layer: needs RGB32 or YUY2 clips, not YV12";
    QTest::newRow("Layer of two types") << "Layer(BlankClip(pixel_type=\"RGB32\"), BlankClip(pixel_type=\"YUY2\"))"
                                        << "Layer: the overlay is YUY2 where the base is RGB32";
    QTest::newRow("Layer level above 257")
        << "Layer(BlankClip(pixel_type=\"RGB32\"), BlankClip(pixel_type=\"RGB32\"), level=258)"
        << "Layer: level must be between 0 and 257";
    QTest::newRow("Layer YUY2 level above 256")
        << "Layer(BlankClip(pixel_type=\"YUY2\"), BlankClip(pixel_type=\"YUY2\"), level=257)"
        << "Layer: level must be between 0 and 256";
    QTest::newRow("Layer unknown op")
        << "Layer(BlankClip(pixel_type=\"RGB32\"), BlankClip(pixel_type=\"RGB32\"), \"screen\")"
        << "Layer: unknown op \"screen\"";
    QTest::newRow("Layer fast without chroma")
        << "Layer(BlankClip(pixel_type=\"RGB32\"), BlankClip(pixel_type=\"RGB32\"), \"fast\", use_chroma=false)"
        << "Layer: op \"fast\" needs use_chroma=true";
    QTest::newRow("Mask on YV12") << "Mask(BlankClip(pixel_type=\"YV12\"), BlankClip(pixel_type=\"RGB32\"))"
                                  << "Mask: needs RGB32 clips, not YV12";
    QTest::newRow("Mask of another size")
        << "Mask(BlankClip(pixel_type=\"RGB32\"), BlankClip(width=320, pixel_type=\"RGB32\"))"
        << "Mask: the mask is 320x480 where the clip is 640x480";
  }
  void layerAndMaskRefusals() {
    QFETCH(QString, script);
    QFETCH(QString, message);
    Refused(script, message);
  }
};

QTEST_GUILESS_MAIN(CompositingFunctionsTest)
#include "tst_compositing_functions.moc"
