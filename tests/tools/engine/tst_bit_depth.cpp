// Pictures deeper than 8 bits: the colour formats by name and their
// properties, ConvertBits' samples against the scale it keeps (shifts for
// limited range, multiplication for full range and float) and its dither,
// sources that decode to 10 bits keeping them, the 8-bit pictures the
// encoders get, and every function of the engine either working on deeper
// pictures as it does on 8-bit ones or saying that it cannot.
#include "media_fixture.h"
#include "tools/engine/functions/channels.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/pixel_format.h"
#include "tools/engine/reading.h"

#include <QtTest>

#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace {

// The first sample of each channel of frame n, in the format's own units
// (a float's value for float formats), channel after channel in the
// format's order (Y U V A, or R G B A).
QList<double> FirstSamples(const AVFrame& frame) {
  QList<double> values;
  const auto format = static_cast<AVPixelFormat>(frame.format);
  for (const avs::Channel& channel : avs::ChannelsOf(format, frame.width, frame.height)) {
    const uint8_t* at = channel.Row(frame, 0);
    if (channel.size == 1) values << *at;
    else if (channel.size == 2) {
      uint16_t v;
      std::memcpy(&v, at, 2);
      values << v;
    } else {
      float v;
      std::memcpy(&v, at, 4);
      values << v;
    }
  }
  return values;
}

// Every sample of plane 0, as numbers.
QList<double> Plane0(const AVFrame& frame) {
  const avs::Channel channel = avs::ChannelsOf(static_cast<AVPixelFormat>(frame.format), frame.width, frame.height)[0];
  QList<double> values;
  for (int y = 0; y < channel.height; ++y)
    for (int x = 0; x < channel.width; ++x) {
      const uint8_t* at = channel.Row(frame, y) + x * channel.step;
      uint16_t v16 = 0;
      if (channel.size == 2) std::memcpy(&v16, at, 2);
      values << (channel.size == 1 ? *at : v16);
    }
  return values;
}

}  // namespace

// The 8-bit formats the sweep starts from, with ffmpeg's names.
constexpr std::pair<const char*, const char*> kSweepSources[] = {
    {"YV12", "yuv420p"}, {"YV24", "yuv444p"}, {"Y8", "gray"}, {"RGB24", "bgr24"}, {"RGB32", "bgra"}};

// The conversion that brings an 8-bit picture to a format of that name.
QString ConversionTo(const QString& type) {
  static const QMap<QString, QString> conversions = {
      {"YV12", "ConvertToYV12"},         {"YV16", "ConvertToYV16"},         {"YV24", "ConvertToYV24"},
      {"Y8", "ConvertToY8"},             {"YUY2", "ConvertToYUY2"},         {"RGB24", "ConvertToRGB24"},
      {"RGB32", "ConvertToRGB32"},       {"RGBP", "ConvertToPlanarRGB"},    {"RGBAP", "ConvertToPlanarRGBA"},
      {"YUVA420", "ConvertToYUVA420"},   {"YUVA422", "ConvertToYUVA422"},   {"YUVA444", "ConvertToYUVA444"}};
  return conversions.value(type, "ConvertTo" + type) + "()";
}

// A clip brought to 8 bits, the depth only.
QString AtEightBits(const avs::ClipPtr& clip) {
  return avs::IsHighDepth(clip->info().pixelFormat) ? "ConvertBits(8)" : "last";
}

class BitDepthTest : public QObject {
  Q_OBJECT

  MediaFolder media_;

  avs::FrameRef Frame(const QString& script, int64_t n = 0) { return ScriptFrame(script, media_.dir(), n); }
  // What the sweep of every function found.
  int compared_ = 0, refused_ = 0, unsuited_ = 0;
  QHash<QString, avs::ClipPtr> eightBitResults_;

 private slots:
  void initTestCase() {
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=64x48:r=25", "-frames:v", "3", "-c:v", "ffv1", "-pix_fmt",
                           "yuv420p10le", "deep.avi"}));
    // The 8-bit clips of the sweep over every function.
    for (auto [type, format] : kSweepSources)
      QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=32x16:r=25", "-frames:v", "2", "-c:v",
                             QString(type).startsWith("RGB") ? "rawvideo" : "ffv1", "-pix_fmt", format,
                             QString("%1.avi").arg(type)}));
  }

  // Every format by its name: what PixelType, BitsPerComponent and the
  // colour-family tests say of it.
  void formatsByName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("bits");
    QTest::addColumn<QStringList>("trueTests");
    auto row = [](const char* name, int bits, const char* tests) {
      QTest::newRow(name) << name << bits << QString(tests).split(' ', Qt::SkipEmptyParts);
    };
    row("YV12", 8, "IsYV12 Is420 IsYUV IsPlanar");
    row("YUV420P10", 10, "Is420 IsYUV IsPlanar");
    row("YUV420P16", 16, "Is420 IsYUV IsPlanar");
    row("YUV422P12", 12, "Is422 IsYUV IsPlanar");
    row("YUV444P14", 14, "Is444 IsYUV IsPlanar");
    row("YV24", 8, "IsYV24 Is444 IsYUV IsPlanar");
    row("Y8", 8, "IsY8 IsY IsYUV IsPlanar");
    row("Y10", 10, "IsY IsYUV IsPlanar");
    row("Y32", 32, "IsY IsYUV IsPlanar IsVideoFloat");
    row("YUVA420", 8, "Is420 IsYUV IsYUVA IsPlanar HasAlpha");
    row("YUVA444P16", 16, "Is444 IsYUV IsYUVA IsPlanar HasAlpha");
    row("YUY2", 8, "IsYUY2 IsYUV IsInterleaved");
    row("RGB24", 8, "IsRGB IsRGB24 IsPackedRGB IsInterleaved");
    row("RGB32", 8, "IsRGB IsRGB32 IsPackedRGB IsInterleaved HasAlpha");
    row("RGB48", 16, "IsRGB IsRGB48 IsPackedRGB IsInterleaved");
    row("RGB64", 16, "IsRGB IsRGB64 IsPackedRGB IsInterleaved HasAlpha");
    row("RGBP", 8, "IsRGB IsPlanarRGB IsPlanar");
    row("RGBP12", 12, "IsRGB IsPlanarRGB IsPlanar");
    row("RGBPS", 32, "IsRGB IsPlanarRGB IsPlanar IsVideoFloat");
    row("RGBAP10", 10, "IsRGB IsPlanarRGBA IsPlanar HasAlpha");
    row("RGBAPS", 32, "IsRGB IsPlanarRGBA IsPlanar HasAlpha IsVideoFloat");
  }
  void formatsByName() {
    QFETCH(QString, name);
    QFETCH(int, bits);
    QFETCH(QStringList, trueTests);
    const QString clip = QString("c = BlankClip(length=1, width=16, height=8, pixel_type=\"%1\")\n").arg(name);
    auto value = [&](const QString& expression) {
      avs::Interpreter interp;
      return interp.RunText((clip + expression).toStdString(), "t.avs", media_.dir().toStdString());
    };
    QCOMPARE(QString::fromStdString(value("c.PixelType").asString()), name);
    QCOMPARE(value("c.BitsPerComponent").asInt(), int64_t{bits});
    QCOMPARE(value("c.ComponentSize").asInt(), int64_t{bits == 8 ? 1 : bits == 32 ? 4 : 2});
    const QStringList tests = {"IsYV12", "IsYV24", "IsY8", "IsYUY2", "IsRGB24", "IsRGB32", "IsRGB48", "IsRGB64",
                               "Is420", "Is422", "Is444", "IsY", "IsYUV", "IsYUVA", "IsRGB", "IsPackedRGB",
                               "IsPlanarRGB", "IsPlanarRGBA", "IsPlanar", "IsInterleaved", "HasAlpha", "IsVideoFloat"};
    for (const QString& test : tests)
      QVERIFY2(value("c." + test).asBool() == trueTests.contains(test), qPrintable(test));
    // The frame is of that format, and reads.
    const avs::FrameRef frame = Frame(clip + "c");
    QCOMPARE(QString(avs::PixelTypeName(static_cast<AVPixelFormat>(frame->format))), name);
  }

  // AviSynth+'s other names for the 8-bit formats, and the float YUV it
  // has and the engine has not.
  void aliasesAndRefusedNames() {
    for (auto [alias, name] : {std::pair{"YUV420P8", "YV12"}, {"i420", "YV12"}, {"YUV444", "YV24"}, {"RGBP8", "RGBP"},
                               {"yuva422p8", "YUVA422"}, {"rgbap8", "RGBAP"}})
      QCOMPARE(QString(avs::PixelTypeName(avs::PixelFormatNamed(alias))), QString(name));
    QVERIFY(EvaluationError("BlankClip(pixel_type=\"YUV420PS\")", media_.dir())
                .contains("32-bit float YUV pictures are not supported"));
    QVERIFY(EvaluationError("BlankClip(pixel_type=\"YUV420P9\")", media_.dir()).contains("unknown pixel type"));
  }

  // ConvertBits on flat pictures: the first sample of each channel.
  void convertBitsSamples_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QList<double>>("samples");
    const QString yuv = "BlankClip(length=1, width=16, height=8, pixel_type=\"YV24\", color_yuv=$EB80F0)";
    const QString y150 = "BlankClip(length=1, width=16, height=8, pixel_type=\"Y8\", color_yuv=$960000)";
    const QString rgb = "BlankClip(length=1, width=16, height=8, pixel_type=\"RGB24\", color=$FF8001)";
    auto row = [](const char* name, const QString& script, const char* type, QList<double> samples) {
      QTest::newRow(name) << script << type << samples;
    };
    // Limited range shifts: 235 is 940 in 10 bits, 60160 in 16.
    row("limited 8 to 10", yuv + ".ConvertBits(10)", "YUV444P10", {940, 512, 960});
    row("limited 8 to 16", yuv + ".ConvertBits(16)", "YUV444P16", {60160, 32768, 61440});
    row("limited round trip", yuv + ".ConvertBits(16).ConvertBits(8)", "YV24", {235, 128, 240});
    // Full range multiplies: 150 * 1023 / 255 is 601.79.
    row("full 8 to 10", y150 + ".ConvertBits(10, fulls=true)", "Y10", {602});
    row("full 10 to 8", y150 + ".ConvertBits(10, fulls=true).ConvertBits(8, fulls=true)", "Y8", {150});
    row("limited down rounds half up", y150 + ".ConvertBits(10, fulls=true).ConvertBits(8)", "Y8", {151});
    // Limited to full: 16..235 becomes 0..1023; chroma 16..240 1..1023.
    row("limited to full", yuv + ".ConvertBits(10, fulld=true)", "YUV444P10", {1023, 512, 1023});
    row("full to limited", yuv + ".ConvertBits(10, fulld=true).ConvertBits(8, fulls=true, fulld=false)", "YV24",
        {235, 128, 240});
    // RGB is full range: 255 is 65535, 128 is 32896, 1 is 257.
    row("RGB24 to RGB48", rgb + ".ConvertBits(16)", "RGB48", {65535, 32896, 257});
    row("RGB32 keeps its alpha", "BlankClip(length=1, width=8, height=8, color=$FF0000).Mask(BlankClip(length=1, "
        "width=8, height=8, color=$808080)).ConvertBits(16)", "RGB64", {65535, 0, 0, 32896});
    row("planar RGB to float", rgb + ".ConvertToPlanarRGB().ConvertBits(32)", "RGBPS", {1, 128.0 / 255, 1.0 / 255});
    row("float back to 8 bits", rgb + ".ConvertToPlanarRGB().ConvertBits(32).ConvertBits(8)", "RGBP", {255, 128, 1});
    // Limited-range float luma is the 8-bit value / 255; full range 0..1.
    row("Y8 to float", y150 + ".ConvertBits(32)", "Y32", {150.0 / 255});
    row("Y8 to full-range float", yuv + ".ConvertToY().ConvertBits(32, fulld=true)", "Y32", {1});
    row("float to 16 bits", y150 + ".ConvertBits(32).ConvertBits(16)", "Y16", {150 * 256});
    // truerange=false takes 10-bit samples for 16-bit ones as they are.
    row("truerange", y150 + ".ConvertBits(10).ConvertBits(16, truerange=false)", "Y16", {600});
    // Other formats on the way: YUY2 goes by YV16, ConvertTo changes depth
    // as ConvertBits does, BlankClip paints deeper colours the same way.
    row("YUY2", yuv + ".ConvertToYUY2().ConvertBits(12)", "YUV422P12", {3760, 2048, 3840});
    row("ConvertTo bits", yuv + ".ConvertToYUV444(bits=10)", "YUV444P10", {940, 512, 960});
    row("BlankClip of 14 bits", "BlankClip(length=1, pixel_type=\"YUV420P14\", color_yuv=$EB80F0)", "YUV420P14",
        {15040, 8192, 15360});
    // Invert turns each channel about its largest sample.
    row("Invert of one 12-bit RGB channel", rgb + ".ConvertToPlanarRGB().ConvertBits(12).Invert(\"r\")", "RGBP12",
        {0, 2056, 16});
    row("Invert of 16-bit YUV", yuv + ".ConvertBits(16).Invert()", "YUV444P16", {65535 - 60160, 32768, 65535 - 61440 + 1});
    row("AddBorders of 16 bits", y150 + ".ConvertBits(16).AddBorders(2, 0, 0, 0, color_yuv=$EB8080)", "Y16", {60160});
  }
  void convertBitsSamples() {
    QFETCH(QString, script);
    QFETCH(QString, type);
    QFETCH(QList<double>, samples);
    const avs::FrameRef frame = Frame(script);
    QCOMPARE(QString(avs::PixelTypeName(static_cast<AVPixelFormat>(frame->format))), type);
    const QList<double> got = FirstSamples(*frame);
    QCOMPARE(got.size(), samples.size());
    for (qsizetype i = 0; i < got.size(); ++i)
      QVERIFY2(std::fabs(got[i] - samples[i]) < 1e-6,
               qPrintable(QString("channel %1: %2 where %3 is due").arg(i).arg(got[i]).arg(samples[i])));
  }

  // A 10-bit level halfway between two 8-bit ones: rounding gives the
  // upper, the ordered dither each level on half of every 8x8 block, error
  // diffusion the same mean over the picture; dither_bits quantizes
  // coarser. The encoders get the ordered dither.
  void ditherKeepsTheMeanLevel_data() {
    QTest::addColumn<QString>("conversion");
    QTest::addColumn<double>("mean");
    QTest::addColumn<QList<double>>("levels");
    QTest::newRow("rounding") << "ConvertBits(8)" << 151.0 << QList<double>{151};
    QTest::newRow("ordered") << "ConvertBits(8, dither=0)" << 150.5 << QList<double>{150, 151};
    QTest::newRow("error diffusion") << "ConvertBits(8, dither=1)" << 150.5 << QList<double>{150, 151};
    // In steps of 4 (6 bits): 150.5 is 37.625 steps, between 148 and 152.
    QTest::newRow("ordered to 6 bits") << "ConvertBits(8, dither=0, dither_bits=6)" << 150.5
                                       << QList<double>{148, 152};
    QTest::newRow("the encoders' pictures") << "" << 150.5 << QList<double>{150, 151};
  }
  void ditherKeepsTheMeanLevel() {
    QFETCH(QString, conversion);
    QFETCH(double, mean);
    QFETCH(QList<double>, levels);
    const QString deep = "BlankClip(length=1, width=64, height=64, pixel_type=\"Y8\", color_yuv=$960000)"
                         ".ConvertBits(10, fulls=true)";
    QList<double> samples;
    if (conversion.isEmpty()) {
      const QString script = media_.script("dither.avs", deep + "\n");
      const auto reader = avs::ClipReader::OpenScript(script.toStdString());
      QCOMPARE(QString(avs::PixelTypeName(reader->info().pixelFormat)), QString("Y8"));
      samples = Plane0(*reader->NextFrame());
    } else {
      samples = Plane0(*Frame(deep + "." + conversion));
    }
    double sum = 0;
    for (double v : samples) {
      QVERIFY2(levels.contains(v), qPrintable(QString("level %1").arg(v)));
      sum += v;
    }
    // Error diffusion leaves at most a level's share at the picture's edges.
    QVERIFY2(std::fabs(sum / samples.size() - mean) < 0.01, qPrintable(QString::number(sum / samples.size())));
  }

  // Sources that decode deeper than 8 bits keep their depth, frame for
  // frame as ffmpeg decodes them, and the encoders' pictures are 8-bit.
  void deepSourcesKeepTheirDepth_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("encoding");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("pixelFormat");
    QTest::addColumn<QString>("type");
    QTest::newRow("FFV1") << "deep.avi" << QStringList() << "AviSource" << "yuv420p10le" << "YUV420P10";
    QTest::newRow("H.264 High 10") << "deep264.mp4" << QStringList{"-c:v", "libx264", "-pix_fmt", "yuv420p10le"}
                                   << "FFVideoSource" << "yuv420p10le" << "YUV420P10";
    QTest::newRow("HEVC Main 10") << "deep265.mkv"
                                  << QStringList{"-c:v", "libx265", "-x265-params", "log-level=error", "-pix_fmt",
                                                 "yuv420p10le"}
                                  << "LWLibavVideoSource" << "yuv420p10le" << "YUV420P10";
    QTest::newRow("ProRes 422") << "deep.mov" << QStringList{"-c:v", "prores_ks"} << "AviSource" << "yuv422p10le"
                                << "YUV422P10";
    QTest::newRow("FFV1 12-bit 4:4:4") << "deep444.mkv"
                                       << QStringList{"-c:v", "ffv1", "-pix_fmt", "yuv444p12le"} << "AviSource"
                                       << "yuv444p12le" << "YUV444P12";
    QTest::newRow("FFV1 16-bit RGB") << "deeprgb.mkv" << QStringList{"-c:v", "ffv1", "-pix_fmt", "gbrp16le"}
                                     << "AviSource" << "gbrp16le" << "RGBP16";
  }
  void deepSourcesKeepTheirDepth() {
    QFETCH(QString, file);
    QFETCH(QStringList, encoding);
    QFETCH(QString, source);
    QFETCH(QString, pixelFormat);
    QFETCH(QString, type);
    if (!encoding.isEmpty())
      QVERIFY(media_.ffmpeg(QStringList{"-f", "lavfi", "-i", "testsrc2=s=64x48:r=25", "-frames:v", "3"} + encoding +
                            QStringList{file}));
    const QString script = QString("%1(\"%2\")").arg(source, file);
    const avs::ClipPtr clip = EvaluateClip(script, media_.dir());
    QCOMPARE(QString(avs::PixelTypeName(clip->info().pixelFormat)), type);
    QVERIFY(media_.ffmpeg({"-i", file, "-f", "rawvideo", "-pix_fmt", pixelFormat, file + ".raw"}));
    QCOMPARE(ScriptPictures(script, media_.dir()), media_.read(file + ".raw"));
    if (!type.startsWith("YUV420")) return;
    const ToolRun run = RunTool({"-y4mp", media_.script(file + ".avs", script + "\n")});
    QCOMPARE(run.exitCode, 0);
    const QByteArray header = "YUV4MPEG2 W64 H48 F25:1 Ip A1:1 C420jpeg\n";
    QVERIFY2(run.out.startsWith(header), run.out.left(60).constData());
    QCOMPARE(run.out.size(), header.size() + 3 * (6 + 64 * 48 * 3 / 2));
  }

  // Every function with a clip first: on a deeper twin of a clip it gives
  // what it gives on the 8-bit clip (compared at 8 bits), or it says that
  // it cannot take such pictures. Functions whose default arguments do not
  // suit the 8-bit clip get some below.
  void everyFunctionTakesDeeperPicturesOrSaysSo_data() {
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("deeper");
    // Arguments for functions whose every parameter after the clip is not
    // optional, or whose defaults do nothing.
    QMap<QString, QString> arguments = {
        {"crop", "2, 2, -4, -2"},
        {"addborders", "2, 4, 6, 2, $FF8040"},
        {"letterbox", "2, 4"},
        {"levels", "10, 1.2, 240, 16, 235"},
        {"blur", "0.5"},
        {"sharpen", "0.5"},
        {"selectevery", "2, 1"},
        {"selectrangeevery", "2, 1"},
        {"trim", "1, 1"},
        {"deleteframe", "0"},
        {"duplicateframe", "0"},
        {"freezeframe", "0, 1, 1"},
        {"loop", "2"},
        {"assumefps", "50"},
        {"changefps", "50"},
        {"convertfps", "50"},
        {"dissolve", "last, last.Reverse(), 1"},
        {"fadein", "1"},
        {"fadeout", "1"},
        {"fadeio", "1"},
        {"fadein0", "1"},
        {"fadeout0", "1"},
        {"fadeio0", "1"},
        {"fadein2", "1"},
        {"fadeout2", "1"},
        {"fadeio2", "1"},
        {"subtitle", "\"Deep\""},
        {"text", "\"Deep\""},
        {"overlay", "last, last.FlipVertical(), 4, 2, opacity=0.5"},
        {"layer", "last, last.FlipVertical()"},
        {"mask", "last, last.FlipVertical()"},
        {"stackhorizontal", "last, last.FlipVertical()"},
        {"stackvertical", "last, last.FlipVertical()"},
        {"interleave", "last, last.FlipVertical()"},
        {"alignedsplice", "last, last.FlipVertical()"},
        {"unalignedsplice", "last, last.FlipVertical()"},
        {"tweak", "20, 1.2, 4, 1.1"},
        {"coloryuv", "gain_y=20, off_u=4"},
        {"rgbadjust", "1.1, 0.9"},
        {"invert", ""},
        {"animate", "0, 1, \"Blur\", 0.0, 1.0"},
        {"applyrange", "0, 0, \"Blur\", 1.0"},
    };
    for (const auto& resizer : {"pointresize", "bilinearresize", "bicubicresize", "lanczosresize", "lanczos4resize",
                                "blackmanresize", "sincresize", "spline16resize", "spline36resize", "spline64resize",
                                "gaussresize"}) {
      arguments[resizer] = "48, 24";
      arguments[QString(resizer) + " window"] = "24, 12, 0.5, 1.25, 30.5, 12";
    }
    // Deeper twins of each 8-bit clip.
    const std::pair<const char*, const char*> twins[] = {
        {"YV12", "ConvertBits(10)"},        {"YV24", "ConvertBits(16)"},
        {"YV24", "ConvertToYUVA444()"},     {"Y8", "ConvertBits(12)"},
        {"Y8", "ConvertBits(32)"},          {"RGB24", "ConvertToPlanarRGB()"},
        {"RGB24", "ConvertBits(16)"},       {"RGB32", "ConvertToPlanarRGBA().ConvertBits(16)"},
        {"RGB24", "ConvertToPlanarRGB().ConvertBits(32)"}};
    avs::FunctionTable table;
    avs::RegisterAllFunctions(table);
    for (const auto& [name, function] : table) {
      if (!function.params.starts_with("clip:c") && !function.params.starts_with("clip1:c") &&
          !function.params.starts_with("base:c") && !function.params.starts_with("base_clip:c"))
        continue;
      // Functions that write files or read frames by script take no part.
      if (name.starts_with("write") || name == "imagewriter" || name == "scriptclip" || name == "frameevaluate" ||
          name == "conditionalfilter")
        continue;
      for (const QString& key : {QString::fromStdString(name), QString::fromStdString(name) + " window"}) {
        if (key.endsWith(" window") && !arguments.contains(key)) continue;
        for (auto [source, deeper] : twins)
          QTest::addRow("%s %s.%s", qPrintable(key), source, deeper)
              << QString::fromStdString(name) << arguments.value(key) << QString(source) << QString(deeper);
      }
    }
  }
  void everyFunctionTakesDeeperPicturesOrSaysSo() {
    QFETCH(QString, function);
    QFETCH(QString, arguments);
    QFETCH(QString, source);
    QFETCH(QString, deeper);
    const QString base = QString("AviSource(\"%1.avi\")\n").arg(source);
    const QString call = function + "(" + arguments + ")\n";
    // The 8-bit clip's result is the same for every twin: once for all.
    const QString key = source + "\n" + call;
    if (!eightBitResults_.contains(key)) {
      avs::ClipPtr result;
      try {
        result = EvaluateClip(base + call, media_.dir());
      } catch (const avs::ScriptError&) {
        // not a function of this 8-bit clip, or not with these arguments
      }
      eightBitResults_.insert(key, result && result->info().hasVideo ? result : nullptr);
    }
    const avs::ClipPtr eight = eightBitResults_.value(key);
    if (!eight) {
      ++unsuited_;
      return;
    }
    const QString deep = base + deeper + "\n" + call;
    avs::ClipPtr deepResult;
    try {
      deepResult = EvaluateClip(deep, media_.dir());
    } catch (const avs::ScriptError& e) {
      // A deeper picture's refusal names its depth; an 8-bit twin of another
      // layout (planar RGB, YUVA) may be refused for its format.
      const QString error = e.what();
      const bool deepTwin = deeper.contains("ConvertBits");
      QVERIFY2(error.contains("pictures are not supported") || error.contains("cannot take") ||
                   (!deepTwin && error.contains(" needs ")),
               qPrintable(error));
      ++refused_;
      return;
    }
    // Both results at 8 bits, in the 8-bit result's format; a planar alpha
    // that stays through conversions of names without A goes by RGB24.
    auto eightBitType = [](const avs::ClipPtr& clip) {
      return QString(avs::PixelTypeName(avs::AtDepth(clip->info().pixelFormat, 8)));
    };
    const QString type = eightBitType(eight);
    QString eightBack = base + call + AtEightBits(eight), deepBack = deep + AtEightBits(deepResult) + "\n";
    if (eightBitType(deepResult) != type) {
      deepBack += ConversionTo(type) + "\n";
      if (QString(avs::PixelTypeName(EvaluateClip(deepBack, media_.dir())->info().pixelFormat)) != type) {
        deepBack += "ConvertToRGB24()";
        eightBack += "\nConvertToRGB24()";
      }
    }
    const avs::ClipPtr expected = eightBack == base + call + "last" ? eight : EvaluateClip(eightBack, media_.dir());
    avs::ClipPtr actual;
    try {
      actual = EvaluateClip(deepBack, media_.dir());
    } catch (const avs::ScriptError& e) {
      QFAIL(qPrintable(QString("the result cannot be brought back: ") + e.what()));
    }
    QCOMPARE(QString(avs::PixelTypeName(actual->info().pixelFormat)), QString(avs::PixelTypeName(expected->info().pixelFormat)));
    QCOMPARE(actual->info().width, expected->info().width);
    QCOMPARE(actual->info().frameCount, expected->info().frameCount);
    // Conversions reach 4:2:0 and RGB by other ways in swscale at 8 bits
    // and deeper; packed RGB is kept bottom row first, planar RGB top row
    // first, so reductions by 2 centre their rows apart.
    if (function.endsWith("reduceby2") && deeper.contains("Planar")) return;
    // libavfilter's bwdif decides otherwise on deeper pictures: ffmpeg's own
    // runs at 8 and 10 bits differ as much.
    if (function == "bwdif") return;
    // swscale takes a shortcut between 8-bit packed RGB and 8-bit 4:2:0 or
    // 4:2:2 that leaves out the chroma placement and resampler; those
    // conversions are compared with ffmpeg's (tst_colour_functions).
    const bool subsampled = type == "YV12" || type == "YV16" || type == "YUY2" || type.startsWith("YUVA42");
    if (function.startsWith("convert") && ((source.startsWith("RGB") && subsampled) ||
                                           (source == "YV12" && type.startsWith("RGB"))))
      return;
    // Float keeps what a kernel overshoots between its two passes, where 8
    // bits clamp it.
    const bool loose = function.startsWith("convert") || deeper.endsWith("(32)");
    avs::Reading a, b;
    for (int64_t n = 0; n < std::min<int64_t>(expected->info().frameCount, 2); ++n) {
      const QByteArray ours = PictureBytes(*a.Frame(*expected, n)), theirs = PictureBytes(*b.Frame(*actual, n));
      QCOMPARE(ours.size(), theirs.size());
      int most = 0;
      double total = 0;
      for (qsizetype i = 0; i < ours.size(); ++i) {
        const int d = std::abs(static_cast<uint8_t>(ours[i]) - static_cast<uint8_t>(theirs[i]));
        most = std::max(most, d);
        total += d;
      }
      QVERIFY2(most <= (loose ? 40 : 12) && total / ours.size() <= (loose ? 1.25 : 1),
               qPrintable(QString("frame %1 differs by up to %2, %3 on average").arg(n).arg(most).arg(total / ours.size())));
    }
    ++compared_;
  }

  void cleanupTestCase() {
    qInfo("deeper pictures: %d calls compared, %d refused, %d not suited to the 8-bit clip", compared_, refused_,
          unsuited_);
  }
};

QTEST_GUILESS_MAIN(BitDepthTest)
#include "tst_bit_depth.moc"
