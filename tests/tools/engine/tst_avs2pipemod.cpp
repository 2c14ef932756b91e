// avs2pipemod as the program starts it: -info, -extwav=16bit and -y4mp,
// and its refusal of bad scripts and bad media without partial output.
#include "media_fixture.h"

#include <QDir>
#include <QFile>
#include <QtEndian>
#include <QtTest>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

uint32_t U32(const QByteArray& b, int at) { return qFromLittleEndian<quint32>(b.constData() + at); }
uint16_t U16(const QByteArray& b, int at) { return qFromLittleEndian<quint16>(b.constData() + at); }

// A 16-bit PCM WAV file whose header says what the caller wants.
QByteArray Wave(uint16_t channels, uint32_t rate, uint32_t dataBytesClaimed, int dataBytesReal) {
  QByteArray w;
  auto put32 = [&w](uint32_t v) { char b[4]; qToLittleEndian(v, b); w.append(b, 4); };
  auto put16 = [&w](uint16_t v) { char b[2]; qToLittleEndian(v, b); w.append(b, 2); };
  w += "RIFF";
  put32(36 + dataBytesClaimed);
  w += "WAVEfmt ";
  put32(16);
  put16(1);
  put16(channels);
  put32(rate);
  put32(rate * channels * 2);
  put16(uint16_t(channels * 2));
  put16(16);
  w += "data";
  put32(dataBytesClaimed);
  for (int i = 0; i < dataBytesReal; ++i) w.append(char(i * 37));
  return w;
}

// Runs avs2pipemod with its output to /dev/null; its exit code and peak
// resident memory in KiB, or -1 when it could not run or was killed.
std::pair<int, long> RunMeasured(const QStringList& args) {
  std::vector<std::string> words{AVS2PIPEMOD_PATH};
  for (const QString& a : args) words.push_back(a.toStdString());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  // Under AddressSanitizer freed memory waits in a quarantine that would
  // count as the tool's own; it is turned off for the measured run.
  std::vector<std::string> variables;
  for (char** v = environ; *v; ++v)
    if (std::strncmp(*v, "ASAN_OPTIONS=", 13) != 0) variables.emplace_back(*v);
  const char* asan = std::getenv("ASAN_OPTIONS");
  variables.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":quarantine_size_mb=0");
  std::vector<char*> envp;
  for (std::string& v : variables) envp.push_back(v.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return {-1, -1};
  int status = 0;
  struct rusage usage {};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status)) return {-1, -1};
  return {WEXITSTATUS(status), usage.ru_maxrss};
}

}  // namespace

class Avs2PipeModTest : public QObject {
  Q_OBJECT

  MediaFolder media_;

 private slots:
  void initTestCase() {
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240:r=30000/1001:d=1", "-f", "lavfi", "-i",
                           "sine=f=300:r=44100:d=1.2", "-ac", "2", "-c:v", "mpeg4", "-c:a", "pcm_s16le", "clip.avi"}));
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=1", "-c:v", "mpeg4", "silent.avi"}));
    media_.write("cut.avi", media_.read("clip.avi").left(150000));
    // A camera's MJPEG: full-range YUV.
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=0.4", "-c:v", "mjpeg", "-q:v", "2", "-pix_fmt",
                           "yuvj420p", "camera.avi"}));
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=0.4", "-c:v", "mjpeg", "-q:v", "2", "-pix_fmt",
                           "yuvj422p", "camera422.avi"}));
    // Reading a pipe that nobody writes would wait forever.
    QCOMPARE(mkfifo(media_.path("pipe0001.png").toUtf8().constData(), 0600), 0);
    QCOMPARE(mkfifo(media_.path("pipe.avi").toUtf8().constData(), 0600), 0);
  }

  // The probe as the job runs it: from another working folder, with the
  // files landing beside the script.
  void infoEvaluatesAndWritesProbeFiles() {
    QDir(media_.dir()).mkpath("tools/temp");
    QString script = media_.script("tools/temp/Vid.avs", "v = Avisource(\"" + media_.path("clip.avi") +
                                                             "\")\r\nWriteFileStart(v, \"fps.txt\", \"Framerate(v)\")\r\n"
                                                             "WriteFileStart(v, \"audio.txt\", \"HasAudio(v)\")\r\n");
    ToolRun run = RunTool({"-info", script}, QDir::tempPath());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(media_.read("tools/temp/fps.txt"), QByteArray("29.970030\n"));
    QCOMPARE(media_.read("tools/temp/audio.txt"), QByteArray("true\n"));
    QVERIFY(run.out.contains("v:width           320"));
    QVERIFY(run.out.contains("v:fps             30000/1001"));
    QVERIFY(run.out.contains("v:frames          30"));
    QVERIFY(run.out.contains("a:sample_rate     44100"));
    QVERIFY(run.out.contains("a:samples         52920"));
  }

  void extwavStreamsTheScriptsSound_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("samples");
    QTest::newRow("AVI sound as it is") << "AviSource(\"clip.avi\")" << 44100 << 2 << 52920;
    QTest::newRow("resampled to 32000") << "AviSource(\"clip.avi\").ResampleAudio(32000)" << 32000 << 2 << 38400;
    QTest::newRow("WAV sound") << "WavSource(\"tone.wav\")" << 48000 << 1 << 24000;
    QTest::newRow("96000 down to 48000") << "v = WavSource(\"hi.wav\")\nR=(v.AudioRate>48000)?48000:v.AudioRate\nv.ResampleAudio(R)"
                                         << 48000 << 6 << 36000;
    QTest::newRow("trimmed with the picture") << "AviSource(\"clip.avi\").Trim(3, 12)" << 44100 << 2 << 14715;
  }
  void extwavStreamsTheScriptsSound() {
    QFETCH(QString, script);
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(int, samples);
    if (!QFile::exists(media_.path("tone.wav")))
      QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "sine=r=48000:d=0.5", "tone.wav"}));
    if (!QFile::exists(media_.path("hi.wav")))
      QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "anoisesrc=r=96000:d=0.75", "-ac", "6", "hi.wav"}));
    QString path = media_.script("snd.avs", script + "\n");
    ToolRun run = RunTool({"-extwav=16bit", path});
    QCOMPARE(run.exitCode, 0);
    const QByteArray& w = run.out;
    QVERIFY(w.size() >= 68);
    QCOMPARE(w.left(4), QByteArray("RIFF"));
    QCOMPARE(w.mid(8, 8), QByteArray("WAVEfmt "));
    QCOMPARE(U32(w, 16), 40u);            // extensible fmt chunk
    QCOMPARE(U16(w, 20), uint16_t(0xFFFE));
    QCOMPARE(U16(w, 22), uint16_t(channels));
    QCOMPARE(U32(w, 24), uint32_t(rate));
    QCOMPARE(U16(w, 34), uint16_t(16));
    QCOMPARE(U16(w, 36), uint16_t(22));
    QCOMPARE(U16(w, 38), uint16_t(16));
    QCOMPARE(w.mid(44, 2), QByteArray("\x01\x00", 2));  // PCM subformat
    QCOMPARE(w.mid(60, 4), QByteArray("data"));
    QCOMPARE(U32(w, 64), uint32_t(samples * channels * 2));
    QCOMPARE(w.size(), 68 + samples * channels * 2);
    QCOMPARE(U32(w, 4), uint32_t(w.size() - 8));

    media_.write("out.wav", w);
    QCOMPARE(Probe(media_.path("out.wav"), "codec_name"), QString("pcm_s16le"));
    QCOMPARE(Probe(media_.path("out.wav"), "sample_rate"), QString::number(rate));
    QCOMPARE(Probe(media_.path("out.wav"), "channels"), QString::number(channels));
    QCOMPARE(Probe(media_.path("out.wav"), "duration_ts"), QString::number(samples));
  }

  void y4mCarriesThePicture() {
    QString path = media_.script("vid.avs", "AviSource(\"clip.avi\").Spline64Resize(160, 120)\n");
    ToolRun run = RunTool({"-y4mp", path});
    QCOMPARE(run.exitCode, 0);
    QByteArray header = run.out.left(run.out.indexOf('\n') + 1);
    QCOMPARE(header, QByteArray("YUV4MPEG2 W160 H120 F30000:1001 Ip A1:1 C420jpeg\n"));
    const int frameBytes = 6 + 160 * 120 * 3 / 2;
    QCOMPARE(run.out.size(), header.size() + 30 * frameBytes);
    QCOMPARE(run.out.mid(header.size(), 6), QByteArray("FRAME\n"));
    media_.write("out.y4m", run.out);
    QCOMPARE(Probe(media_.path("out.y4m"), "width"), QString("160"));
  }

  // Every pixel comes out as the engine made it, whether a plane's rows lie
  // together in memory (a width of 128), apart (160), or in more pieces
  // than one write takes (720x576: 1152 rows of 720 and 360 pixels).
  void y4mCarriesEveryPixel_data() {
    QTest::addColumn<QString>("script");
    QTest::newRow("rows together") << "AviSource(\"clip.avi\").Spline64Resize(128, 96).Trim(0, 3)";
    QTest::newRow("rows apart") << "AviSource(\"clip.avi\").Spline64Resize(160, 120).Trim(0, 3)";
    QTest::newRow("many rows") << "AviSource(\"clip.avi\").Spline64Resize(720, 576).Trim(0, 1)";
    QTest::newRow("grey") << "AviSource(\"clip.avi\").ConvertToY8().Trim(0, 1)";
  }
  void y4mCarriesEveryPixel() {
    QFETCH(QString, script);
    ToolRun run = RunTool({"-y4mp", media_.script("pixels.avs", script + "\n")});
    QCOMPARE(run.exitCode, 0);
    int64_t frames = 0;
    const QByteArray pictures = ScriptPictures(script, media_.dir(), &frames);
    const QByteArray body = run.out.mid(run.out.indexOf('\n') + 1);
    const qsizetype pictureBytes = pictures.size() / frames;
    QCOMPARE(body.size(), pictures.size() + 6 * frames);
    for (int64_t n = 0; n < frames; ++n) {
      const QByteArray frame = body.mid(n * (6 + pictureBytes), 6 + pictureBytes);
      QCOMPARE(frame.left(6), QByteArray("FRAME\n"));
      QVERIFY2(frame.mid(6) == pictures.mid(n * pictureBytes, pictureBytes), qPrintable(QString("frame %1").arg(n)));
    }
  }

  void y4mCarriesYuy2AsPlanes() {
    QString path = media_.script("yuy2.avs", "BlankClip(length=2, width=64, height=48, pixel_type=\"YUY2\", color=$FF0000)\n");
    ToolRun run = RunTool({"-y4mp", path});
    QCOMPARE(run.exitCode, 0);
    QByteArray header("YUV4MPEG2 W64 H48 F24:1 Ip A1:1 C422\n");
    QVERIFY(run.out.startsWith(header));
    const int planeBytes = 64 * 48, chromaBytes = 32 * 48;
    QCOMPARE(run.out.size(), header.size() + 2 * (6 + planeBytes + 2 * chromaBytes));
    // Red: luma 81, U below and V above the middle.
    const char* frame = run.out.constData() + header.size() + 6;
    QVERIFY(std::abs(uint8_t(frame[0]) - 81) <= 1);
    QVERIFY(uint8_t(frame[planeBytes]) < 128);
    QVERIFY(uint8_t(frame[planeBytes + chromaBytes]) > 200);
  }

  void failuresLeaveStdoutEmpty_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    QTest::newRow("syntax") << "-info" << "v = AviSource(\"clip.avi\"\nv" << "bad.avs, line 2: expected ')'";
    QTest::newRow("unknown function") << "-extwav=16bit" << "v = AviSource(\"clip.avi\")\nv.FrobnicateFrames(1)"
                                      << "bad.avs, line 2: there is no function named FrobnicateFrames";
    QTest::newRow("missing source") << "-info" << "AviSource(\"gone.avi\")" << "bad.avs, line 1: cannot open";
    QTest::newRow("no sound to pipe") << "-extwav=16bit" << "AviSource(\"silent.avi\")" << "the clip has no sound";
    QTest::newRow("no picture to pipe") << "-y4mp" << "WavSource(\"clip.avi\")" << "the clip has no video";
    QTest::newRow("RGB to y4m") << "-y4mp" << "AviSource(\"clip.avi\").ConvertToRGB24()" << "YUV4MPEG2 cannot carry RGB24";
    QTest::newRow("deep nesting") << "-info" << "x = " + QString(50000, '(') << "bad.avs, line 1: the expression is nested too deeply";
    QTest::newRow("absurd size") << "-y4mp" << "AviSource(\"clip.avi\").Spline64Resize(400000, 400000)"
                                 << "bad.avs, line 1: Spline64Resize: the size 400000x400000 is out of range";
    QTest::newRow("absurd number") << "-info" << "x = 99999999999999999999" << "bad.avs, line 1: the number";
    QTest::newRow("absurd frame range") << "-info" << "ImageSource(\"p%d.png\", 0, 2147483647, 25)"
                                        << "bad.avs, line 1: ImageSource: cannot open the image";
    QTest::newRow("cut AVI") << "-y4mp" << "AviSource(\"cut.avi\")" << "cut.avi promises 30 frames, but the file holds";
    QTest::newRow("import loop") << "-info" << "Import(\"bad.avs\")" << "bad.avs, line 1: Import: bad.avs imports itself";
    QTest::newRow("not media") << "-info" << "AviSource(\"garbage.avi\")" << "bad.avs, line 1: cannot read";
    QTest::newRow("AviSource of the script itself") << "-info" << "AviSource(\"bad.avs\")"
                                                    << "bad.avs, line 1: AviSource: bad.avs imports itself";
    QTest::newRow("empty script") << "-info" << "# nothing" << "bad.avs: the script's value is nothing";
    QTest::newRow("pipe as image") << "-info" << "ImageSource(\"pipe%04d.png\", 1, 5, 25)"
                                   << "bad.avs, line 1: ImageSource: cannot open the image";
    QTest::newRow("pipe as media") << "-info" << "AviSource(\"pipe.avi\")" << "pipe.avi is not a file";
    QTest::newRow("pipe as script") << "-info" << "Import(\"pipe.avi\")" << "bad.avs, line 1: Import: cannot open the script";
    QTest::newRow("lying WAV rate") << "-extwav=16bit" << "WavSource(\"zero-rate.wav\")" << "bad.avs, line 1:";
    QTest::newRow("lying WAV channels") << "-extwav=16bit" << "WavSource(\"many.wav\")" << "bad.avs, line 1:";
    QTest::newRow("lying WAV length") << "-extwav=16bit" << "WavSource(\"long.wav\")"
                                      << "long.wav promises 400000 bytes of sound, but the file holds 40000";
    QTest::newRow("WAV one byte short") << "-extwav=16bit" << "WavSource(\"short.wav\")"
                                        << "short.wav promises 4000 bytes of sound, but the file holds 3999";
    // Extreme values, whose arithmetic once overflowed: the sound's length
    // turned negative. (Crop's offsets: tst_layout_functions.)
    QTest::newRow("crop by the largest ints") << "-y4mp" << "BlankClip(length=2)\nCrop(2147483647, 0, 2147483647, 0)"
                                              << "bad.avs, line 2: Crop: the area 2147483647,0 2147483647x0 is not inside";
    QTest::newRow("long sound at a tiny rate") << "-extwav=16bit"
                                               << "BlankClip(length=2000000000, fps=0.0001).ResampleAudio(1536000)"
                                               << "bad.avs, line 1: BlankClip: the sound would be too long";
    QTest::newRow("resampled sound too long") << "-extwav=16bit"
                                              << "BlankClip(length=2000000000, fps=25, audio_rate=8000)\nResampleAudio(48000)"
                                              << "bad.avs, line 2: the sound's length of 3840000000000 samples is out of range";
    QTest::newRow("rate 0.0/0.0 in BlankClip") << "-info" << "BlankClip(fps=0.0/0.0)" << "bad.avs, line 1: BlankClip: the frame rate";
    QTest::newRow("rate 0.0/0.0 in AssumeFPS") << "-info" << "BlankClip().AssumeFPS(0.0/0.0)"
                                               << "bad.avs, line 1: AssumeFPS: the frame rate";
    QTest::newRow("rate 0.0/0.0 in ImageSource") << "-info" << "ImageSource(\"p%d.png\", 0, 5, 0.0/0.0)"
                                                 << "bad.avs, line 1: ImageSource: the frame rate";
    QTest::newRow("negative rate") << "-info" << "BlankClip(fps=-25.0)" << "bad.avs, line 1: BlankClip: the frame rate";
    QTest::newRow("huge rate") << "-info" << "BlankClip().AssumeFPS(1000000.0 * 1000000.0)"
                               << "bad.avs, line 1: AssumeFPS: the frame rate";
    QTest::newRow("rate fraction over zero") << "-info" << "BlankClip(fps=25, fps_denominator=0)"
                                             << "bad.avs, line 1: BlankClip: the frame rate 25/0 is out of range";
    QTest::newRow("image frames beyond 32 bits") << "-info" << "ImageSource(\"p%d.png\", -2147483647 - 1, 5, 25)"
                                                 << "bad.avs, line 1: ImageSource: the frames";
  }
  void failuresLeaveStdoutEmpty() {
    QFETCH(QString, mode);
    QFETCH(QString, script);
    QFETCH(QString, message);
    media_.write("zero-rate.wav", Wave(2, 0, 4000, 4000));
    media_.write("many.wav", Wave(1000, 44100, 4000, 4000));
    media_.write("long.wav", Wave(2, 22050, 400000, 40000));
    media_.write("short.wav", Wave(2, 22050, 4000, 3999));
    media_.write("garbage.avi", QByteArray(20000, char(0x17)));
    ToolRun run = RunTool({mode, media_.script("bad.avs", script + "\n")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.out.isEmpty(), run.out.left(80).constData());
    QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
  }

  // Trim cuts frame numbers beyond the clip to it before any arithmetic:
  // the largest first frame and frame count keep the last frame alone.
  void trimOfTheLargestNumbersKeepsTheLastFrame() {
    ToolRun run = RunTool({"-info", media_.script("largest.avs", "BlankClip(length=10).Trim(2147483647, -2147483647 - 1)\n")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains("v:frames          1\n"), run.out.constData());
  }

  // A streamed WAV declares no length (0 or 0xFFFFFFFF): the sound that is
  // there is streamed, and the header the tool writes tells the truth.
  void wavWithoutLength_data() {
    QTest::addColumn<quint32>("claimed");
    QTest::newRow("0xFFFFFFFF") << quint32(0xFFFFFFFFu);
    QTest::newRow("zero") << quint32(0);
  }
  void wavWithoutLength() {
    QFETCH(quint32, claimed);
    media_.write("streamed.wav", Wave(2, 22050, claimed, 40000));
    ToolRun run = RunTool({"-extwav=16bit", media_.script("streamed.avs", "WavSource(\"streamed.wav\")\n")});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(U32(run.out, 64), 40000u);
    QCOMPARE(run.out.size(), 68 + 40000);
    QCOMPARE(run.out.mid(68), media_.read("streamed.wav").mid(44));
  }

  // A script of 350,000 chained filters, under the size limit of scripts,
  // once overflowed the stack; the chain now stops at its limit.
  void longChainOfFilters() {
    QByteArray script = "BlankClip(length=10)\n";
    while (script.size() < 3500000) script += "Reverse()\n";
    media_.write("chain.avs", script);
    ToolRun run = RunTool({"-y4mp", media_.path("chain.avs")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains("chain.avs, line 1001: more than 1000 filters are chained one on another"), run.err.constData());
  }

  // Frames are made when they are asked for, and the frames kept stay
  // within a budget: six 8192x8192 clips took 1.9 GB only to be described,
  // sixty 12 MB frames read one after the other are not all held, and
  // neither the filters of a chain nor the parts of pictures keep
  // pictures of their own.
  void frameMemoryStaysBounded() {
    QString six;
    for (int i = 0; i < 6; ++i) six += QString("c%1 = BlankClip(width=8192, height=8192, color=$%2)\n").arg(i).arg(i * 40, 6, 16, QChar('0'));
    six += "c0 + c1 + c2 + c3 + c4 + c5\n";
    auto [infoExit, infoKiB] = RunMeasured({"-info", media_.script("six.avs", six)});
    QCOMPARE(infoExit, 0);
    QVERIFY2(infoKiB < 200 * 1024, qPrintable(QString("-info took %1 KiB").arg(infoKiB)));

    QString sixty;
    for (int i = 0; i < 60; ++i)
      sixty += QString("c%1 = BlankClip(length=1, width=2048, height=2048, pixel_type=\"YV24\", color=$%2)\n")
                   .arg(i)
                   .arg(i * 4000, 6, 16, QChar('0'));
    sixty += "c0";
    for (int i = 1; i < 60; ++i) sixty += QString(" + c%1").arg(i);
    auto [readExit, readKiB] = RunMeasured({"-y4mp", media_.script("sixty.avs", sixty + "\n")});
    QCOMPARE(readExit, 0);
    QVERIFY2(readKiB < 500 * 1024, qPrintable(QString("reading took %1 KiB").arg(readKiB)));

    // Filters share the spare pictures they make frames in: 150 of them
    // once kept one each (580 MB here with the cache's frames).
    const QString chain = "BlankClip(length=1, width=1280, height=720)\n" + QString("Invert()\n").repeated(150) +
                          "ConvertToYV12()\n";
    auto [chainExit, chainKiB] = RunMeasured({"-y4mp", media_.script("chain.avs", chain)});
    QCOMPARE(chainExit, 0);
    QVERIFY2(chainKiB < 450 * 1024, qPrintable(QString("150 filters took %1 KiB").arg(chainKiB)));
    // A small crop of a large picture holds a copy of its part, not the
    // whole picture: sixteen held at once took sixteen of 64 MiB (1.2 GB).
    QStringList crops;
    for (int i = 0; i < 16; ++i) crops << QString("s.Invert().Crop(0, %1, 0, 256)").arg(i * 256);
    const QString stacked = "s = BlankClip(length=1, width=4096, height=4096)\nStackVertical(" + crops.join(", ") +
                            ").Spline64Resize(256, 256).ConvertToYV12()\n";
    auto [stackExit, stackKiB] = RunMeasured({"-y4mp", media_.script("stacked.avs", stacked)});
    QCOMPARE(stackExit, 0);
    QVERIFY2(stackKiB < 700 * 1024, qPrintable(QString("16 crops took %1 KiB").arg(stackKiB)));
  }

  // A camera's MJPEG (full-range YUV) comes out in the limited range, as
  // ffmpeg converts it, also where the first resize or conversion after
  // the source converts the range in its own pass. A conversion that reads
  // YUV as full range (a PC matrix) gets the limited picture, as it would
  // without that folding.
  void fullRangeSourceBecomesLimitedRange_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("filters");  // ffmpeg's, for the reference
    QTest::newRow("the source alone") << "AviSource(\"camera.avi\")" << "format=yuv420p";
    QTest::newRow("resized") << "AviSource(\"camera.avi\").Spline64Resize(160, 120).ConvertToYV12()"
                             << "scale=160:120:flags=spline,format=yuv420p";
    QTest::newRow("4:2:2 resized") << "AviSource(\"camera422.avi\").Spline64Resize(160, 120).ConvertToYV12()"
                                   << "scale=160:120:flags=spline,format=yuv420p";
    QTest::newRow("through RGB") << "AviSource(\"camera422.avi\").ConvertToRGB24().ConvertToYV12()"
                                 << "format=rgb24,format=yuv420p";
    QTest::newRow("resized after a crop") << "AviSource(\"camera.avi\").Crop(16, 16, -16, -16).BicubicResize(144, 104)"
                                          << "crop=288:208:16:16,scale=144:104:flags=bicubic,format=yuv420p";
  }
  void fullRangeSourceBecomesLimitedRange() {
    QFETCH(QString, script);
    QFETCH(QString, filters);
    const QString source = script.section('"', 1, 1);
    QVERIFY(media_.ffmpeg({"-i", source, "-vf", filters, "reference.y4m"}));
    ToolRun run = RunTool({"-y4mp", media_.script("camera.avs", script + "\n")});
    QCOMPARE(run.exitCode, 0);
    media_.write("ours.y4m", run.out);
    const double psnr = Psnr(media_.path("ours.y4m"), media_.path("reference.y4m"));
    QVERIFY2(psnr >= 38, qPrintable(QString("PSNR %1 dB").arg(psnr)));
  }

  // The first resize after a full-range source reads the decoded picture
  // itself (one swscale pass, no conversion at the source's size). A PC
  // matrix reads the source's picture after its own range conversion: the
  // same as after any other filter in between.
  void fullRangeIsFoldedIntoTheFirstConversion() {
    const avs::ClipPtr resized = EvaluateClip("AviSource(\"camera422.avi\").Spline64Resize(160, 120)", media_.dir());
    QVERIFY(resized->input(0).inputs().empty());  // the decoded file
    const avs::ClipPtr alone = EvaluateClip("AviSource(\"camera422.avi\")", media_.dir());
    QCOMPARE(alone->inputs().size(), std::size_t{1});  // the range's own conversion
    const QString pc = ".ConvertToRGB24(matrix=\"PC.601\").ConvertToYV12(matrix=\"PC.601\")";
    const QByteArray direct = ScriptPictures("AviSource(\"camera422.avi\")" + pc, media_.dir());
    const QByteArray apart = ScriptPictures("AviSource(\"camera422.avi\").FlipVertical().FlipVertical()" + pc, media_.dir());
    QVERIFY(!direct.isEmpty());
    QVERIFY(direct == apart);
  }

  void usageErrors() {
    QCOMPARE(RunTool({"-info"}).exitCode, 1);
    ToolRun run = RunTool({"-extwav=24bit", media_.path("x.avs")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.err.contains("usage"));
    run = RunTool({"-info", media_.path("missing.avs")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.err.contains("cannot open the script"));
  }
};

QTEST_GUILESS_MAIN(Avs2PipeModTest)
#include "tst_avs2pipemod.moc"
