// Sources and generators: BlankClip's parameters by position and by name,
// its template clip and sound types; the colour bars' layout and values at
// known places; Tone's waves counted by their zero crossings and peaks;
// Version's clip; the sources' other forms, and ImageWriter's files read
// back. Values are worked out here from the documented ones.
#include "media_fixture.h"
#include "tools/engine/reading.h"
#include "tools/engine/samples.h"

extern "C" {
#include <libavutil/log.h>
}

#include <QFile>
#include <QProcess>
#include <QtTest>
#include <cmath>

namespace {

struct Yuv {
  int y, u, v;
};
struct Rgb {
  int r, g, b;
};

// The Y, U and V of pixel (x, y) of a planar picture.
Yuv YuvAt(const AVFrame& frame, int x, int y, int chromaShiftX, int chromaShiftY) {
  const int cx = x >> chromaShiftX, cy = y >> chromaShiftY;
  return {frame.data[0][y * frame.linesize[0] + x], frame.data[1][cy * frame.linesize[1] + cx],
          frame.data[2][cy * frame.linesize[2] + cx]};
}
Rgb RgbAt(const AVFrame& frame, int x, int y) {
  const uint8_t* p = frame.data[0] + y * frame.linesize[0] + 4 * x;
  return {p[2], p[1], p[0]};
}
QString Text(Yuv c) { return QString("%1/%2/%3").arg(c.y).arg(c.u).arg(c.v); }
QString Text(Rgb c) { return QString("%1/%2/%3").arg(c.r).arg(c.g).arg(c.b); }

// Every sample of a clip's float sound.
std::vector<float> Floats(const avs::ClipPtr& clip) {
  const avs::ClipInfo& info = clip->info();
  std::vector<float> samples(static_cast<std::size_t>(info.sampleCount * info.channels));
  avs::Reading reading;
  reading.Samples(*clip, samples.data(), 0, info.sampleCount);
  return samples;
}

// Rising zero crossings of channel `channel` of interleaved samples.
int RisingCrossings(const std::vector<float>& samples, int channels, int channel) {
  int crossings = 0;
  for (std::size_t i = static_cast<std::size_t>(channels + channel); i < samples.size();
       i += static_cast<std::size_t>(channels))
    if (samples[i - static_cast<std::size_t>(channels)] < 0 && samples[i] >= 0) ++crossings;
  return crossings;
}

}  // namespace

class SourceFunctionsTest : public QObject {
  Q_OBJECT
  MediaFolder media_;

  avs::ClipPtr Eval(const QString& text) { return EvaluateClip(text, media_.dir()); }

 private slots:
  void initTestCase() {
    av_log_set_level(AV_LOG_ERROR);
    // The containers users' sources come in, a second or so each, with
    // B-frames wherever the codec has them.
    const QStringList picture{"-f", "lavfi", "-i", "testsrc2=s=160x120:r=25:d=0.8"};
    const QStringList sound{"-f", "lavfi", "-i", "sine=f=300:r=48000:d=0.8", "-ac", "2"};
    const QStringList mpeg2{"-c:v", "mpeg2video", "-g", "12", "-bf", "2"};
    const QStringList h264{"-c:v", "libx264", "-preset", "ultrafast", "-bf", "3", "-g", "12", "-x264-params", "b-pyramid=normal"};
    QVERIFY(media_.ffmpeg(picture + sound + mpeg2 + QStringList{"-c:a", "mp2", "-f", "vob", "dvd.vob"}));
    QVERIFY(media_.ffmpeg(picture + sound + QStringList{"-c:v", "mpeg1video", "-bf", "2", "-c:a", "mp2", "-f", "mpeg", "vcd.mpg"}));
    QVERIFY(media_.ffmpeg(picture + sound + mpeg2 + QStringList{"-c:a", "ac3", "-f", "vob", "camera.mod"}));
    QVERIFY(media_.ffmpeg(picture + sound + mpeg2 + QStringList{"-c:a", "mp2", "-f", "mpegts", "broadcast.ts"}));
    QVERIFY(media_.ffmpeg(picture + sound + h264 + QStringList{"-c:a", "ac3", "-f", "mpegts", "-mpegts_m2ts_mode", "1", "bluray.m2ts"}));
    QVERIFY(media_.ffmpeg(picture + sound + h264 + QStringList{"-c:a", "aac", "-f", "mpegts", "-mpegts_m2ts_mode", "1", "avchd.mts"}));
    QVERIFY(media_.ffmpeg(sound + QStringList{"-c:a", "aac", "sound.aac"}));
    QVERIFY(media_.ffmpeg(sound + QStringList{"-c:a", "libmp3lame", "sound.mp3"}));
    // Matroska times its blocks in milliseconds, coarser than a sample.
    QVERIFY(media_.ffmpeg(picture + sound + QStringList{"-c:v", "mpeg4", "-c:a", "pcm_s16le", "pcm.mkv"}));
    QVERIFY(media_.ffmpeg(sound + QStringList{"-c:a", "flac", "sound.mka"}));
    // Two pictures and two sounds in one file, the second picture with a
    // pixel aspect of 4:3.
    const QStringList tracks{"-f", "lavfi", "-i", "testsrc2=s=160x120:r=25:d=1", "-f", "lavfi", "-i",
                             "testsrc2=s=96x72:r=25:d=1,setsar=4/3", "-f", "lavfi", "-i", "sine=r=48000:d=1", "-f", "lavfi",
                             "-i", "sine=f=600:r=32000:d=1", "-map", "0", "-map", "1", "-map", "2", "-map", "3"};
    QVERIFY(media_.ffmpeg(tracks + QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", "tracks.mp4"}));
    QVERIFY(media_.ffmpeg(tracks + QStringList{"-c:v", "mpeg4", "-c:a", "pcm_s16le", "tracks.avi"}));
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=160x120:r=25:d=0.4", "-c:v", "mjpeg", "camera.avi"}));
    // Frames 5 to 7 left out: the AVI keeps their places as empty chunks,
    // as capture programs write dropped frames.
    QVERIFY(media_.ffmpeg(picture + QStringList{"-vf", "select='not(between(n,5,7))'", "-fps_mode", "passthrough", "-c:v",
                                                "mpeg4", "dropped.avi"}));
  }

  // AviSynth's order: length, width, height, pixel_type, fps,
  // fps_denominator, audio_rate, channels, sample_type, color.
  void blankClipTakesItsArgumentsInOrder() {
    const avs::ClipPtr clip = Eval("BlankClip(100, 320, 240, \"YV12\", 25, 1, 48000, 2, \"16bit\", $FF0000)");
    const avs::ClipInfo& info = clip->info();
    QCOMPARE(info.frameCount, 100);
    QCOMPARE(info.width, 320);
    QCOMPARE(info.height, 240);
    QCOMPARE(info.pixelFormat, AV_PIX_FMT_YUV420P);
    QCOMPARE(info.fps.num, 25);
    QCOMPARE(info.fps.den, 1);
    QCOMPARE(info.sampleRate, 48000);
    QCOMPARE(info.channels, 2);
    QVERIFY(info.sampleType == avs::SampleType::S16);
    QCOMPARE(info.sampleCount, 192000);
    avs::Reading reading;
    // Pure red in BT.601 studio range.
    QCOMPARE(Text(YuvAt(*reading.Frame(*clip, 99), 319, 239, 1, 1)), QString("81/90/240"));
  }

  void blankClipDefaults() {
    const avs::ClipPtr clip = Eval("BlankClip()");
    const avs::ClipInfo& info = clip->info();
    QCOMPARE(info.frameCount, 240);
    QCOMPARE(info.width, 640);
    QCOMPARE(info.height, 480);
    QCOMPARE(info.pixelFormat, AV_PIX_FMT_BGRA);
    QCOMPARE(info.fps.num, 24);
    QCOMPARE(info.sampleRate, 44100);
    QCOMPARE(info.channels, 1);
    QVERIFY(info.sampleType == avs::SampleType::S16);
    QCOMPARE(info.sampleCount, 441000);
    avs::Reading reading;
    QCOMPARE(Text(RgbAt(*reading.Frame(*clip, 0), 10, 10)), QString("0/0/0"));
  }

  void blankClipRefusesValuesInTheWrongPlaces_data() {
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("message");
    QTest::newRow("sample type before channels") << "BlankClip(100, 320, 240, \"YV12\", 25, 1, 48000, \"16bit\", 2)"
                                                 << "channels must be an int";
    QTest::newRow("fps before pixel type") << "BlankClip(100, 320, 240, 25, \"YV12\")"
                                           << "pixel_type must be";
    QTest::newRow("unknown sample type") << "BlankClip(sample_type=\"12bit\")"
                                         << "sample_type must be";
    QTest::newRow("channels and stereo") << "BlankClip(channels=2, stereo=true)"
                                         << "not both";
    QTest::newRow("length 0") << "BlankClip(0)"
                              << "length is out of range";
  }
  void blankClipRefusesValuesInTheWrongPlaces() {
    QFETCH(QString, call);
    QFETCH(QString, message);
    const QString error = EvaluationError(call, media_.dir());
    QVERIFY2(error.contains(message), qPrintable(error));
  }

  void blankClipSoundTypes_data() {
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("type");
    QTest::newRow("8bit") << "BlankClip(sample_type=\"8bit\")" << 1 << int(avs::SampleType::U8);
    QTest::newRow("24bit") << "BlankClip(sample_type=\"24bit\")" << 1 << int(avs::SampleType::S24);
    QTest::newRow("32bit") << "BlankClip(sample_type=\"32bit\")" << 1 << int(avs::SampleType::S32);
    QTest::newRow("Float, any case") << "BlankClip(sample_type=\"Float\")" << 1 << int(avs::SampleType::Float);
    QTest::newRow("stereo by position") << "BlankClip(10, 64, 48, \"RGB32\", 24, 1, 44100, true, false)" << 2
                                        << int(avs::SampleType::S16);
    QTest::newRow("stereo=false by name") << "BlankClip(stereo=false)" << 1 << int(avs::SampleType::S16);
    QTest::newRow("six channels") << "BlankClip(channels=6)" << 6 << int(avs::SampleType::S16);
  }
  void blankClipSoundTypes() {
    QFETCH(QString, call);
    QFETCH(int, channels);
    QFETCH(int, type);
    const avs::ClipPtr clip = Eval(call);
    QCOMPARE(clip->info().channels, channels);
    QCOMPARE(int(clip->info().sampleType), type);
    // Silence in every type: a float of 0 or the type's middle.
    QByteArray bytes(clip->info().channels * avs::BytesPerSample(clip->info().sampleType) * 8, 'x');
    avs::Reading reading;
    reading.Samples(*clip, bytes.data(), 100, 8);
    const char zero = clip->info().sampleType == avs::SampleType::U8 ? char(0x80) : char(0);
    QCOMPARE(bytes, QByteArray(bytes.size(), zero));
  }

  void blankClipWithoutSound() {
    QVERIFY(!Eval("BlankClip(audio_rate=0)")->info().hasAudio);
    QVERIFY(!Eval("BlankClip(channels=0)")->info().hasAudio);
  }

  void blankClipTakesTheTemplatesProperties() {
    const QString templ =
        "t = BlankClip(length=50, width=160, height=120, pixel_type=\"YV24\", fps=30, audio_rate=22050, channels=2, "
        "sample_type=\"float\", color=$FFFFFF)\n";
    avs::ClipPtr clip = Eval(templ + "BlankClip(t)");
    QCOMPARE(clip->info().frameCount, 50);
    QCOMPARE(clip->info().width, 160);
    QCOMPARE(clip->info().pixelFormat, AV_PIX_FMT_YUV444P);
    QCOMPARE(clip->info().fps.num, 30);
    QCOMPARE(clip->info().sampleRate, 22050);
    QCOMPARE(clip->info().channels, 2);
    QVERIFY(clip->info().sampleType == avs::SampleType::Float);
    avs::Reading reading;
    // The template's picture is not copied: the colour is BlankClip's own.
    QCOMPARE(reading.Frame(*clip, 0)->data[0][0], uint8_t(16));

    // What is given wins; the rest stays the template's.
    clip = Eval(templ + "BlankClip(clip=t, width=200, length=7)");
    QCOMPARE(clip->info().width, 200);
    QCOMPARE(clip->info().height, 120);
    QCOMPARE(clip->info().frameCount, 7);
    QCOMPARE(clip->info().sampleCount, 5145);  // 7 frames at 30 fps, 22050 Hz
  }

  void blankClipOfASoundAloneHasNoPicture() {
    avs::ClipPtr clip = Eval("BlankClip(Tone(2))");
    QVERIFY(!clip->info().hasVideo);
    QCOMPARE(clip->info().sampleCount, 96000);
    QVERIFY(clip->info().sampleType == avs::SampleType::Float);
    // An argument of the picture gives it one, the rest of it the defaults.
    clip = Eval("BlankClip(Tone(2), width=320)");
    QVERIFY(clip->info().hasVideo);
    QCOMPARE(clip->info().width, 320);
    QCOMPARE(clip->info().height, 480);
    QCOMPARE(clip->info().pixelFormat, AV_PIX_FMT_BGRA);
  }

  void blankClipColorYuv() {
    const avs::ClipPtr clip = Eval("BlankClip(length=1, width=16, height=16, pixel_type=\"YV24\", color_yuv=$801040)");
    avs::Reading reading;
    QCOMPARE(Text(YuvAt(*reading.Frame(*clip, 0), 5, 5, 0, 0)), QString("128/16/64"));
    // The implicit clip is never a template: BlankClip after a clip starts afresh.
    QCOMPARE(Eval("BlankClip(width=32, height=32)\nBlankClip()")->info().width, 640);
  }

  void colorBarsDefaults() {
    const avs::ClipInfo info = Eval("ColorBars()")->info();
    QCOMPARE(info.width, 640);
    QCOMPARE(info.height, 480);
    QCOMPARE(info.pixelFormat, AV_PIX_FMT_BGRA);
    QCOMPARE(info.fps.num, 30000);
    QCOMPARE(info.fps.den, 1001);
    QCOMPARE(info.frameCount, 107892);  // an hour
    QCOMPARE(info.sampleRate, 48000);
    QCOMPARE(info.channels, 2);
    QVERIFY(info.sampleType == avs::SampleType::Float);
    QCOMPARE(info.sampleCount, static_cast<int64_t>(std::llround(107892 * 48000.0 * 1001 / 30000)));
    const avs::ClipInfo hd = Eval("ColorBarsHD()")->info();
    QCOMPARE(hd.width, 1288);
    QCOMPARE(hd.height, 720);
    QCOMPARE(hd.pixelFormat, AV_PIX_FMT_YUV444P);
    QCOMPARE(hd.frameCount, 107892);
    QVERIFY(EvaluationError("ColorBarsHD(pixel_type=\"RGB32\")", media_.dir()).contains("YV24"));
    QVERIFY(EvaluationError("ColorBars(pixel_type=\"Y8\")", media_.dir()).contains("colour format"));
  }

  // The documented studio-range RGB values, at the middle of each part of
  // the SMPTE layout.
  void colorBarsRgbValues() {
    const int w = 700, h = 480;
    const avs::ClipPtr clip = Eval(QString("ColorBars(%1, %2)").arg(w).arg(h));
    avs::Reading reading;
    const FrameRefHolder frame{reading.Frame(*clip, 1000)};
    const char* const top[7] = {"180/180/180", "180/180/16", "16/180/180", "16/180/16",
                                "180/16/180",  "180/16/16",  "16/16/180"};
    const char* const strip[7] = {"16/16/180",  "16/16/16", "180/16/180", "16/16/16",
                                  "16/180/180", "16/16/16", "180/180/180"};
    for (int i = 0; i < 7; ++i) {
      const int x = (2 * i + 1) * w / 14;
      QCOMPARE(Text(RgbAt(*frame.f, x, h / 3)), QString(top[i]));
      QCOMPARE(Text(RgbAt(*frame.f, x, h * 7 / 10)), QString(strip[i]));
      // The last row above the strip and the first of it.
      QCOMPARE(Text(RgbAt(*frame.f, x, h * 2 / 3 - 1)), QString(top[i]));
      QCOMPARE(Text(RgbAt(*frame.f, x, h * 2 / 3)), QString(strip[i]));
    }
    // Bottom: -I, white, +Q each 5/4 of a bar; black; the PLUGE in thirds of
    // the sixth bar: -4, 0, +4 IRE; black.
    const int y = h * 9 / 10;
    QCOMPARE(Text(RgbAt(*frame.f, w * 5 / 56, y)), QString("16/90/130"));
    QCOMPARE(Text(RgbAt(*frame.f, w * 15 / 56, y)), QString("235/235/235"));
    QCOMPARE(Text(RgbAt(*frame.f, w * 25 / 56, y)), QString("92/16/143"));
    QCOMPARE(Text(RgbAt(*frame.f, w * 35 / 56, y)), QString("16/16/16"));
    QCOMPARE(Text(RgbAt(*frame.f, w * 31 / 42, y)), QString("7/7/7"));
    QCOMPARE(Text(RgbAt(*frame.f, w * 33 / 42, y)), QString("16/16/16"));
    QCOMPARE(Text(RgbAt(*frame.f, w * 35 / 42, y)), QString("25/25/25"));
    QCOMPARE(Text(RgbAt(*frame.f, w - 1, h - 1)), QString("16/16/16"));
    // RGB24 has the same values in three bytes.
    const avs::ClipPtr packed = Eval(QString("ColorBars(%1, %2, \"RGB24\")").arg(w).arg(h));
    QCOMPARE(packed->info().pixelFormat, AV_PIX_FMT_BGR24);
    const avs::FrameRef rgb24 = reading.Frame(*packed, 0);
    const uint8_t* p = rgb24->data[0] + (h / 3) * rgb24->linesize[0] + 3 * 150;
    QCOMPARE(QString("%1/%2/%3").arg(p[2]).arg(p[1]).arg(p[0]), QString(top[1]));
    // The bar edges sit at sevenths of the width.
    QCOMPARE(Text(RgbAt(*frame.f, 99, 0)), QString(top[0]));
    QCOMPARE(Text(RgbAt(*frame.f, 100, 0)), QString(top[1]));
  }

  // BT.601 values in YUV, and colour edges on chroma sample boundaries.
  // YUY2 is looked at through its lossless unpacking to YV16.
  void colorBarsYuvValues_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("shiftX");
    QTest::addColumn<int>("shiftY");
    QTest::newRow("YV12") << "\"YV12\")" << 1 << 1;
    QTest::newRow("YV16") << "\"YV16\")" << 1 << 0;
    QTest::newRow("YV24") << "\"YV24\")" << 0 << 0;
    QTest::newRow("YUY2") << "\"YUY2\").ConvertToYV16()" << 1 << 0;
  }
  void colorBarsYuvValues() {
    QFETCH(QString, type);
    QFETCH(int, shiftX);
    QFETCH(int, shiftY);
    // 7 does not divide 250: the edges must still fall on chroma samples.
    const int w = 250, h = 150;
    const avs::ClipPtr clip = Eval(QString("ColorBars(%1, %2, %3").arg(w).arg(h).arg(type));
    avs::Reading reading;
    const FrameRefHolder frame{reading.Frame(*clip, 0)};
    const char* const top[7] = {"180/128/128", "162/44/142", "131/156/44", "112/72/58",
                                "84/184/198",  "65/100/212", "35/212/114"};
    for (int i = 0; i < 7; ++i)
      QCOMPARE(Text(YuvAt(*frame.f, (2 * i + 1) * w / 14, h / 3, shiftX, shiftY)), QString(top[i]));
    QCOMPARE(Text(YuvAt(*frame.f, w * 5 / 56, h * 9 / 10, shiftX, shiftY)), QString("16/158/95"));
    QCOMPARE(Text(YuvAt(*frame.f, w * 25 / 56, h * 9 / 10, shiftX, shiftY)), QString("16/174/149"));
    for (int y = 0; y < h; ++y)
      for (int x = 1; x < w; ++x) {
        const Yuv a = YuvAt(*frame.f, x - 1, y, shiftX, shiftY), b = YuvAt(*frame.f, x, y, shiftX, shiftY);
        if (a.y != b.y || a.u != b.u || a.v != b.v)
          QVERIFY2(x % (1 << shiftX) == 0, qPrintable(QString("an edge at x=%1, row %2").arg(x).arg(y)));
      }
    for (int y = 1; y < h; ++y) {
      const Yuv a = YuvAt(*frame.f, 3, y - 1, shiftX, shiftY), b = YuvAt(*frame.f, 3, y, shiftX, shiftY);
      if (a.y != b.y || a.u != b.u) QVERIFY2(y % (1 << shiftY) == 0, qPrintable(QString("an edge at y=%1").arg(y)));
    }
  }

  // BT.709 75% bars as documented, between 40% grey side panels; the
  // PLUGE steps below.
  void colorBarsHdValues() {
    const avs::ClipPtr clip = Eval("ColorBarsHD()");
    avs::Reading reading;
    const FrameRefHolder frame{reading.Frame(*clip, 5)};
    const char* const top[7] = {"180/128/128", "168/44/136", "145/147/44", "133/63/52",
                                "63/193/204",  "51/109/212", "28/212/120"};
    // Panels 161 wide, bars 138.
    for (int i = 0; i < 7; ++i) QCOMPARE(Text(YuvAt(*frame.f, 161 + 138 * i + 69, 200, 0, 0)), QString(top[i]));
    QCOMPARE(Text(YuvAt(*frame.f, 80, 200, 0, 0)), QString("104/128/128"));
    QCOMPARE(Text(YuvAt(*frame.f, 1287, 200, 0, 0)), QString("104/128/128"));
    QCOMPARE(frame.f->data[0][160 + 0 * frame.f->linesize[0]], uint8_t(104));
    QCOMPARE(frame.f->data[0][161 + 0 * frame.f->linesize[0]], uint8_t(180));
    // The ramp rises from left to right.
    const uint8_t* ramp = frame.f->data[0] + 510 * frame.f->linesize[0];
    QVERIFY(ramp[400] < ramp[600] && ramp[600] < ramp[1000]);
    // Bottom row: 15% grey, black, white, and -2 / +2 / +4 % steps.
    const uint8_t* bottom = frame.f->data[0] + 700 * frame.f->linesize[0];
    QCOMPARE(int(bottom[50]), 49);
    QCOMPARE(int(bottom[161 + 100]), 16);
    QCOMPARE(int(bottom[161 + 207 + 138]), 235);
    QCOMPARE(int(bottom[161 + int(138 * (1.5 + 2 + 5.0 / 6 + 1.0 / 6))]), 12);
    QCOMPARE(int(bottom[161 + int(138 * (1.5 + 2 + 5.0 / 6 + 5.0 / 6))]), 20);
    QCOMPARE(int(bottom[161 + int(138 * (1.5 + 2 + 5.0 / 6 + 9.0 / 6))]), 25);
  }

  // A 440 Hz sine at full scale on the left; on the right the same in the
  // first half of every second, silence in the second.
  void colorBarsTone() {
    const avs::ClipPtr clip = Eval("ColorBars(64, 48)");
    std::vector<float> s(2 * 96000);
    avs::Reading reading;
    reading.Samples(*clip, s.data(), 0, 96000);
    for (int n : {0, 1, 17, 1000, 23999, 47000, 60000, 95999}) {
      const double expected = std::sin(2 * M_PI * 440 * n / 48000.0);
      QVERIFY2(std::fabs(s[2 * n] - expected) < 1e-4, qPrintable(QString("left sample %1").arg(n)));
      const bool sounding = n % 48000 < 24000;
      QVERIFY2(std::fabs(s[2 * n + 1] - (sounding ? expected : 0)) < 1e-4,
               qPrintable(QString("right sample %1").arg(n)));
    }
    QCOMPARE(RisingCrossings(s, 2, 0), 880 - 1);  // two seconds, the first rise at sample 0 not counted
  }

  void toneDefaults() {
    const avs::ClipPtr clip = Eval("Tone()");
    const avs::ClipInfo& info = clip->info();
    QVERIFY(!info.hasVideo);
    QCOMPARE(info.sampleRate, 48000);
    QCOMPARE(info.channels, 2);
    QCOMPARE(info.sampleCount, 480000);
    QVERIFY(info.sampleType == avs::SampleType::Float);
    const std::vector<float> s = Floats(clip);
    QCOMPARE(RisingCrossings(s, 2, 1), 4400 - 1);
    float peak = 0;
    for (float v : s) peak = std::max(peak, std::fabs(v));
    QVERIFY(peak > 0.999f && peak <= 1.0f);
  }

  // Tone(length, frequency, samplerate, channels, type, level) by
  // position: the number of cycles, the peak and the wave's own shape.
  void toneWaves_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("crossings");
    QTest::newRow("sine") << "Sine" << 249;
    QTest::newRow("square") << "Square" << 249;
    QTest::newRow("triangle") << "Triangle" << 249;
    QTest::newRow("sawtooth") << "Sawtooth" << 249;
    QTest::newRow("silence") << "Silence" << 0;
    QTest::newRow("noise") << "noise" << -1;
  }
  void toneWaves() {
    QFETCH(QString, type);
    QFETCH(int, crossings);
    const avs::ClipPtr clip = Eval(QString("Tone(0.5, 500, 8000, 1, \"%1\", 0.25)").arg(type));
    QCOMPARE(clip->info().sampleCount, 4000);
    QCOMPARE(clip->info().channels, 1);
    QCOMPARE(clip->info().sampleRate, 8000);
    const std::vector<float> s = Floats(clip);
    float peak = 0;
    for (float v : s) peak = std::max(peak, std::fabs(v));
    if (crossings >= 0) QCOMPARE(RisingCrossings(s, 1, 0), crossings);
    if (type == "Silence") {
      QCOMPARE(peak, 0.0f);
      return;
    }
    QVERIFY2(peak <= 0.25f && peak > 0.24f, qPrintable(QString::number(peak)));
    // 16 samples a cycle.
    if (type == "Square") {
      for (int n = 0; n < 16; ++n) QCOMPARE(s[n + 160], n < 8 ? 0.25f : -0.25f);
    } else if (type == "Triangle") {
      QCOMPARE(s[4], 0.25f);
      QCOMPARE(s[12], -0.25f);
      QCOMPARE(s[2], 0.125f);
    } else if (type == "Sawtooth") {
      QCOMPARE(s[4], 0.125f);
      QCOMPARE(s[9], -0.21875f);
    } else if (type == "noise") {
      double sum = 0;
      for (float v : s) sum += v;
      QVERIFY(std::fabs(sum / 4000) < 0.02);
      QVERIFY(s[0] != s[1] && s[1] != s[2]);
      // The same samples on a read of part of the sound.
      std::vector<float> part(10);
      avs::Reading reading;
      reading.Samples(*clip, part.data(), 1234, 10);
      QCOMPARE(part[3], s[1237]);
    }
  }

  void toneRefusals() {
    QVERIFY(EvaluationError("Tone(type=\"Pulse\")", media_.dir()).contains("type must be"));
    QVERIFY(EvaluationError("Tone(0)", media_.dir()).contains("length"));
    QVERIFY(EvaluationError("Tone(channels=0)", media_.dir()).contains("channels"));
    QVERIFY(EvaluationError("Tone(samplerate=-1)", media_.dir()).contains("samplerate"));
    QVERIFY(EvaluationError("Tone(frequency=-1)", media_.dir()).contains("frequency"));
    QVERIFY(EvaluationError("Tone(frequency=1000000000000.0)", media_.dir()).contains("frequency"));
  }

  // Every container a source may be, through every source filter: the
  // frames ffmpeg decodes, each of them, read in order and backwards. A
  // frame a capture dropped (an empty AVI chunk) shows the frame before it.
  void mediaPicturesAreFfmpegs_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("dropped");  // frames left out after frame 4
    const QStringList files{"dvd.vob", "vcd.mpg", "camera.mod", "broadcast.ts", "bluray.m2ts", "avchd.mts"};
    const QStringList sources{"AviSource(\"%1\", audio=false)", "DirectShowSource(\"%1\", audio=false)",
                              "FFVideoSource(\"%1\")", "FFmpegSource2(\"%1\")", "LWLibavVideoSource(\"%1\")",
                              "LSMASHVideoSource(\"%1\")", "DSS2(\"%1\")"};
    for (const QString& file : files)
      for (const QString& source : sources)
        QTest::addRow("%s %s", qPrintable(file), qPrintable(source.left(source.indexOf('(')))) << source << file << 0;
    QTest::newRow("dropped AVI frames") << "AviSource(\"%1\")" << "dropped.avi" << 3;
  }
  void mediaPicturesAreFfmpegs() {
    QFETCH(QString, source);
    QFETCH(QString, file);
    QFETCH(int, dropped);
    const QString reference = file + ".yuv";
    if (!QFile::exists(media_.path(reference)))
      QVERIFY(media_.ffmpeg({"-i", file, "-map", "0:v:0", "-fps_mode", "passthrough", "-pix_fmt", "yuv420p", "-f",
                             "rawvideo", reference}));
    const qsizetype size = 160 * 120 * 3 / 2;
    QByteArray theirs = media_.read(reference);
    for (int i = 0; i < dropped; ++i) theirs.insert(5 * size, theirs.mid(4 * size, size));
    int64_t frames = 0;
    const QByteArray ours = ScriptPictures(source.arg(file), media_.dir(), &frames);
    QCOMPARE(frames, theirs.size() / size);
    for (int64_t n = 0; n < frames; ++n)
      QVERIFY2(ours.mid(n * size, size) == theirs.mid(n * size, size), qPrintable(QString("frame %1").arg(n)));
    const QByteArray backwards = ScriptPictures(source.arg(file) + ".Reverse()", media_.dir());
    for (int64_t n = 0; n < frames; ++n)
      QVERIFY2(backwards.mid((frames - 1 - n) * size, size) == theirs.mid(n * size, size),
               qPrintable(QString("frame %1, read backwards").arg(n)));
  }

  // Every sample ffmpeg decodes, also where a raw stream's header guesses
  // its length from the bitrate (ADTS AAC) or leaves out the samples the
  // decoder drops (gapless MP3), and where MPEG streams count from their
  // first time to their last, or where a container times its blocks in
  // milliseconds (Matroska).
  void mediaSoundIsFfmpegs_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("file");
    const QStringList files{"dvd.vob", "camera.mod", "broadcast.ts", "bluray.m2ts", "avchd.mts", "sound.aac", "sound.mp3",
                            "pcm.mkv",  "sound.mka"};
    const QStringList sources{"WavSource(\"%1\")", "DirectShowSource(\"%1\", video=false)", "FFAudioSource(\"%1\")",
                              "LWLibavAudioSource(\"%1\")", "LSMASHAudioSource(\"%1\")"};
    for (const QString& file : files)
      for (const QString& source : sources)
        QTest::addRow("%s %s", qPrintable(file), qPrintable(source.left(source.indexOf('(')))) << source << file;
  }
  void mediaSoundIsFfmpegs() {
    QFETCH(QString, source);
    QFETCH(QString, file);
    const QString reference = file + ".s16";
    if (!QFile::exists(media_.path(reference)))
      QVERIFY(media_.ffmpeg({"-i", file, "-map", "0:a:0", "-f", "s16le", reference}));
    const QByteArray theirs = media_.read(reference);
    const ToolRun run = RunTool({"-wav=16bit", media_.script("sound.avs", source.arg(file) + "\n")});
    QCOMPARE(run.exitCode, 0);
    const QByteArray ours = run.out.mid(44);
    QCOMPARE(ours.size(), theirs.size());
    // The same decoder; the conversion to 16 bits may round apart by one.
    const auto* a = reinterpret_cast<const int16_t*>(ours.constData());
    const auto* b = reinterpret_cast<const int16_t*>(theirs.constData());
    for (qsizetype i = 0; i < ours.size() / 2; ++i)
      QVERIFY2(std::abs(a[i] - b[i]) <= 1, qPrintable(QString("sample value %1: %2, not %3").arg(i).arg(a[i]).arg(b[i])));
  }

  // The source functions users' scripts call, with the parameters their
  // documentation gives: what each one changes, and a clear refusal of
  // an argument it does not have or a value it cannot honour.
  void sourceFunctionsTakeTheirParameters_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("expected");  // "frames size fps pixels | rate channels samples", or an error
    const QString first = "25 160x120 25/1 YV12", second = "25 96x72 25/1 YV12";
    QTest::newRow("FFVideoSource") << "FFVideoSource(\"tracks.mp4\")" << first;
    QTest::newRow("FFVideoSource's track") << "FFVideoSource(\"tracks.mp4\", track=1)" << second;
    QTest::newRow("FFVideoSource's rate") << "FFVideoSource(\"tracks.mp4\", fpsnum=30, fpsden=1)" << "30 160x120 30/1 YV12";
    QTest::newRow("FFVideoSource's size and format")
        << "FFVideoSource(\"tracks.mp4\", width=320, height=240, resizer=\"LANCZOS\", colorspace=\"RGB32\")"
        << "25 320x240 25/1 RGB32";
    QTest::newRow("FFVideoSource's systematic format") << "FFVideoSource(\"tracks.mp4\", colorspace=\"YUV444P8\")"
                                                       << "25 160x120 25/1 YV24";
    QTest::newRow("FFVideoSource's options without effect")
        << "FFVideoSource(\"tracks.mp4\", cache=false, cachefile=\"x.ffindex\", threads=1, seekmode=0, utf8=true)" << first;
    QTest::newRow("FFAudioSource") << "FFAudioSource(\"tracks.mp4\")" << "48000 1 48000";
    QTest::newRow("FFAudioSource's track") << "FFAudioSource(\"tracks.mp4\", track=3)" << "32000 1 32000";
    QTest::newRow("FFmpegSource2 without sound") << "FFmpegSource2(\"tracks.mp4\")" << first;
    QTest::newRow("FFmpegSource2 with sound") << "FFmpegSource2(\"tracks.mp4\", vtrack=1, atrack=3)"
                                              << second + " 32000 1 32000";
    QTest::newRow("FFMS2 by position") << "FFMS2(\"tracks.mp4\", -1, -1, true, \"\", 50, 1)" << "50 160x120 50/1 YV12 48000 1 48000";
    QTest::newRow("FFImageSource") << "FFImageSource(\"camera.avi\", colorspace=\"YV24\")" << "10 160x120 25/1 YV24";
    QTest::newRow("LWLibavVideoSource by its own name") << "LWLibavVideoSource(source=\"tracks.mp4\", stream_index=1)" << second;
    QTest::newRow("LWLibavVideoSource's rate and format")
        << "LWLibavVideoSource(\"tracks.mp4\", fpsnum=50, fpsden=1, format=\"YUV422P8\", decoder=\"h264\")"
        << "50 160x120 50/1 YV16";
    QTest::newRow("LWLibavAudioSource's layout and rate") << "LWLibavAudioSource(\"tracks.mp4\", stream_index=3, layout=\"stereo\", rate=16000)"
                                                          << "16000 2 16000";
    QTest::newRow("LSMASHVideoSource's track") << "LSMASHVideoSource(\"tracks.mp4\", track=2)" << second;
    QTest::newRow("LSMASHAudioSource's track") << "LSMASHAudioSource(\"tracks.mp4\", track=4, layout=\"FL+FR+LFE\")"
                                               << "32000 3 32000";
    QTest::newRow("DSS2") << "DSS2(\"tracks.mp4\", fps=50, flipv=true, pixel_type=\"YUY2\")" << "50 160x120 50/1 YUY2";
    QTest::newRow("DirectShowSource by position") << "DirectShowSource(\"tracks.mp4\", 50.0, true, false, true, true)"
                                                  << "50 160x120 50/1 YV12";
    QTest::newRow("DirectShowSource's frame count") << "DirectShowSource(\"tracks.mp4\", audio=false, framecount=40)"
                                                    << "40 160x120 25/1 YV12";
    QTest::newRow("AviSource's tracks") << "AviSource(\"tracks.avi\", vtrack=1, atrack=1)" << second + " 32000 1 32000";
    QTest::newRow("AviSource of a script") << "AviSource(\"two.avs\")" << "10 64x48 24/1 YV12";
    QTest::newRow("AviSource of a script, its variables its own") << "AviSource(\"two.avs\")\nAssert(!VarExist(\"inner\"))"
                                                                   << "10 64x48 24/1 YV12";
    QTest::newRow("AviSource of a script that opens itself") << "AviSource(\"self.avs\")" << "self.avs imports itself";
    QTest::newRow("SegmentedAviSource") << "SegmentedAviSource(\"part.avi\")" << "20 64x48 24/1 YV12";
    QTest::newRow("LoadPlugin of the plugins' files")
        << "LoadPlugin(\"C:\\AviSynth\\plugins\\ffms2.dll\")\nLoadCPlugin(\"libffms2.so\")\n"
           "LoadPlugin(\"LSMASHSource.dll\")\nLoadPlugin(\"avss64.dll\")\nFFVideoSource(\"tracks.mp4\")"
        << first;
    QTest::newRow("an argument it does not have") << "FFVideoSource(\"tracks.mp4\", bogus_arg=1)"
                                                  << "t.avs, line 1: FFVideoSource has no argument named bogus_arg";
    QTest::newRow("another plugin's argument") << "LWLibavVideoSource(\"tracks.mp4\", track=1)"
                                               << "LWLibavVideoSource has no argument named track";
    QTest::newRow("a sound stream as video") << "FFVideoSource(\"tracks.mp4\", track=2)" << "has no video stream 2";
    QTest::newRow("a track that is not there") << "LSMASHAudioSource(\"tracks.mp4\", track=9)" << "has no sound stream 8";
    QTest::newRow("a format of 10 bits") << "LWLibavVideoSource(\"tracks.mp4\", format=\"YUV420P10\")"
                                         << "25 160x120 25/1 YUV420P10";
    QTest::newRow("planar RGB of 16 bits") << "LSMASHVideoSource(\"tracks.mp4\", format=\"GBRP16\")"
                                           << "25 160x120 25/1 RGBP16";
    QTest::newRow("FFMS2's systematic name") << "FFVideoSource(\"tracks.mp4\", colorspace=\"Y16\")" << "25 160x120 25/1 Y16";
    QTest::newRow("FFMS2's Y800") << "FFVideoSource(\"tracks.mp4\", colorspace=\"y800\")" << "25 160x120 25/1 Y8";
    QTest::newRow("a format the engine has not") << "LWLibavVideoSource(\"tracks.mp4\", format=\"XYZ12LE\")"
                                                 << "format \"XYZ12LE\" is no pixel format here";
    QTest::newRow("FFMS2's YUV 4:1:1") << "FFVideoSource(\"tracks.mp4\", colorspace=\"YV411\")"
                                       << "colorspace \"YV411\" is no pixel format here";
    QTest::newRow("pulldown flags asked for") << "FFVideoSource(\"tracks.mp4\", rffmode=1)" << "rffmode 1 is not supported";
    QTest::newRow("repeated fields asked for") << "LWLibavVideoSource(\"pulldown.264\", repeat=true)"
                                               << "pulldown.264 repeats fields of its pictures (soft pulldown)";
    QTest::newRow("repeated fields left as they are") << "LWLibavVideoSource(\"pulldown.264\").AssumeFPS(24000, 1001)"
                                                      << "12 64x48 24000/1001 YV12";
    QTest::newRow("an unknown resizer") << "FFVideoSource(\"tracks.mp4\", width=64, resizer=\"BEST\")" << "unknown resizer \"BEST\"";
    QTest::newRow("an unknown layout") << "LWLibavAudioSource(\"tracks.mp4\", layout=\"surround\")"
                                       << "unknown channel layout \"surround\"";
    QTest::newRow("DirectShowSource without anything") << "DirectShowSource(\"tracks.mp4\", audio=false, video=false)"
                                                       << "needs video or audio";
    QTest::newRow("no segment") << "SegmentedAviSource(\"none.avi\")" << "no segment of none.avi";
  }
  void sourceFunctionsTakeTheirParameters() {
    QFETCH(QString, script);
    QFETCH(QString, expected);
    media_.script("two.avs", "inner = 1\nBlankClip(length=10, width=64, height=48, pixel_type=\"YV12\").KillAudio()\n");
    media_.script("self.avs", "AviSource(\"self.avs\")\n");
    // Soft pulldown: pictures whose timing repeats a field, as the x264
    // command line writes them.
    if (!QFile::exists(media_.path("pulldown.264"))) {
      QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=64x48:r=24000/1001", "-frames:v", "12", "film.y4m"}));
      QProcess x264;
      x264.setWorkingDirectory(media_.dir());
      x264.start("x264", {"--quiet", "--pulldown", "32", "--preset", "ultrafast", "-o", "pulldown.264", "film.y4m"});
      QVERIFY(x264.waitForFinished(60000) && x264.exitCode() == 0);
    }
    for (const char* part : {"part.00.avi", "part.01.avi"})
      if (!QFile::exists(media_.path(part)))
        QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=64x48:r=24", "-frames:v", "10", "-c:v", "mpeg4", part}));
    QString got;
    try {
      const avs::ClipPtr clip = Eval(script);
      const avs::ClipInfo info = clip->info();
      if (info.hasVideo) avs::Reading().Frame(*clip, 0);
      QStringList parts;
      if (info.hasVideo)
        parts << QString("%1 %2x%3 %4/%5 %6").arg(info.frameCount).arg(info.width).arg(info.height).arg(info.fps.num)
                     .arg(info.fps.den).arg(avs::PixelTypeName(info.pixelFormat));
      if (info.hasAudio) parts << QString("%1 %2 %3").arg(info.sampleRate).arg(info.channels).arg(info.sampleCount);
      got = parts.join(' ');
      QCOMPARE(got, expected);
    } catch (const avs::ScriptError& e) {
      got = e.what();
      QVERIFY2(got.contains(expected), qPrintable(got));
    }
  }

  // FFMS2's variables, under their prefix, and its timecodes file.
  void ffms2TellsTheScript() {
    avs::Interpreter interp;
    const avs::Value value = interp.RunText(
        "FFVideoSource(\"tracks.mp4\", track=1, varprefix=\"b_\", timecodes=\"tc.txt\")\n"
        "c = FFVideoSource(\"camera.avi\")\nFFAudioSource(\"tracks.mp4\")\n"
        "String(b_FFSAR_NUM) + \"/\" + String(b_FFSAR_DEN) + \" \" + String(b_FFCROP_LEFT) + \" \" + FFVAR_PREFIX + \" \" + "
        "String(FFCOLOR_RANGE) + \" \" + String(FFCHANNEL_LAYOUT) + \" \" + String(b_FFSAR)",
        "t.avs", media_.dir().toStdString());
    // The camera's full range is given in the limited range (1); the sound
    // is mono, a front centre speaker.
    QCOMPARE(QString::fromStdString(value.asString()), QString("4/3 0  1 4 1.333333"));
    QByteArray timecodes = media_.read("tc.txt");
    QVERIFY2(timecodes.startsWith("# timecode format v2\n0.00\n40.00\n80.00\n"), timecodes.left(80).constData());
    QCOMPARE(timecodes.count('\n'), 26);
  }

  // avs2pipemod reports the clip's own sample type.
  void infoReportsFloatSound() {
    const QString script = media_.script("tone.avs", "Tone(1)\n");
    const ToolRun run = RunTool({"-info", script});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains("a:bit_depth       32"), run.out.constData());
    QVERIFY2(run.out.contains("a:sample_type     float"), run.out.constData());
    const ToolRun blank = RunTool({"-info", media_.script("blank.avs", "BlankClip(sample_type=\"24bit\")\n")});
    QVERIFY2(blank.out.contains("a:bit_depth       24"), blank.out.constData());
    QVERIFY2(blank.out.contains("a:sample_type     int"), blank.out.constData());
  }

  void versionClip() {
    avs::ClipPtr clip = Eval("Version()");
    QCOMPARE(clip->info().frameCount, 240);
    QCOMPARE(clip->info().fps.num, 24);
    QCOMPARE(clip->info().pixelFormat, AV_PIX_FMT_BGR24);
    QVERIFY(clip->info().width > 100 && clip->info().height > 24);
    avs::Reading reading;
    const FrameRefHolder frame{reading.Frame(*clip, 0)};
    // 25% grey in the corner, light yellow letters somewhere.
    QCOMPARE(int(frame.f->data[0][0]), 0x40);
    bool lettered = false;
    for (int y = 0; y < frame.f->height && !lettered; ++y)
      for (int x = 0; x < frame.f->width; ++x) {
        const uint8_t* p = frame.f->data[0] + y * frame.f->linesize[0] + 3 * x;
        if (p[0] > 0xA0 && p[1] > 0xD0 && p[2] > 0xD0) lettered = true;
      }
    QVERIFY(lettered);
    clip = Eval("Version(clip=BlankClip(length=10, width=320, height=240, pixel_type=\"YV12\"))");
    QCOMPARE(clip->info().frameCount, 10);
    QCOMPARE(clip->info().width, 320);
    QCOMPARE(clip->info().pixelFormat, AV_PIX_FMT_YUV420P);
    QCOMPARE(Eval("Version(5, 400, 100)")->info().width, 400);
  }

  // The sources' other forms: other names, numbered segments joined in
  // order, an animation's pictures at its own rate.
  void sourceForms() {
    av_log_set_level(AV_LOG_QUIET);
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=64x48:r=25", "-frames:v", "4", "-c:v", "ffv1", "-pix_fmt",
                           "yuv420p", "seg.00.avi"}));
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "mandelbrot=s=64x48:r=25", "-frames:v", "3", "-c:v", "ffv1", "-pix_fmt",
                           "yuv420p", "seg.02.avi"}));
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=32x32:r=10", "-frames:v", "5", "anim.gif"}));
    const avs::ClipPtr segmented = Eval("SegmentedAVISource(\"seg.avi\")");
    QCOMPARE(segmented->info().frameCount, 7);
    avs::Reading reading;
    QVERIFY(PictureBytes(*reading.Frame(*segmented, 5)) ==
            PictureBytes(*reading.Frame(*Eval("AviSource(\"seg.02.avi\")"), 1)));
    QCOMPARE(Eval("SegmentedDirectShowSource(\"seg.avi\", fps=50)")->info().fps.num, 50);
    QCOMPARE(Eval("OpenDMLSource(\"seg.00.avi\") + AVIFileSource(\"seg.02.avi\")")->info().frameCount, 7);
    const avs::ClipPtr anim = Eval("ImageSourceAnim(\"anim.gif\")");
    QCOMPARE(anim->info().frameCount, 5);
    QCOMPARE(anim->info().fps.num, 10);
    QCOMPARE(anim->info().pixelFormat, AV_PIX_FMT_BGRA);
    QVERIFY(EvaluationError("SegmentedAVISource(\"none.avi\")", media_.dir())
                .contains("no segment of none.avi (none.00.avi to none.99.avi) exists"));
  }

  // ImageWriter writes the frames of its range when they are read; PNG and
  // BMP keep RGB exactly, so ImageReader reads the same pictures back.
  void imageWriterRoundTrips() {
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=64x48:r=25", "-frames:v", "6", "-c:v", "rawvideo", "-pix_fmt",
                           "bgr24", "rgb.avi"}));
    const QString source = "AviSource(\"rgb.avi\")";
    for (const QString& type : {QString("png"), QString("bmp"), QString("tif")}) {
      const avs::ClipPtr written = Eval(source + ".ImageWriter(\"out-" + type + "-\", 2, -3, \"" + type + "\")");
      avs::Reading reading;
      for (int64_t n = 0; n < 6; ++n) reading.Frame(*written, n);
      QVERIFY(!QFile::exists(media_.path("out-" + type + "-000001." + type)));
      QVERIFY(QFile::exists(media_.path("out-" + type + "-000004." + type)));
      QVERIFY(!QFile::exists(media_.path("out-" + type + "-000005." + type)));
      const avs::ClipPtr back = Eval("ImageReader(\"out-" + type + "-%06d." + type + "\", 2, 4, 25, pixel_type=\"RGB24\")");
      avs::Reading original;
      for (int64_t n = 0; n < 3; ++n)
        QVERIFY2(PictureBytes(*reading.Frame(*back, n)) == PictureBytes(*original.Frame(*Eval(source), n + 2)),
                 qPrintable(type + " frame " + QString::number(n)));
    }
    // A name with a %d takes the number as it says; raw is the frame's bytes.
    avs::Reading reading;
    reading.Frame(*Eval(source + ".ConvertToYV12().ImageWriter(\"raw%02d.yuv\", 0, 0, \"raw\")"), 3);
    QCOMPARE(media_.read("raw03.yuv").size(), 64 * 48 * 3 / 2);
    reading.Frame(*Eval(source + ".ImageWriter(\"photo\", type=\"jpg\")"), 1);
    QVERIFY(media_.read("photo000001.jpg").startsWith("\xFF\xD8"));
  }

  void imageWriterRefusals_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown type") << "BlankClip().ImageWriter(\"x\", type=\"webp\")" << "unknown type \"webp\"";
    QTest::newRow("YUV as png") << "BlankClip(pixel_type=\"YV12\").ImageWriter(\"x\", type=\"png\")"
                                << "writes RGB and Y8 pictures as png, not YV12";
    QTest::newRow("a name with two numbers") << "BlankClip().ImageWriter(\"x%d%d\")" << "may hold one %d";
    QTest::newRow("a name with a string") << "BlankClip().ImageWriter(\"x%s\")" << "may hold one %d";
  }
  void imageWriterRefusals() {
    QFETCH(QString, script);
    QFETCH(QString, message);
    const QString error = EvaluationError(script, media_.dir());
    QVERIFY2(error.startsWith("t.avs, line 1: ImageWriter: ") && error.contains(message), qPrintable(error));
  }

  // A file that is not a regular file is never written through.
  void imageWriterWritesRegularFilesOnly() {
    QVERIFY(QDir(media_.dir()).mkpath("dir000000.ebmp"));
    const avs::ClipPtr clip = Eval("BlankClip(length=1).ImageWriter(\"dir\")");
    avs::Reading reading;
    try {
      reading.Frame(*clip, 0);
      QFAIL("a folder was written through");
    } catch (const avs::ScriptError& e) {
      QVERIFY2(QString(e.what()).contains("is not a regular file"), e.what());
    }
  }

 private:
  struct FrameRefHolder {
    avs::FrameRef ref;
    const AVFrame* f = ref.get();
  };
};

QTEST_GUILESS_MAIN(SourceFunctionsTest)
#include "tst_source_functions.moc"
