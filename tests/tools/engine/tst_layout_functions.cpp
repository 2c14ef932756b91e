// Layout functions: flips, turns, stacks and borders frame for frame
// against ffmpeg's own filters (in order and out of order), Letterbox and
// the 2:1 reductions against the documented results computed here, and the
// refusals of areas outside the picture and of clips that do not fit.
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
  int outputs_ = 0;

  // Every frame of a script's clip, picture after picture.
  QByteArray Frames(const QString& script, int64_t* count = nullptr) { return ScriptPictures(script, media_.dir(), count); }
  // ffmpeg's raw frames for `args` (inputs and filters) in `pixelFormat`.
  QByteArray Ffmpeg(QStringList args, const QString& pixelFormat) {
    const QString name = QString("ffmpeg-%1.raw").arg(++outputs_);
    if (!media_.ffmpeg(args << "-pix_fmt" << pixelFormat << "-f"
                            << "rawvideo" << name))
      return {};
    return media_.read(name);
  }
  avs::FrameRef FirstFrame(const QString& script) { return ScriptFrame(script, media_.dir()); }

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
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=96x64:r=25", "-frames:v", "12", "-c:v", "rawvideo",
                           "-pix_fmt", "yuyv422", "yuy2.avi"}));
    // Deeper pictures: 10-bit 4:2:0, 16-bit planar RGB, 16-bit grey.
    for (const char* format : {"yuv420p10le", "gbrp16le", "gray16le"})
      QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=96x64:r=25", "-frames:v", "12", "-c:v", "ffv1",
                             "-pix_fmt", format, QString("%1.avi").arg(format)}));
    // Shorter clips of other content to stack beside and below them.
    for (const char* format : {"yuv420p", "yuv444p", "bgr24", "bgra", "yuyv422", "yuv420p10le", "gbrp16le"}) {
      const QString codec = QString(format).startsWith("yuv4") || QString(format).startsWith("gbrp") ? "ffv1" : "rawvideo";
      QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "mandelbrot=s=48x64:r=25", "-frames:v", "7", "-c:v", codec,
                             "-pix_fmt", format, QString("tall-%1.avi").arg(format)}));
      QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "smptebars=s=96x32:r=25", "-frames:v", "5", "-c:v", codec, "-pix_fmt",
                             format, QString("wide-%1.avi").arg(format)}));
    }
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
        {"yv12.avi", "yuv420p"}, {"yv24.avi", "yuv444p"}, {"rgb24.avi", "bgr24"}, {"rgb32.avi", "bgra"},
        {"yuv420p10le.avi", "yuv420p10le"}, {"gbrp16le.avi", "gbrp16le"}, {"gray16le.avi", "gray16le"}};
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

  // Stacks against ffmpeg's hstack and vstack, three clips of which the
  // later ones are shorter: the result lasts as long as the longest, the
  // others repeating their last frame, and the clips keep their order.
  void stacksMatchFfmpeg_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("pixelFormat");
    const std::pair<const char*, const char*> sources[] = {{"yv12.avi", "yuv420p"},
                                                           {"yv24.avi", "yuv444p"},
                                                           {"rgb24.avi", "bgr24"},
                                                           {"rgb32.avi", "bgra"},
                                                           {"yuy2.avi", "yuyv422"},
                                                           {"yuv420p10le.avi", "yuv420p10le"},
                                                           {"gbrp16le.avi", "gbrp16le"}};
    for (auto [source, format] : sources) QTest::addRow("%s", format) << source << format;
  }
  void stacksMatchFfmpeg() {
    QFETCH(QString, source);
    QFETCH(QString, pixelFormat);
    const QString tall = "tall-" + pixelFormat + ".avi", wide = "wide-" + pixelFormat + ".avi";
    int64_t frames = 0;
    const QByteArray ours =
        Frames(QString("a = AviSource(\"%1\")\nb = AviSource(\"%2\")\nStackHorizontal(a, b, a.FlipVertical())")
                   .arg(source, tall),
               &frames);
    QCOMPARE(frames, int64_t{12});
    const QByteArray theirs =
        Ffmpeg({"-i", source, "-i", tall, "-filter_complex", "[0]split[a][c];[c]vflip[f];[a][1][f]hstack=inputs=3"},
               pixelFormat);
    QCOMPARE(ours.size(), theirs.size());
    QVERIFY2(ours == theirs, "StackHorizontal differs from hstack");
    const QByteArray oursV =
        Frames(QString("StackVertical(AviSource(\"%1\"), AviSource(\"%2\"))").arg(wide, source), &frames);
    QCOMPARE(frames, int64_t{12});
    const QByteArray theirsV = Ffmpeg({"-i", wide, "-i", source, "-filter_complex", "[0][1]vstack"}, pixelFormat);
    QCOMPARE(oursV.size(), theirsV.size());
    QVERIFY2(oursV == theirsV, "StackVertical differs from vstack");
  }

  // ShowFiveVersions: three clips side by side above two staggered by half
  // a picture on black, as ffmpeg's stacks and pad lay them out.
  void showFiveVersionsStaggers() {
    const QByteArray ours = Frames("a = AviSource(\"yv24.avi\")\n"
                                   "ShowFiveVersions(a, a.FlipVertical(), a.FlipHorizontal(), a.Turn180(), a.Reverse())");
    const QByteArray theirs = Ffmpeg(
        {"-i", "yv24.avi", "-filter_complex",
         "[0]split=5[a][b][c][d][r];[r]reverse[rev];[b]vflip[b2];[c]hflip[c2];[d]hflip,vflip[d2];"
         "[a][b2][c2]hstack=inputs=3[top];[d2][rev]hstack,pad=288:64:48:0:black[bottom];[top][bottom]vstack"},
        "yuv444p");
    QCOMPARE(ours.size(), theirs.size());
    QVERIFY2(ours == theirs, "ShowFiveVersions differs from the stacks");
  }

  // SkewRows joins the rows and cuts them again: on a picture whose samples
  // count 0, 1, 2... row by row, output sample (x, y) holds its number in
  // the joined row; RGB's rows are joined from the bottom up; CropBottom is
  // Crop counting from the bottom.
  void skewRowsAndCropBottom() {
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "color=c=black:s=10x6:r=25", "-vf", "format=gray,geq=lum='Y*10+X'",
                           "-frames:v", "1", "-c:v", "rawvideo", "-pix_fmt", "gray", "count.avi"}));
    avs::FrameRef skewed = FirstFrame("AviSource(\"count.avi\").SkewRows(3)");
    QCOMPARE(skewed->width, 13);
    QCOMPARE(skewed->height, 5);  // 60 samples in rows of 13, the last part-filled
    const auto at = [](const avs::FrameRef& f, int x, int y) { return static_cast<int>(f->data[0][y * f->linesize[0] + x]); };
    QCOMPARE(at(skewed, 0, 1), 13);
    QCOMPARE(at(skewed, 12, 2), 38);
    QCOMPARE(at(skewed, 7, 4), 59);
    QCOMPARE(at(skewed, 8, 4), 128);  // padding
    avs::FrameRef narrower = FirstFrame("AviSource(\"count.avi\").SkewRows(-4)");
    QCOMPARE(narrower->width, 6);
    QCOMPARE(narrower->height, 10);
    QCOMPARE(at(narrower, 5, 9), 59);
    // RGB: joined from the bottom row up, so the bottom output row starts
    // with the bottom input row.
    avs::FrameRef rgb = FirstFrame("AviSource(\"count.avi\").ConvertToRGB24(matrix=\"PC.601\").SkewRows(2)");
    QCOMPARE(rgb->height, 5);
    QCOMPARE(at(rgb, 0, 4), 50);
    QCOMPARE(at(rgb, 3 * 11, 4), 41);  // pixel 11 of the joined row: row 4's second
    QVERIFY(Frames("AviSource(\"yv12.avi\").CropBottom(10)") == Frames("AviSource(\"yv12.avi\").Crop(0, 0, 0, -10)"));
  }

  // The first clip gives the rate and the sound, however long the others.
  void stackTakesRateAndSoundFromTheFirstClip() {
    avs::ClipPtr clip = EvaluateClip(
        "a = BlankClip(length=10, width=32, height=16, fps=25, audio_rate=48000)\n"
        "b = BlankClip(length=30, width=16, height=16, fps=50, audio_rate=44100)\n"
        "StackHorizontal(a, b)",
        media_.dir());
    QCOMPARE(clip->info().width, 48);
    QCOMPARE(clip->info().frameCount, int64_t{30});
    QCOMPARE(clip->info().fps.num, int64_t{25});
    QCOMPARE(clip->info().sampleRate, 48000);
    QCOMPARE(clip->info().sampleCount, int64_t{19200});
  }

  void stacksRefuseClipsThatDoNotFit_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    QTest::newRow("heights") << "StackHorizontal(BlankClip(height=480), BlankClip(height=240), BlankClip())"
                             << "StackHorizontal: the heights differ: clip 2 is 240 where clip 1 is 480";
    QTest::newRow("widths") << "StackVertical(BlankClip(), BlankClip(), BlankClip(width=320))"
                            << "StackVertical: the widths differ: clip 3 is 320 where clip 1 is 640";
    QTest::newRow("pixel types") << "StackVertical(BlankClip(pixel_type=\"YV12\"), BlankClip(pixel_type=\"RGB32\"))"
                                 << "StackVertical: clip 2 is RGB32 where clip 1 is YV12";
    QTest::newRow("too wide") << "c = BlankClip(width=4096, height=16)\nStackHorizontal(c, c, c)"
                              << "StackHorizontal: the size 8193x16 is out of range";
    QTest::newRow("no video") << "StackHorizontal(BlankClip(), BlankClip().KillVideo())"
                              << "StackHorizontal: clip 2 has no video";
  }
  void stacksRefuseClipsThatDoNotFit() {
    QFETCH(QString, script);
    QFETCH(QString, message);
    const QString error = EvaluationError(script, media_.dir());
    QVERIFY2(error.contains(message), qPrintable(error));
  }

  // AddBorders(left, top, right, bottom) against pad at the same place, in
  // black by default and in a colour.
  void addBordersMatchesPad_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("pixelFormat");
    QTest::addColumn<QString>("colour");
    // (pad widens an 8-bit YUV colour to more bits by repeating its top
    // bits, where limited-range YUV shifts it: tst_bit_depth has those.)
    const std::pair<const char*, const char*> sources[] = {{"yv12.avi", "yuv420p"},   {"yv24.avi", "yuv444p"},
                                                           {"rgb24.avi", "bgr24"},    {"yuy2.avi", "yuyv422"},
                                                           {"gbrp16le.avi", "gbrp16le"}};
    for (auto [source, format] : sources) {
      QTest::addRow("%s default", format) << source << format << QString();
      QTest::addRow("%s $3070B0", format) << source << format << "$3070B0";
    }
  }
  void addBordersMatchesPad() {
    QFETCH(QString, source);
    QFETCH(QString, pixelFormat);
    QFETCH(QString, colour);
    int64_t frames = 0;
    const QString extra = colour.isEmpty() ? QString() : ", color=" + colour;
    const QByteArray ours = Frames(QString("AviSource(\"%1\").AddBorders(2, 4, 6, 8%2)").arg(source, extra), &frames);
    QCOMPARE(frames, int64_t{12});
    const QString padColour = colour.isEmpty() ? "black" : "0x" + colour.mid(1);
    const QByteArray theirs = Ffmpeg({"-i", source, "-vf", "pad=104:76:2:4:color=" + padColour}, pixelFormat);
    QCOMPARE(ours.size(), theirs.size());
    // The border's colour converts as BlankClip's does, which is pad's
    // conversion too.
    QVERIFY2(ours == theirs, "AddBorders differs from pad");
  }

  // Crop against ffmpeg's crop, at every depth and layout.
  void cropMatchesFfmpeg_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("pixelFormat");
    for (auto [source, format] : {std::pair{"yv12.avi", "yuv420p"}, {"rgb24.avi", "bgr24"}, {"yuy2.avi", "yuyv422"},
                                  {"yuv420p10le.avi", "yuv420p10le"}, {"gbrp16le.avi", "gbrp16le"},
                                  {"gray16le.avi", "gray16le"}})
      QTest::addRow("%s", format) << source << format;
  }
  void cropMatchesFfmpeg() {
    QFETCH(QString, source);
    QFETCH(QString, pixelFormat);
    int64_t frames = 0;
    const QByteArray ours = Frames(QString("AviSource(\"%1\").Crop(6, 4, -10, 48)").arg(source), &frames);
    QCOMPARE(frames, int64_t{12});
    const QByteArray theirs = Ffmpeg({"-i", source, "-vf", "crop=80:48:6:4"}, pixelFormat);
    QCOMPARE(ours.size(), theirs.size());
    QVERIFY2(ours == theirs, "Crop differs from crop");
  }

  // color_yuv paints YUV borders as given; RGB32's borders take the
  // colour's alpha byte.
  void addBordersColours() {
    avs::FrameRef yuv = FirstFrame(
        "BlankClip(width=16, height=8, pixel_type=\"YV24\", color=$FFFFFF)"
        ".AddBorders(0, 0, 2, 0, color=$FF0000, color_yuv=$508090)");
    QCOMPARE(yuv->width, 18);
    QCOMPARE(int(yuv->data[0][17]), 0x50);
    QCOMPARE(int(yuv->data[1][17]), 0x80);
    QCOMPARE(int(yuv->data[2][17]), 0x90);
    QCOMPARE(int(yuv->data[0][15]), 235);  // the picture's white
    avs::FrameRef rgb =
        FirstFrame("BlankClip(width=16, height=8, pixel_type=\"RGB32\").AddBorders(0, 1, 0, 0, color=$40102030)");
    const uint8_t* border = rgb->data[0];
    QCOMPARE(int(border[0]), 0x30);
    QCOMPARE(int(border[1]), 0x20);
    QCOMPARE(int(border[2]), 0x10);
    QCOMPARE(int(border[3]), 0x40);
    QCOMPARE(int(rgb->data[0][rgb->linesize[0]]), 0);  // row 1 is the picture
  }

  void bordersRefuseBadSizes_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    QTest::newRow("odd left in YV12") << "BlankClip(pixel_type=\"YV12\").AddBorders(3, 0, 0, 0)"
                                      << "AddBorders: YV12 needs an even left";
    QTest::newRow("odd bottom in YV12") << "BlankClip(pixel_type=\"YV12\").AddBorders(0, 0, 0, 1)"
                                        << "AddBorders: YV12 needs an even bottom";
    QTest::newRow("odd right in YUY2") << "BlankClip(pixel_type=\"YUY2\").AddBorders(0, 0, 1, 0)"
                                       << "AddBorders: YUY2 needs an even right";
    QTest::newRow("negative") << "BlankClip().AddBorders(0, -2, 0, 0)"
                              << "AddBorders: top must be between 0 and 8192";
    QTest::newRow("huge") << "BlankClip().AddBorders(0, 0, 2147483647, 0)"
                          << "AddBorders: right must be between 0 and 8192";
    QTest::newRow("past the largest picture") << "BlankClip().AddBorders(4000, 0, 4000, 0)"
                                              << "AddBorders: the size 8640x480 is out of range";
    QTest::newRow("letterbox taller than the picture")
        << "BlankClip(height=100).Letterbox(50, 52)"
        << "Letterbox: top and bottom cover more than the picture's height";
    QTest::newRow("letterbox odd in YV12") << "BlankClip(pixel_type=\"YV12\").Letterbox(2, 2, 1)"
                                           << "Letterbox: YV12 needs an even x1";
    QTest::newRow("SkewRows of planar YUV") << "BlankClip(pixel_type=\"YV12\").SkewRows(2)" << "SkewRows: needs a clip of one plane";
    QTest::newRow("SkewRows to nothing") << "BlankClip(width=96).SkewRows(-96)" << "leaves no usable width";
    QTest::newRow("SkewRows of YUY2 by an odd number") << "BlankClip(pixel_type=\"YUY2\").SkewRows(1)" << "YUY2 needs an even skew";
    QTest::newRow("CropBottom past the top") << "BlankClip().CropBottom(480)" << "CropBottom: the area";
    QTest::newRow("ShowFiveVersions of other sizes") << "c = BlankClip()\nShowFiveVersions(c, c, c, c, c.Crop(0, 0, 48, 0))"
                                                     << "the five clips must have the same size";
  }
  void bordersRefuseBadSizes() {
    QFETCH(QString, script);
    QFETCH(QString, message);
    const QString error = EvaluationError(script, media_.dir());
    QVERIFY2(error.contains(message), qPrintable(error));
  }

  // Letterbox(top, bottom, x1, x2): exactly those rows and columns painted,
  // every other sample the source's.
  void letterboxPaintsItsEdges() {
    for (const char* source : {"yv24.avi", "yv12.avi"}) {
      avs::FrameRef in = FirstFrame(QString("AviSource(\"%1\")").arg(source));
      avs::FrameRef out = FirstFrame(QString("AviSource(\"%1\").Letterbox(4, 6, x2=2, x1=8)").arg(source));
      const bool sub = QString(source) == "yv12.avi";
      for (int plane = 0; plane < 3; ++plane) {
        const int s = plane && sub ? 1 : 0;
        const int w = 96 >> s, h = 64 >> s;
        const int black = plane ? 128 : 16;
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) {
            const bool edge = y < (4 >> s) || y >= h - (6 >> s) || x < (8 >> s) || x >= w - (2 >> s);
            const int got = out->data[plane][y * out->linesize[plane] + x];
            const int expected = edge ? black : in->data[plane][y * in->linesize[plane] + x];
            if (got != expected)
              QFAIL(qPrintable(QString("%1 plane %2 at %3,%4: %5 where %6 is due")
                                   .arg(source)
                                   .arg(plane)
                                   .arg(x)
                                   .arg(y)
                                   .arg(got)
                                   .arg(expected)));
          }
      }
    }
  }

  // The reductions against the kernel [1 2 1] / 4 computed here: output
  // sample i centred on input sample 2i + 1 (the last repeating past the
  // edge); RGB's rows centred on 2i counted from the top.
  void reductionsApplyTheKernel_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("horizontal");
    for (const char* source : {"yv12.avi", "yv24.avi", "rgb24.avi", "rgb32.avi", "yuy2.avi"}) {
      QTest::addRow("%s horizontal", source) << source << true;
      QTest::addRow("%s vertical", source) << source << false;
    }
  }
  void reductionsApplyTheKernel() {
    QFETCH(QString, source);
    QFETCH(bool, horizontal);
    avs::FrameRef in = FirstFrame(QString("AviSource(\"%1\")").arg(source));
    avs::FrameRef out =
        FirstFrame(QString("AviSource(\"%1\").%2ReduceBy2()").arg(source, horizontal ? "Horizontal" : "Vertical"));
    QCOMPARE(out->width, horizontal ? 48 : 96);
    QCOMPARE(out->height, horizontal ? 64 : 32);
    const bool rgb = source.startsWith("rgb");
    const int bytesPerPixel = source == "rgb24.avi" ? 3 : source == "rgb32.avi" ? 4 : source == "yuy2.avi" ? 2 : 1;
    const bool yuy2 = source == "yuy2.avi";
    const int planes = rgb || yuy2 ? 1 : 3;
    for (int plane = 0; plane < planes; ++plane) {
      const bool sub = plane && source == "yv12.avi";
      const int w = sub ? 48 : 96, h = sub ? 32 : 64;
      const int ow = horizontal ? w / 2 : w, oh = horizontal ? h : h / 2;
      // Samples of one channel are `step` bytes apart: YUY2's chroma 4.
      for (int y = 0; y < oh; ++y)
        for (int byte = 0; byte < ow * bytesPerPixel; ++byte) {
          int step = bytesPerPixel, index = byte / bytesPerPixel;
          if (yuy2) {
            step = byte % 2 ? 4 : 2;
            index = byte % 2 ? byte / 4 : byte / 2;
          }
          const int first = byte - index * step;  // the channel's offset in the row
          const int count = horizontal ? (yuy2 && byte % 2 ? w / 2 : w) : h;
          auto sample = [&](int i) {
            i = std::clamp(i, 0, count - 1);
            return horizontal ? int(in->data[plane][y * in->linesize[plane] + first + i * step])
                              : int(in->data[plane][i * in->linesize[plane] + byte]);
          };
          const int centre = horizontal ? 2 * index + 1 : (rgb ? 2 * y : 2 * y + 1);
          const int expected = (sample(centre - 1) + 2 * sample(centre) + sample(centre + 1) + 2) / 4;
          const int got = out->data[plane][y * out->linesize[plane] + byte];
          if (got != expected)
            QFAIL(qPrintable(QString("plane %1 at byte %2 of row %3: %4 where %5 is due")
                                 .arg(plane)
                                 .arg(byte)
                                 .arg(y)
                                 .arg(got)
                                 .arg(expected)));
        }
    }
    // ReduceBy2 is the horizontal one followed by the vertical one.
    const QString both = QString("AviSource(\"%1\").ReduceBy2()").arg(source);
    const QString chained = QString("AviSource(\"%1\").HorizontalReduceBy2().VerticalReduceBy2()").arg(source);
    QVERIFY(PictureBytes(*FirstFrame(both)) == PictureBytes(*FirstFrame(chained)));
  }

  void reductionsRefuseSizesTheFormatCannotHold() {
    QString error =
        EvaluationError("BlankClip(width=102, height=64, pixel_type=\"YV12\").HorizontalReduceBy2()", media_.dir());
    QVERIFY2(error.contains("HorizontalReduceBy2: YV12 needs a width that is a multiple of 4"), qPrintable(error));
    error = EvaluationError("BlankClip(width=64, height=102, pixel_type=\"YV12\").ReduceBy2()", media_.dir());
    QVERIFY2(error.contains("ReduceBy2: YV12 needs a height that is a multiple of 4"), qPrintable(error));
    error = EvaluationError("BlankClip(width=1, height=64, pixel_type=\"RGB32\").HorizontalReduceBy2()", media_.dir());
    QVERIFY2(error.contains("HorizontalReduceBy2: the size 0x64 is out of range"), qPrintable(error));
    // An odd height is fine for YUY2, which subsamples only across.
    QCOMPARE(EvaluateClip("BlankClip(width=64, height=102, pixel_type=\"YUY2\").VerticalReduceBy2()", media_.dir())
                 ->info()
                 .height,
             51);
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
