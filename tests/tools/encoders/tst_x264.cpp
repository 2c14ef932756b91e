// x264 (and x264_64 through avs4x264mod) on scripts over generated clips:
// the stream's frame rate and frame count, two-pass rate control and its
// statistics files, the progress lines the program parses, pixel format
// conversion, libx264's own options, and refusal of bad command lines.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "tests/tools/encoders/tool_runner.h"

namespace {

// The options that every mode passes first (at 25 fps).
const QStringList kCommonOptions{"--level", "4.1", "--preset", "veryslow", "--me", "umh", "--ref", "4",
                                 "--no-psy", "--keyint", "250", "--min-keyint", "25"};
const QStringList kDeluxeOptions{"--no-fast-pskip", "--crf", "17"};

}  // namespace

class TestX264 : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QString Path(const QString& name) const { return dir_.filePath(name); }

  // An AVI clip (lossless FFV1) and a script that opens it.
  bool MakeClip(const QString& name, const QString& lavfiSource, int frames, const QString& pixelFormat = "yuv420p") {
    if (!Ffmpeg({"-f", "lavfi", "-i", lavfiSource, "-frames:v", QString::number(frames), "-pix_fmt", pixelFormat,
                 "-c:v", "ffv1", Path(name + ".avi")}))
      return false;
    QFile script(Path(name + ".avs"));
    if (!script.open(QIODevice::WriteOnly)) return false;
    script.write(QString("AviSource(\"%1.avi\")\r\n").arg(name).toUtf8());
    return true;
  }

  RunResult Encode(const QStringList& options, const QString& output, const QString& script) {
    return RunTool("x264", options + QStringList{"-o", output, script});
  }

  static double KiloBitsPerSecond(const QString& rawStream, int frames, double fps) {
    return QFileInfo(rawStream).size() * 8.0 / (frames / fps) / 1000.0;
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    // Moving noise: hard to compress, so the rate control has work to do.
    QVERIFY(MakeClip("noisy", "testsrc2=size=320x240:rate=25,noise=alls=30:allf=t", 100));
  }

  void frameRateAndCountReachTheMp4_data() {
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("modeOptions");
    QTest::newRow("23.976, deluxe") << "24000/1001" << "24000/1001" << kDeluxeOptions;
    QTest::newRow("29.97, six B-frames") << "30000/1001" << "30000/1001"
                                         << QStringList{"--bframes", "6", "--bitrate", "400"};
    QTest::newRow("25") << "25" << "25/1" << kDeluxeOptions;
  }
  void frameRateAndCountReachTheMp4() {
    QFETCH(QString, rate);
    QFETCH(QString, expected);
    QFETCH(QStringList, modeOptions);
    const int frames = 40;
    QVERIFY(MakeClip("rate", "testsrc2=size=320x240:rate=" + rate, frames));
    const RunResult result = Encode(kCommonOptions + modeOptions, Path("rate.264"), Path("rate.avs"));
    QVERIFY2(result.exitCode == 0, result.output.constData());
    const QJsonObject raw = ProbeStream(Path("rate.264"), 0);
    QCOMPARE(raw["codec_name"].toString(), QString("h264"));
    QCOMPARE(raw["width"].toInt(), 320);
    QCOMPARE(raw["height"].toInt(), 240);
    QCOMPARE(raw["level"].toInt(), 41);
    QCOMPARE(raw["r_frame_rate"].toString(), expected);
    QCOMPARE(CountFrames(Path("rate.264")), frames);

    QCOMPARE(RunTool("MP4Box", {"-add", Path("rate.264"), "-new", Path("rate.mp4")}).exitCode, 0);
    const QJsonObject video = ProbeStream(Path("rate.mp4"), 0);
    QCOMPARE(video["avg_frame_rate"].toString(), expected);
    const QStringList parts = expected.split('/');
    QVERIFY(qAbs(video["duration"].toString().toDouble() - frames * parts[1].toDouble() / parts[0].toDouble()) < 0.001);
    QCOMPARE(FrameHashes(Path("rate.mp4")), FrameHashes(Path("rate.264")));
    QCOMPARE(ReadWarnings(Path("rate.mp4")), QByteArray());
  }

  // Preview's two passes at 481 kbit/s on noisy content, with libx264's
  // default rate tolerance: Preview's own "--ratetol 100.0" lets a clip of a
  // few seconds stray by a fifth.
  void twoPassReachesTheTargetBitrate() {
    const QString stats = Path("stats.log");
    const QStringList preview =
        kCommonOptions + QStringList{"--slow-firstpass", "--bframes", "6", "--bitrate", "481", "--stats", stats};
    const RunResult first = Encode(preview + QStringList{"--pass", "1"}, Path("video.264"), Path("noisy.avs"));
    QVERIFY2(first.exitCode == 0, first.output.constData());
    QVERIFY(QFile::exists(stats));
    QVERIFY(QFile::exists(stats + ".mbtree"));
    QVERIFY(!QFile::exists(stats + ".temp"));
    // --slow-firstpass keeps the full reference count in the first pass.
    QVERIFY(ReadFile(stats).contains(" ref=4 "));

    const RunResult second = Encode(preview + QStringList{"--pass", "2"}, Path("video.264"), Path("noisy.avs"));
    QVERIFY2(second.exitCode == 0, second.output.constData());
    const double rate = KiloBitsPerSecond(Path("video.264"), 100, 25);
    QVERIFY2(qAbs(rate - 481) < 48.1, qPrintable(QString::number(rate)));
    QCOMPARE(CountFrames(Path("video.264")), 100);

    // The progress the program parses: "[" percentage with one decimal "%",
    // then the closing line with the real figures.
    static const QRegularExpression progress(
        R"(\[(\d+)\.\d%\] (\d+)/100 frames, \d+\.\d\d fps, \d+\.\d\d kb/s, eta \d+:\d\d:\d\d)");
    QVERIFY2(progress.match(second.output).hasMatch(), second.output.constData());
    static const QRegularExpression closing(R"(encoded 100 frames, \d+\.\d\d fps, (\d+\.\d\d) kb/s\n)");
    const QRegularExpressionMatch end = closing.match(second.output);
    QVERIFY2(end.hasMatch(), second.output.constData());
    QVERIFY(qAbs(end.captured(1).toDouble() - rate) < 1.0);
  }

  void firstPassIsFastUnlessSlowIsAsked() {
    const QString stats = Path("fast.log");
    const RunResult result = Encode(kCommonOptions + QStringList{"--bitrate", "300", "--stats", stats, "--pass", "1"},
                                    Path("fast.264"), Path("noisy.avs"));
    QVERIFY2(result.exitCode == 0, result.output.constData());
    QVERIFY(ReadFile(stats).contains(" ref=1 "));
  }

  // Ended halfway, politely or with SIGKILL (how a job is stopped): the
  // previous stream stays whole and no temporary file is left.
  void terminatedEncodeKeepsTheOldStream_data() {
    QTest::addColumn<bool>("kill");
    QTest::newRow("SIGTERM") << false;
    QTest::newRow("SIGKILL") << true;
  }
  void terminatedEncodeKeepsTheOldStream() {
    QFETCH(bool, kill);
    QFile::remove(Path("old.264"));
    QVERIFY(QFile::copy(Path("noisy.avs"), Path("old.264")));
    const QStringList before = QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden);
    QProcess encoder;
    encoder.setProcessChannelMode(QProcess::MergedChannels);
    encoder.start(ToolPath("x264"), kCommonOptions + kDeluxeOptions + QStringList{"-o", Path("old.264"), Path("noisy.avs")});
    QVERIFY(encoder.waitForStarted());
    // Wait for the first progress line: encoding is under way.
    QByteArray output;
    while (!output.contains("frames,") && encoder.waitForReadyRead(20000)) output += encoder.readAll();
    QVERIFY2(output.contains("frames,"), output.constData());
    if (kill) encoder.kill();
    else encoder.terminate();
    QVERIFY(encoder.waitForFinished(10000));
    QVERIFY(encoder.exitStatus() == QProcess::CrashExit || encoder.exitCode() != 0);
    QCOMPARE(ReadFile(Path("old.264")), ReadFile(Path("noisy.avs")));
    QCOMPARE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), before);
  }

  // A first pass may throw its stream away; the device stays a device.
  void outputToTheNullDevice() {
    const RunResult result = Encode({"--crf", "20", "--frames", "5"}, "/dev/null", Path("noisy.avs"));
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.output.contains("encoded 5 frames"));
    QVERIFY(!QFileInfo("/dev/null").isFile());
  }

  void secondPassWithoutStatisticsFails() {
    const RunResult result = Encode(kCommonOptions + QStringList{"--bitrate", "300", "--stats", Path("none.log"), "--pass", "2"},
                                    Path("nostats.264"), Path("noisy.avs"));
    QCOMPARE(result.exitCode, 1);
    QVERIFY(!QFile::exists(Path("nostats.264")));
  }

  // The 64-bit encoder's road: the wrapper runs x264_64, which is the same
  // program, so the stream is the same byte for byte.
  void wrapperAndSecondNameGiveTheSameStream() {
    const QStringList options = kCommonOptions + kDeluxeOptions + QStringList{"--frames", "30"};
    QCOMPARE(Encode(options, Path("direct.264"), Path("noisy.avs")).exitCode, 0);
    const RunResult wrapped = RunTool("avs4x264mod", QStringList{"--x264-binary", ToolPath("x264_64")} + options +
                                                         QStringList{"-o", Path("wrapped.264"), Path("noisy.avs")});
    QCOMPARE(wrapped.exitCode, 0);
    QVERIFY(wrapped.output.contains("encoded 30 frames"));
    QCOMPARE(CountFrames(Path("direct.264")), 30);
    QCOMPARE(ReadFile(Path("wrapped.264")), ReadFile(Path("direct.264")));
  }

  // PSNR of an encoded stream against ffmpeg's own 4:2:0 conversion of the
  // source.
  static double PsnrAgainstSource(const QString& encoded, const QString& source) {
    const RunResult psnr = Run("ffmpeg", {"-nostdin", "-i", encoded, "-i", source, "-lavfi",
                                          "[1:v]format=yuv420p[ref];[0:v][ref]psnr", "-f", "null", "-"});
    static const QRegularExpression average(R"(average:(\d+\.\d+))");
    const QRegularExpressionMatch match = average.match(QString::fromUtf8(psnr.output));
    return match.hasMatch() ? match.captured(1).toDouble() : -1;
  }

  // Frames that are not 8-bit 4:2:0 are converted, colours kept; deeper
  // ones reach the encoder dithered to 8 bits.
  void otherFormatsAreConverted_data() {
    QTest::addColumn<QString>("pixelFormat");
    for (const char* format : {"bgr0", "yuv420p10le", "yuv422p12le", "gbrp16le", "gray16le"})
      QTest::newRow(format) << format;
  }
  void otherFormatsAreConverted() {
    QFETCH(QString, pixelFormat);
    QVERIFY(MakeClip(pixelFormat, "testsrc2=size=320x240:rate=25", 10, pixelFormat));
    QCOMPARE(Encode(kDeluxeOptions, Path(pixelFormat + ".264"), Path(pixelFormat + ".avs")).exitCode, 0);
    const QJsonObject raw = ProbeStream(Path(pixelFormat + ".264"), 0);
    QCOMPARE(raw["pix_fmt"].toString(), QString("yuv420p"));
    const double psnr = PsnrAgainstSource(Path(pixelFormat + ".264"), Path(pixelFormat + ".avi"));
    QVERIFY2(psnr > 35, qPrintable(QString::number(psnr)));
  }

  // A camera's MJPEG clip decodes to full-range YUV; the MP4 declares the
  // limited range, so the engine converts it on the way in (once, blacks
  // crushed and whites clipped gave 28 dB).
  void fullRangeCameraClipKeepsItsColours() {
    QVERIFY(Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-frames:v", "10", "-c:v", "mjpeg", "-q:v", "2",
                    Path("camera.avi")}));
    QFile script(Path("camera.avs"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("AviSource(\"camera.avi\")\r\n");
    script.close();
    QCOMPARE(Encode(kDeluxeOptions, Path("camera.264"), Path("camera.avs")).exitCode, 0);
    QCOMPARE(RunTool("MP4Box", {"-add", Path("camera.264"), "-new", Path("camera.mp4")}).exitCode, 0);
    const double psnr = PsnrAgainstSource(Path("camera.mp4"), Path("camera.avi"));
    QVERIFY2(psnr >= 38, qPrintable(QString::number(psnr)));
  }

  // Any option of libx264's parser passes; the profile and --frames are the
  // front end's own.
  void libraryOptionsPassThrough() {
    const RunResult result = Encode({"--preset", "fast", "--tune", "film", "--profile", "baseline", "--subme=1",
                                     "--trellis", "0", "--no-mbtree", "--frames", "12", "--quiet"},
                                    Path("baseline.264"), Path("noisy.avs"));
    QVERIFY2(result.exitCode == 0, result.output.constData());
    QVERIFY2(result.output.startsWith("encoded 12 frames"), result.output.constData());
    const QJsonObject raw = ProbeStream(Path("baseline.264"), 0);
    QCOMPARE(raw["profile"].toString(), QString("Constrained Baseline"));
    QCOMPARE(raw["has_b_frames"].toInt(), 0);
    QCOMPARE(CountFrames(Path("baseline.264")), 12);
  }

  // A Deluxe job's three stages by hand: x264, avs2pipemod piped into
  // neroAacEnc, the three MP4Box commands; the result is a tagged MP4 with
  // both tracks in time.
  void deluxeModeByHand() {
    // Picture and sound made apart and joined whole: 48 frames, 2.002 s.
    QVERIFY(Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=24000/1001", "-frames:v", "48", "-c:v", "ffv1",
                    Path("job_video.avi")}));
    QVERIFY(Ffmpeg({"-f", "lavfi", "-i", "sine=f=330:r=48000,aformat=channel_layouts=stereo", "-t", "2.002",
                    Path("job_sound.wav")}));
    QVERIFY(Ffmpeg({"-i", Path("job_video.avi"), "-i", Path("job_sound.wav"), "-c", "copy", Path("job.avi")}));
    QFile script(Path("Vid.avs"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("AviSource(\"job.avi\")\r\n");
    script.close();

    const QStringList deluxe{"--level", "4.1", "--preset", "veryslow", "--me", "umh", "--ref", "4", "--no-psy",
                             "--keyint", "240", "--min-keyint", "24", "--no-fast-pskip", "--crf", "17"};
    QCOMPARE(Encode(deluxe, Path("video.264"), Path("Vid.avs")).exitCode, 0);

    QProcess pipe;
    QProcess encoder;
    pipe.setStandardOutputProcess(&encoder);
    encoder.setProcessChannelMode(QProcess::MergedChannels);
    pipe.start(ToolPath("avs2pipemod"), {"-extwav=16bit", Path("Vid.avs")});
    encoder.start(ToolPath("neroAacEnc"), {"-ignorelength", "-q", "0.85", "-if", "-", "-of", Path("Snd.m4a")});
    QVERIFY(pipe.waitForFinished(60000) && encoder.waitForFinished(60000));
    QCOMPARE(pipe.exitCode(), 0);
    QVERIFY2(encoder.exitCode() == 0, encoder.readAll().constData());

    const QString out = Path("job_deluxe.mp4");
    QCOMPARE(RunTool("MP4Box", {"-add", Path("video.264"), "-new", out}).exitCode, 0);
    QCOMPARE(RunTool("MP4Box", {"-add", Path("video.264"), "-add", Path("Snd.m4a"), "-new", out}).exitCode, 0);
    QCOMPARE(RunTool("MP4Box", {"-itags", "artist=Ann:name=Night run:tool=Kelvarion GUI 4.0_deluxe", "-name",
                                "1=Kelvarion 4.0.0", out}).exitCode, 0);

    const QJsonObject probe = Probe(out);
    const QJsonArray streams = probe["streams"].toArray();
    QCOMPARE(streams.size(), 2);
    const QJsonObject video = streams[0].toObject();
    QCOMPARE(video["codec_name"].toString(), QString("h264"));
    QCOMPARE(video["avg_frame_rate"].toString(), QString("24000/1001"));
    QCOMPARE(video["nb_frames"].toString().toInt(), 48);
    QCOMPARE(video["tags"].toObject()["handler_name"].toString(), QString("Kelvarion 4.0.0"));
    const QJsonObject audio = streams[1].toObject();
    QCOMPARE(audio["codec_name"].toString(), QString("aac"));
    QCOMPARE(audio["sample_rate"].toString(), QString("48000"));
    QCOMPARE(audio["channels"].toInt(), 2);
    QVERIFY(qAbs(video["duration"].toString().toDouble() - 2.002) < 0.001);
    QVERIFY(qAbs(audio["duration"].toString().toDouble() - 2.002) < 0.03);
    const QJsonObject tags = probe["format"].toObject()["tags"].toObject();
    QCOMPARE(tags["artist"].toString(), QString("Ann"));
    QCOMPARE(tags["title"].toString(), QString("Night run"));
    QCOMPARE(tags["encoder"].toString(), QString("Kelvarion GUI 4.0_deluxe"));
    QCOMPARE(FrameHashes(out), FrameHashes(Path("video.264")));
    QCOMPARE(ReadWarnings(out), QByteArray());
  }

  void badCommandsFailWithoutOutput_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("no arguments") << QStringList{} << "usage";
    QTest::newRow("unknown option") << QStringList{"--frobnicate", "3", "-o", "OUT", "DIR/noisy.avs"} << "frobnicate";
    QTest::newRow("bad value") << QStringList{"--me", "warp", "-o", "OUT", "DIR/noisy.avs"} << "warp";
    QTest::newRow("bad preset") << QStringList{"--preset", "ludicrous", "-o", "OUT", "DIR/noisy.avs"} << "ludicrous";
    QTest::newRow("missing value") << QStringList{"-o", "OUT", "DIR/noisy.avs", "--crf"} << "--crf";
    QTest::newRow("no output") << QStringList{"--crf", "17", "DIR/noisy.avs"} << "-o";
    QTest::newRow("no input") << QStringList{"--crf", "17", "-o", "OUT"} << "input";
    QTest::newRow("missing script") << QStringList{"-o", "OUT", "DIR/none.avs"} << "none.avs";
    QTest::newRow("broken script") << QStringList{"-o", "OUT", "DIR/broken.avs"} << "broken.avs";
    QTest::newRow("odd size") << QStringList{"-o", "OUT", "DIR/odd.avs"} << "even";
    // Runtime scripts that make runtime scripts without end once overflowed
    // the stack of the reading thread.
    QTest::newRow("runtime scripts without end") << QStringList{"-o", "OUT", "DIR/nested.avs"} << " nest";
    QTest::newRow("statistics into a folder")
        << QStringList{"--pass", "1", "--stats", "DIR/folder", "-o", "OUT", "DIR/noisy.avs"}
        << "cannot write the statistics file DIR/folder: it is not a regular file";
    // No output replaces a file the encode reads.
    QTest::newRow("output over the script") << QStringList{"-o", "DIR/noisy.avs", "DIR/noisy.avs"}
                                            << "will not write DIR/noisy.avs: it is the input";
    QTest::newRow("output over the script's source") << QStringList{"-o", "DIR/noisy.avi", "DIR/noisy.avs"}
                                                     << "will not write DIR/noisy.avi: it is the input";
    QTest::newRow("output through a link to the script") << QStringList{"-o", "DIR/link.264", "DIR/noisy.avs"}
                                                         << "it is the input";
  }
  void badCommandsFailWithoutOutput() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QFile broken(Path("broken.avs"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("AviSource(\r\n");
    broken.close();
    if (!QFile::exists(Path("odd.avs"))) QVERIFY(MakeClip("odd", "testsrc2=size=320x240:rate=25,scale=321:241", 3, "yuv444p"));
    QFile nested(Path("nested.avs"));
    QVERIFY(nested.open(QIODevice::WriteOnly));
    nested.write("function f(clip c) { return ScriptClip(c, \"f(last)\") }\r\nAviSource(\"noisy.avi\").f()\r\n");
    nested.close();
    QVERIFY(QDir(dir_.path()).mkpath("folder"));
    if (!QFileInfo::exists(Path("link.264"))) QVERIFY(QFile::link(Path("noisy.avs"), Path("link.264")));
    QFile::remove(Path("kept.264"));
    QVERIFY(QFile::copy(Path("noisy.avs"), Path("kept.264")));
    const QByteArray before = ReadFile(Path("kept.264"));
    const QByteArray script = ReadFile(Path("noisy.avs")), source = ReadFile(Path("noisy.avi"));

    args.replaceInStrings("DIR", dir_.path());
    args.replaceInStrings("OUT", Path("kept.264"));
    message.replace("DIR", dir_.path());
    const RunResult result = RunTool("x264", args);
    QVERIFY(!result.crashed);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.output.contains(message.toUtf8()), result.output.constData());
    QCOMPARE(ReadFile(Path("kept.264")), before);
    QCOMPARE(ReadFile(Path("noisy.avs")), script);
    QCOMPARE(ReadFile(Path("noisy.avi")), source);
    QCOMPARE(QDir(dir_.path()).entryList(QDir::Hidden | QDir::Files).filter("kept.264").size(), 1);
  }
};

QTEST_GUILESS_MAIN(TestX264)
#include "tst_x264.moc"
