// The scripts the program writes (probe, Preview, Standard, Deluxe),
// evaluated on clips generated with ffmpeg: picture sizes, colour matrix,
// sound rates, probe files, image sequences and VapourSynth sources.
#include "media_fixture.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtEndian>
#include <QtTest>

extern "C" {
#include <libavutil/log.h>
}

#include <memory>
#include <thread>
#include <vector>

namespace {

enum class Mode { Preview, Standard, Deluxe };

// The mode script below a source line, as the job writes it. `width` is
// the chosen width as text; `newWidth` whether a new width is set.
QString ModeScript(Mode mode, const QString& sourceLine, const QString& fpsArg, const QString& width, bool newWidth) {
  QStringList l{sourceLine};
  l << (mode == Mode::Preview ? "R=(v.AudioRate>44100)?44100:v.AudioRate" : "R=(v.AudioRate>48000)?48000:v.AudioRate");
  l << "v = v.ResampleAudio(R)" << "v = v.AssumeFPS(" + fpsArg + ")" << "v";
  if (mode == Mode::Deluxe) l << "W=v.Width";
  else if (!newWidth) l << "W=Width";
  else l << "W=" + (mode == Mode::Standard && width == "848" ? QString("853") : width);
  l << "W=(W>v.Width)?v.Width:W" << "H=W*v.Height/v.Width";
  if (mode != Mode::Preview) l << "W=(W==853)?852:W" << "H=(H==479)?480:H";
  l << "CW=(W%4)" << "CH=(H%2)" << "g = v.Spline64Resize(W-CW,H-CH)";
  if (mode == Mode::Preview)
    l << "g = IsRGB(g) ? g.ConvertToYV12(matrix=\"Rec601\") : g";
  else
    l << "g = IsRGB(g) ? (g.Height >= 720 && g.Width >= 1280 ? g.ConvertToYV12(matrix=\"Rec709\") : "
         "g.ConvertToYV12(matrix=\"Rec601\") ) : g";
  l << "g";
  if (mode == Mode::Standard && width == "848") l << "(g.Width>848)?g.Crop(2,0,-2,0):last";
  return l.join("\r\n") + "\r\n";
}

QString ProbeScript(const QString& sourceLine) {
  return sourceLine + "\r\nWriteFileStart(v, \"fps.txt\", \"Framerate(v)\")\r\nWriteFileStart(v, \"audio.txt\", \"HasAudio(v)\")\r\n";
}

}  // namespace

class KelvarionScriptsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<MediaFolder> media_;

  // A short clip of the given size; RGB (rawvideo) when `rgb`, else mpeg4.
  QString Clip(const QString& name, int width, int height, bool rgb, const QString& color = {}) {
    QString file = name + ".avi";
    if (QFile::exists(media_->path(file))) return media_->path(file);
    QString source = color.isEmpty() ? QString("testsrc2=s=%1x%2:r=25:d=0.12").arg(width).arg(height)
                                     : QString("color=c=%3:s=%1x%2:r=25:d=0.12").arg(width).arg(height).arg(color);
    QStringList codec = rgb ? QStringList{"-c:v", "rawvideo", "-pix_fmt", "bgr24"} : QStringList{"-c:v", "mpeg4"};
    if (!media_->ffmpeg(QStringList{"-f", "lavfi", "-i", source} + codec + QStringList{file})) return {};
    return media_->path(file);
  }

  std::unique_ptr<avs::ClipReader> Open(const QString& name, const QString& text) {
    return avs::ClipReader::OpenScript(media_->script(name, text).toStdString());
  }

 private slots:
  void initTestCase() {
    // Damaged media make the decoders complain; the tests check the outcome.
    av_log_set_level(AV_LOG_QUIET);
    media_ = std::make_unique<MediaFolder>();
  }

  void pictureSizes_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("srcW");
    QTest::addColumn<int>("srcH");
    QTest::addColumn<bool>("rgb");
    QTest::addColumn<QString>("width");
    QTest::addColumn<bool>("newWidth");
    QTest::addColumn<int>("outW");
    QTest::addColumn<int>("outH");
    const int P = int(Mode::Preview), S = int(Mode::Standard), D = int(Mode::Deluxe);
    QTest::newRow("Preview 1920x1080 at 480") << P << 1920 << 1080 << false << "480" << true << 480 << 270;
    QTest::newRow("Preview 1920x1080 at 320") << P << 1920 << 1080 << false << "320" << true << 320 << 180;
    QTest::newRow("Preview 640x480 at 480") << P << 640 << 480 << false << "480" << true << 480 << 360;
    QTest::newRow("Preview 854x480 at 480") << P << 854 << 480 << false << "480" << true << 480 << 268;
    QTest::newRow("Preview no enlargement") << P << 300 << 200 << false << "480" << true << 300 << 200;
    QTest::newRow("Preview source width 350x262") << P << 350 << 262 << true << "480" << false << 348 << 262;
    QTest::newRow("Standard 848 from 1920x1080") << S << 1920 << 1080 << false << "848" << true << 848 << 480;
    QTest::newRow("Standard 848 from 1280x720") << S << 1280 << 720 << false << "848" << true << 848 << 480;
    QTest::newRow("Standard 848 from 640x480") << S << 640 << 480 << false << "848" << true << 640 << 480;
    QTest::newRow("Standard 848 chosen, width off") << S << 1920 << 1080 << false << "848" << false << 1916 << 1080;
    QTest::newRow("Standard RGB at 1280") << S << 1920 << 1080 << true << "1280" << true << 1280 << 720;
    QTest::newRow("Deluxe 853x480") << D << 853 << 480 << true << "" << false << 852 << 480;
  }
  void pictureSizes() {
    QFETCH(int, mode);
    QFETCH(int, srcW);
    QFETCH(int, srcH);
    QFETCH(bool, rgb);
    QFETCH(QString, width);
    QFETCH(bool, newWidth);
    QFETCH(int, outW);
    QFETCH(int, outH);
    QString clip = Clip(QString("src%1x%2%3").arg(srcW).arg(srcH).arg(rgb ? "rgb" : ""), srcW, srcH, rgb);
    QVERIFY(!clip.isEmpty());
    auto reader = Open("Vid.avs", ModeScript(Mode(mode), "v = AviSource(\"" + clip + "\")", "\"pal_film\"", width, newWidth));
    const avs::ClipInfo& info = reader->info();
    QCOMPARE(info.width, outW);
    QCOMPARE(info.height, outH);
    QCOMPARE(info.pixelFormat, AV_PIX_FMT_YUV420P);
    QCOMPARE(info.frameCount, int64_t{3});
    ReadBack back = ReadWholeClip(*reader);
    QVERIFY2(back.problem.isEmpty(), qPrintable(back.problem));
    QCOMPARE(back.frames, int64_t{3});
  }

  // Pure red converts to luma 63 with Rec709 and 81 with Rec601 (limited range).
  void colourMatrix_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("width");
    QTest::addColumn<int>("luma");
    QTest::newRow("Standard 1280x720 uses Rec709") << int(Mode::Standard) << "1280" << 63;
    QTest::newRow("Standard 1024x576 uses Rec601") << int(Mode::Standard) << "1024" << 81;
    QTest::newRow("Preview 1280x720 uses Rec601") << int(Mode::Preview) << "1280" << 81;
    QTest::newRow("Deluxe 1920x1080 uses Rec709") << int(Mode::Deluxe) << "" << 63;
  }
  void colourMatrix() {
    QFETCH(int, mode);
    QFETCH(QString, width);
    QFETCH(int, luma);
    QString clip = Clip("red1920x1080", 1920, 1080, true, "red");
    QVERIFY(!clip.isEmpty());
    auto reader = Open("Vid.avs", ModeScript(Mode(mode), "v = AviSource(\"" + clip + "\")", "\"pal_film\"", width, true));
    const AVFrame* frame = reader->NextFrame();
    QVERIFY(frame);
    int y = frame->data[0][frame->linesize[0] * (frame->height / 2) + frame->width / 2];
    QVERIFY2(std::abs(y - luma) <= 1, qPrintable(QString("luma %1").arg(y)));
  }

  void soundRates_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("sourceRate");
    QTest::addColumn<int>("rate");
    QTest::newRow("Preview 96000 to 44100") << int(Mode::Preview) << 96000 << 44100;
    QTest::newRow("Standard 96000 to 48000") << int(Mode::Standard) << 96000 << 48000;
    QTest::newRow("Deluxe 96000 to 48000") << int(Mode::Deluxe) << 96000 << 48000;
    QTest::newRow("Preview keeps 32000") << int(Mode::Preview) << 32000 << 32000;
    QTest::newRow("Standard keeps 44100") << int(Mode::Standard) << 44100 << 44100;
  }
  void soundRates() {
    QFETCH(int, mode);
    QFETCH(int, sourceRate);
    QFETCH(int, rate);
    QString file = QString("sound%1.avi").arg(sourceRate);
    if (!QFile::exists(media_->path(file)))
      QVERIFY(media_->ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=160x120:r=25:d=1", "-f", "lavfi", "-i",
                              QString("sine=f=440:r=%1:d=1").arg(sourceRate), "-ac", "2", "-c:v", "mpeg4", "-c:a",
                              "pcm_s16le", file}));
    auto reader = Open("Vid.avs", ModeScript(Mode(mode), "v = AviSource(\"" + media_->path(file) + "\")", "25.000", "160", true));
    const avs::ClipInfo& info = reader->info();
    QVERIFY(info.hasAudio);
    QCOMPARE(info.sampleRate, rate);
    QCOMPARE(info.channels, 2);
    QCOMPARE(info.sampleCount, int64_t{rate});  // one second
    ReadBack back = ReadWholeClip(*reader);
    QCOMPARE(back.samples, info.sampleCount);
    QCOMPARE(back.frames, int64_t{25});
  }

  // The encoders read frames on one thread while the sound may be read on
  // another; each keeps its own decoder.
  void pictureAndSoundOnTwoThreads() {
    QVERIFY(media_->ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=2", "-f", "lavfi", "-i",
                            "sine=r=48000:d=2", "-c:v", "mpeg4", "-c:a", "pcm_s16le", "threads.avi"}));
    auto reader = Open("threads.avs", "AviSource(\"threads.avi\").ResampleAudio(44100).Spline64Resize(160, 120)\n");
    int64_t samples = 0;
    std::thread sound([&] {
      std::vector<int16_t> buffer(1000);
      while (std::size_t n = reader->ReadAudioS16(buffer.data(), 1000)) samples += static_cast<int64_t>(n);
    });
    int64_t frames = 0;
    while (reader->NextFrame()) ++frames;
    sound.join();
    QCOMPARE(frames, int64_t{50});
    QCOMPARE(samples, int64_t{88200});
  }

  void probeFiles_data() {
    QTest::addColumn<QString>("rate");
    QTest::addColumn<bool>("sound");
    QTest::addColumn<QString>("fpsText");
    QTest::addColumn<qint64>("num");
    QTest::addColumn<qint64>("den");
    QTest::newRow("25 fps with sound") << "25" << true << "25.000000" << qint64(25) << qint64(1);
    QTest::newRow("25 fps silent") << "25" << false << "25.000000" << qint64(25) << qint64(1);
    QTest::newRow("23.976 fps with sound") << "24000/1001" << true << "23.976024" << qint64(24000) << qint64(1001);
    QTest::newRow("23.976 fps silent") << "24000/1001" << false << "23.976024" << qint64(24000) << qint64(1001);
    QTest::newRow("29.97 fps with sound") << "30000/1001" << true << "29.970030" << qint64(30000) << qint64(1001);
    QTest::newRow("29.97 fps silent") << "30000/1001" << false << "29.970030" << qint64(30000) << qint64(1001);
  }
  void probeFiles() {
    QFETCH(QString, rate);
    QFETCH(bool, sound);
    QFETCH(QString, fpsText);
    QFETCH(qint64, num);
    QFETCH(qint64, den);
    MediaFolder folder;
    QStringList args{"-f", "lavfi", "-i", "testsrc2=s=160x120:r=" + rate + ":d=1"};
    if (sound) args << "-f" << "lavfi" << "-i" << "sine=d=1" << "-c:a" << "pcm_s16le";
    QVERIFY(folder.ffmpeg(args + QStringList{"-c:v", "mpeg4", "-frames:v", "21", "src.avi"}));
    // The probe script lies in another folder than the clip, as the job's does.
    QDir(folder.dir()).mkdir("temp");
    QString script = folder.script("temp/Vid.avs", ProbeScript("v = Avisource(\"" + folder.path("src.avi") + "\")"));
    auto reader = avs::ClipReader::OpenScript(script.toStdString());
    QCOMPARE(folder.read("temp/fps.txt"), (fpsText + "\n").toUtf8());
    QCOMPARE(folder.read("temp/audio.txt"), QByteArray(sound ? "true\n" : "false\n"));
    QCOMPARE(reader->info().fps.num, num);
    QCOMPARE(reader->info().fps.den, den);
    QCOMPARE(reader->info().frameCount, int64_t{21});
  }

  void importedScriptSource() {
    QString clip = Clip("src640x480", 640, 480, false);
    media_->script("user.avs", "AviSource(\"src640x480.avi\").Trim(1, 0)\n");
    auto reader = Open("Vid.avs", ModeScript(Mode::Preview, "v = Import(\"" + media_->path("user.avs") + "\")", "\"pal_film\"", "320", true));
    QCOMPARE(reader->info().width, 320);
    QCOMPARE(reader->info().height, 240);
    QCOMPARE(reader->info().frameCount, int64_t{2});
    QCOMPARE(ReadWholeClip(*reader).frames, int64_t{2});
  }

  void imageSequences_data() {
    QTest::addColumn<QString>("extension");
    QTest::addColumn<bool>("withWav");
    QTest::newRow("png without WAV") << "png" << false;
    QTest::newRow("png with WAV") << "png" << true;
    QTest::newRow("jpg with WAV") << "jpg" << true;
    QTest::newRow("jpg without WAV") << "jpg" << false;
  }
  void imageSequences() {
    QFETCH(QString, extension);
    QFETCH(bool, withWav);
    MediaFolder folder;
    QDir(folder.dir()).mkdir("shots");
    QVERIFY(folder.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25", "-frames:v", "6", "-start_number", "7",
                           "shots/shot%04d." + extension}));
    QVERIFY(folder.ffmpeg({"-f", "lavfi", "-i", "sine=d=0.5:r=44100", "-ac", "2", "sound.wav"}));
    // The probe sees the sequence as RGB.
    QString pattern = folder.path("shots/shot%04d." + extension);
    QString image = "ImageSource(\"" + pattern + "\", 8, 12, 12.500)";
    auto probe = avs::ClipReader::OpenScript(folder.script("probe.avs", ProbeScript("v = " + image)).toStdString());
    QVERIFY(avs::PixelTypeName(probe->info().pixelFormat) == std::string("RGB24"));
    QCOMPARE(folder.read("fps.txt"), QByteArray("12.500000\n"));
    QCOMPARE(folder.read("audio.txt"), QByteArray("false\n"));

    QString source = withWav ? "v = AudioDub(" + image + ", wavsource(\"" + folder.path("sound.wav") + "\"))" : "v = " + image;
    auto reader = avs::ClipReader::OpenScript(
        folder.script("Vid.avs", ModeScript(Mode::Preview, source, "12.500", "160", true)).toStdString());
    const avs::ClipInfo& info = reader->info();
    QCOMPARE(info.width, 160);
    QCOMPARE(info.height, 120);
    QCOMPARE(info.pixelFormat, AV_PIX_FMT_YUV420P);
    QCOMPARE(info.frameCount, int64_t{5});
    QCOMPARE(info.fps.num, int64_t{25});
    QCOMPARE(info.fps.den, int64_t{2});
    QCOMPARE(info.hasAudio, withWav);
    ReadBack back = ReadWholeClip(*reader);
    QVERIFY2(back.problem.isEmpty(), qPrintable(back.problem));
    QCOMPARE(back.frames, int64_t{5});
    QCOMPARE(back.samples, withWav ? int64_t{22050} : int64_t{0});
  }

  void imageSequenceMissingFrame() {
    MediaFolder folder;
    QVERIFY(folder.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=64x48", "-frames:v", "2", "-start_number", "0", "i%02d.png"}));
    auto reader = avs::ClipReader::OpenScript(folder.script("Vid.avs", "ImageSource(\"i%02d.png\", 0, 3, 25)\n").toStdString());
    QVERIFY(reader->NextFrame());
    QVERIFY(reader->NextFrame());
    QVERIFY_THROWS_EXCEPTION(avs::ScriptError, reader->NextFrame());
  }

  void wavSourceTakesTheSoundOfAnAvi() {
    QString file = "sound44100.avi";
    QVERIFY(media_->ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=160x120:r=25:d=1", "-f", "lavfi", "-i", "sine=r=44100:d=1",
                            "-c:v", "mpeg4", "-c:a", "pcm_s16le", file}));
    auto reader = Open("wav.avs", "WavSource(\"" + file + "\")\n");
    QVERIFY(!reader->info().hasVideo);
    QCOMPARE(reader->info().sampleCount, int64_t{44100});
    QCOMPARE(ReadWholeClip(*reader).samples, int64_t{44100});
  }

  // VapourSynth scripts are rendered by vspipe; a stand-in on PATH renders
  // the AVI beside the script with ffmpeg.
  void vapourSynthSource() {
    MediaFolder folder;
    QDir(folder.dir()).mkdir("bin");
    QVERIFY(folder.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240:r=24000/1001:d=0.5", "-f", "lavfi", "-i",
                           "sine=r=48000:d=0.5", "-c:v", "mpeg4", "-c:a", "pcm_s16le", "clip.avi"}));
    // The stand-in reports 10 frames when asked for --info (unless a file
    // "no-info" lies beside the script), so that the test tells a reported
    // count from a counted one (12).
    folder.write("bin/vspipe",
                 "#!/bin/sh\n"
                 "if [ \"$1\" = --info ]; then\n"
                 "  [ -e \"$(dirname \"$2\")/no-info\" ] && exit 1\n"
                 "  printf 'Width: 320\\nHeight: 240\\nFrames: 10\\nFPS: 24000/1001\\n'; exit 0\n"
                 "fi\n"
                 "[ \"$1 $2\" = \"-c y4m\" ] || exit 2\n"
                 "case \"$3\" in *broken.vpy) echo \"Python exception: boom\" >&2; exit 1;; esac\n"
                 "exec /usr/bin/ffmpeg -nostdin -loglevel error -i \"$(dirname \"$3\")/clip.avi\" -f yuv4mpegpipe "
                 "-pix_fmt yuv420p -\n");
    QFile::setPermissions(folder.path("bin/vspipe"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    folder.write("clip.vpy", "import vapoursynth as vs\nclip = vs.core.avisource.AVISource(path=r'clip.avi')\nclip.set_output()\n");
    QString script = folder.script("Vid.avs", ModeScript(Mode::Standard,
                                                         "v = AudioDub(avisource(\"" + folder.path("clip.vpy") +
                                                             "\"), wavsource(\"" + folder.path("clip.avi") + "\"))",
                                                         "\"ntsc_round_film\"", "160", true));
    struct PathGuard {
      QByteArray saved = qgetenv("PATH");
      ~PathGuard() { qputenv("PATH", saved); }
    } guard;
    qputenv("PATH", "/nonexistent");
    QVERIFY_THROWS_EXCEPTION(avs::ScriptError, avs::ClipReader::OpenScript(script.toStdString()));
    try {
      avs::ClipReader::OpenScript(script.toStdString());
    } catch (const avs::ScriptError& e) {
      QVERIFY2(QString(e.what()).contains("Vid.avs, line 1: VapourSynth (vspipe) not found"), e.what());
    }
    qputenv("PATH", folder.path("bin").toUtf8() + ":" + guard.saved);
    auto reader = avs::ClipReader::OpenScript(script.toStdString());
    const avs::ClipInfo& info = reader->info();
    QCOMPARE(info.width, 160);
    QCOMPARE(info.height, 120);
    QCOMPARE(info.frameCount, int64_t{10});
    // The rounded preset names the clip's own rate, which stays exact.
    QCOMPARE(info.fps.num, int64_t{24000});
    QCOMPARE(info.fps.den, int64_t{1001});
    QCOMPARE(info.sampleRate, 48000);
    ReadBack back = ReadWholeClip(*reader);
    QCOMPARE(back.frames, int64_t{10});
    QCOMPARE(back.samples, info.sampleCount);

    // A script vspipe cannot run: its message is passed on.
    folder.write("broken.vpy", "boom\n");
    try {
      avs::ClipReader::OpenScript(folder.script("broken.avs", "AviSource(\"broken.vpy\")\n").toStdString());
      QFAIL("a failing VapourSynth script was accepted");
    } catch (const avs::ScriptError& e) {
      QVERIFY2(QString(e.what()).contains(QRegularExpression("broken.avs, line 1: vspipe gave no video for .*broken.vpy: "
                                                             "Python exception: boom$")),
               e.what());
    }

    // Without --info the frames vspipe renders are counted.
    folder.write("no-info", "");
    reader = avs::ClipReader::OpenScript(script.toStdString());
    QCOMPARE(reader->info().frameCount, int64_t{12});
    QCOMPARE(ReadWholeClip(*reader).frames, int64_t{12});
  }

  // Source filters of users' own scripts, on a Matroska file whose header
  // gives no frame count: the frames are counted from its packets.
  void userSourceFilters_data() {
    QTest::addColumn<QString>("call");
    QTest::addColumn<bool>("video");
    QTest::addColumn<bool>("audio");
    QTest::newRow("FFVideoSource") << "FFVideoSource(\"user.mkv\", threads=1)" << true << false;
    QTest::newRow("LWLibavVideoSource") << "LWLibavVideoSource(\"user.mkv\")" << true << false;
    QTest::newRow("FFAudioSource") << "FFAudioSource(\"user.mkv\")" << false << true;
    QTest::newRow("LWLibavAudioSource") << "LWLibavAudioSource(\"user.mkv\")" << false << true;
    QTest::newRow("DirectShowSource") << "DirectShowSource(\"user.mkv\")" << true << true;
    QTest::newRow("DirectShowSource without sound") << "DirectShowSource(\"user.mkv\", audio=false)" << true << false;
  }
  void userSourceFilters() {
    QFETCH(QString, call);
    QFETCH(bool, video);
    QFETCH(bool, audio);
    if (!QFile::exists(media_->path("user.mkv")))
      QVERIFY(media_->ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240:r=24000/1001:d=2", "-f", "lavfi", "-i",
                              "sine=r=48000:d=2", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "flac", "user.mkv"}));
    auto reader = Open("user.avs", call + "\n");
    const avs::ClipInfo& info = reader->info();
    QCOMPARE(info.hasVideo, video);
    QCOMPARE(info.hasAudio, audio);
    if (video) {
      QCOMPARE(info.frameCount, int64_t{48});
      QCOMPARE(info.fps.num, int64_t{24000});
    }
    if (audio) QCOMPARE(info.sampleCount, int64_t{96000});
    ReadBack back = ReadWholeClip(*reader);
    QCOMPARE(back.frames, info.frameCount);
    QCOMPARE(back.samples, info.sampleCount);
  }

  void sourceOptions_data() {
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("pixelType");
    QTest::addColumn<qint64>("fpsNum");
    QTest::newRow("AviSource pixel_type RGB32") << "AviSource(\"user.avi\", pixel_type=\"RGB32\")" << "RGB32" << qint64(25);
    QTest::newRow("AviSource pixel_type YUY2") << "AviSource(\"user.avi\", pixel_type=\"YUY2\")" << "YUY2" << qint64(25);
    QTest::newRow("AviSource pixel_type AUTO") << "AviSource(\"user.avi\", pixel_type=\"AUTO\")" << "YV12" << qint64(25);
    QTest::newRow("DirectShowSource fps") << "DirectShowSource(\"user.avi\", fps=30)" << "YV12" << qint64(30);
    QTest::newRow("ImageSource pixel_type RGB32") << "ImageSource(\"user%d.png\", 1, 2, 25, pixel_type=\"RGB32\")" << "RGB32" << qint64(25);
  }
  void sourceOptions() {
    QFETCH(QString, call);
    QFETCH(QString, pixelType);
    QFETCH(qint64, fpsNum);
    if (!QFile::exists(media_->path("user.avi"))) {
      QVERIFY(media_->ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=160x120:r=25:d=0.2", "-c:v", "mpeg4", "user.avi"}));
      QVERIFY(media_->ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=160x120", "-frames:v", "2", "-start_number", "1", "user%d.png"}));
    }
    auto reader = Open("options.avs", call + "\n");
    QCOMPARE(QString(avs::PixelTypeName(reader->info().pixelFormat)), pixelType);
    QCOMPARE(reader->info().fps.num, fpsNum);
    ReadBack back = ReadWholeClip(*reader);
    QVERIFY2(back.problem.isEmpty(), qPrintable(back.problem));
    QCOMPARE(back.frames, reader->info().frameCount);
  }

  void aviSourceJoinsFiles() {
    QVERIFY(media_->ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=160x120:r=25:d=0.2", "-f", "lavfi", "-i", "sine=r=8000:d=0.1",
                            "-c:v", "mpeg4", "-c:a", "pcm_s16le", "part.avi"}));
    auto reader = Open("join.avs", "AviSource(\"part.avi\", \"part.avi\", \"part.avi\")\n");
    QCOMPARE(reader->info().frameCount, int64_t{15});
    // Each part's sound is fitted to its 5 frames (1600 samples) but the last's.
    QCOMPARE(reader->info().sampleCount, int64_t{1600 + 1600 + 800});
    ReadBack back = ReadWholeClip(*reader);
    QCOMPARE(back.frames, int64_t{15});
    QCOMPARE(back.samples, int64_t{4000});

    reader = Open("join.avs", "AviSource(\"part.avi\", \"part.avi\", false, \"RGB24\")\n");
    QCOMPARE(reader->info().frameCount, int64_t{10});
    QVERIFY(!reader->info().hasAudio);
    QCOMPARE(QString(avs::PixelTypeName(reader->info().pixelFormat)), QString("RGB24"));
    QVERIFY_THROWS_EXCEPTION(avs::ScriptError, Open("join.avs", "AviSource(\"part.avi\", false, \"RGB24\", 3)\n"));
  }

  // A file whose header promises frames it does not hold is refused with a
  // message; damage inside the frames is concealed, as players do.
  void brokenMedia() {
    MediaFolder folder;
    QVERIFY(folder.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=2", "-c:v", "mpeg4", "whole.avi"}));
    QByteArray whole = folder.read("whole.avi");
    folder.write("cut.avi", whole.left(whole.size() / 2));
    QByteArray doctored = whole;
    int strh = doctored.indexOf("strh");
    QVERIFY(strh > 0);
    qToLittleEndian<quint32>(0x7FFFFFF0u, doctored.data() + strh + 8 + 32);
    folder.write("doctored.avi", doctored);
    for (const char* name : {"cut.avi", "doctored.avi"}) {
      try {
        avs::ClipReader::OpenScript(folder.script("broken.avs", QString("\nAviSource(\"%1\")\n").arg(name)).toStdString());
        QFAIL(name);
      } catch (const avs::ScriptError& e) {
        QVERIFY2(QString(e.what()).contains(QRegularExpression("broken.avs, line 2: the header of .* promises (50|2147483632) "
                                                               "frames, but the file holds \\d+$")),
                 e.what());
      }
    }

    QByteArray damaged = whole;
    for (int i = damaged.size() / 3; i < damaged.size() / 3 + 20000 && i < damaged.size(); i += 7) damaged[i] = char(i);
    folder.write("damaged.avi", damaged);
    auto reader = avs::ClipReader::OpenScript(folder.script("damaged.avs", "AviSource(\"damaged.avi\")\n").toStdString());
    QCOMPARE(reader->info().frameCount, int64_t{50});
    QCOMPARE(ReadWholeClip(*reader).frames, int64_t{50});
  }
};

QTEST_GUILESS_MAIN(KelvarionScriptsTest)
#include "tst_kelvarion_scripts.moc"
