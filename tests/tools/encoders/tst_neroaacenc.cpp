// neroAacEnc on WAVE input from a pipe: AAC-LC in an .m4a, the bitrate that
// -q and -br ask for, headers whose lengths are wrong, extensible and float
// formats, and refusal of bad input without leaving a file behind.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include "tests/tools/encoders/tool_runner.h"

#include <limits>

class TestNeroAacEnc : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QString Path(const QString& name) const { return dir_.filePath(name); }

  // A WAVE file of music-like sound: a chord over soft noise.
  QByteArray MakeWave(const QString& name, int rate, int channels, double seconds, const QString& codec = "pcm_s16le") {
    const QString path = Path(name);
    const QString source = QString("sine=f=220:r=%1:d=%2,volume=0.4[a];sine=f=331:r=%1:d=%2[b];"
                                   "anoisesrc=r=%1:d=%2:a=0.08[c];[a][b][c]amix=inputs=3")
                               .arg(rate)
                               .arg(seconds);
    if (!Ffmpeg({"-f", "lavfi", "-i", source, "-ac", QString::number(channels), "-c:a", codec, path})) return {};
    return ReadFile(path);
  }

  // Encodes `wave` fed on standard input; returns the tool's result.
  RunResult Encode(const QByteArray& wave, const QStringList& rateOptions, const QString& output) {
    return RunTool("neroAacEnc", QStringList{"-ignorelength"} + rateOptions + QStringList{"-if", "-", "-of", output}, wave);
  }

  // A valid header of 16-bit stereo at 48 kHz followed by no samples.
  static QByteArray EmptyWave() {
    QByteArray wave("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x80\xbb\0\0\0\xee\x02\0\x04\0\x10\0data\0\0\0\0", 44);
    return wave;
  }

  static double MeanVolume(const QString& path) {
    const RunResult result = Run("ffmpeg", {"-nostdin", "-i", path, "-af", "volumedetect", "-f", "null", "-"});
    return result.output.mid(result.output.indexOf("mean_volume:") + 12).trimmed().split(' ').first().toDouble();
  }

  static double Number(const QJsonObject& object, const char* key) { return object[key].toString().toDouble(); }

 private slots:
  void initTestCase() { QVERIFY(dir_.isValid()); }

  void quality085IsTransparentStereo() {
    const QByteArray wave = MakeWave("q.wav", 48000, 2, 3.0);
    QVERIFY(!wave.isEmpty());
    const RunResult result = Encode(wave, {"-q", "0.85"}, Path("q.m4a"));
    QCOMPARE(result.exitCode, 0);
    const QJsonObject probe = Probe(Path("q.m4a"));
    QVERIFY(probe["format"].toObject()["format_name"].toString().contains("mp4"));
    const QJsonObject audio = probe["streams"].toArray().at(0).toObject();
    QCOMPARE(audio["codec_name"].toString(), QString("aac"));
    QCOMPARE(audio["profile"].toString(), QString("LC"));
    QCOMPARE(audio["sample_rate"].toString(), QString("48000"));
    QCOMPARE(audio["channels"].toInt(), 2);
    QVERIFY2(Number(audio, "bit_rate") >= 240000, qPrintable(audio["bit_rate"].toString()));
    QVERIFY(qAbs(Number(audio, "duration") - 3.0) < 0.03);
  }

  void bitrateMode_data() {
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("bits");
    QTest::newRow("preview mono 44.1 kHz") << 44100 << 1 << 51200;
    QTest::newRow("standard stereo 48 kHz") << 48000 << 2 << 133120;
  }
  void bitrateMode() {
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(int, bits);
    const QString output = Path(QString("br%1.m4a").arg(bits));
    QCOMPARE(Encode(MakeWave("br.wav", rate, channels, 4.0), {"-br", QString::number(bits)}, output).exitCode, 0);
    const QJsonObject audio = ProbeStream(output, 0);
    QCOMPARE(audio["sample_rate"].toString().toInt(), rate);
    QCOMPARE(audio["channels"].toInt(), channels);
    const double measured = Number(audio, "bit_rate");
    QVERIFY2(measured > bits * 0.75 && measured < bits * 1.25, qPrintable(QString::number(measured)));
  }

  // A piped WAVE header cannot know its lengths; here they claim 1000 bytes.
  void ignoreLengthReadsUpToTheEnd() {
    QByteArray wave = MakeWave("len.wav", 44100, 2, 2.0);
    const int data = wave.indexOf("data");
    QVERIFY(data > 0);
    qToLittleEndian<quint32>(1000, wave.data() + 4);
    qToLittleEndian<quint32>(1000, wave.data() + data + 4);

    QCOMPARE(Encode(wave, {"-q", "0.5"}, Path("all.m4a")).exitCode, 0);
    QVERIFY(qAbs(Number(ProbeStream(Path("all.m4a"), 0), "duration") - 2.0) < 0.03);

    // Without -ignorelength the header's data length counts.
    const RunResult honoured = RunTool("neroAacEnc", {"-q", "0.5", "-if", "-", "-of", Path("short.m4a")}, wave);
    QCOMPARE(honoured.exitCode, 0);
    QVERIFY(Number(ProbeStream(Path("short.m4a"), 0), "duration") < 0.1);
  }

  void extensibleAndFloatFormats_data() {
    QTest::addColumn<QString>("codec");
    QTest::addColumn<int>("channels");
    QTest::addColumn<bool>("extensible");
    QTest::newRow("24-bit 5.1, extensible header") << "pcm_s24le" << 6 << true;
    QTest::newRow("32-bit float stereo, extensible header") << "pcm_f32le" << 2 << true;
    QTest::newRow("8-bit mono") << "pcm_u8" << 1 << false;
  }
  void extensibleAndFloatFormats() {
    QFETCH(QString, codec);
    QFETCH(int, channels);
    QFETCH(bool, extensible);
    const QByteArray wave = MakeWave("fmt.wav", 48000, channels, 1.0, codec);
    QCOMPARE(qFromLittleEndian<quint16>(wave.constData() + wave.indexOf("fmt ") + 8) == 0xFFFE, extensible);
    QCOMPARE(Encode(wave, {"-q", "0.85"}, Path("fmt.m4a")).exitCode, 0);
    const QJsonObject audio = ProbeStream(Path("fmt.m4a"), 0);
    QCOMPARE(audio["channels"].toInt(), channels);
    QVERIFY(qAbs(Number(audio, "duration") - 1.0) < 0.03);
    // The samples were read in the right format: the level is kept.
    const double difference = MeanVolume(Path("fmt.m4a")) - MeanVolume(Path("fmt.wav"));
    QVERIFY2(qAbs(difference) < 1.0, qPrintable(QString::number(difference)));
  }

  void badInputFailsAndLeavesNoFile_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::newRow("no arguments") << QStringList{} << QByteArray();
    QTest::newRow("not WAVE") << QStringList{"-ignorelength", "-q", "0.85", "-if", "-", "-of", "OUT"} << QByteArray(5000, 'x');
    QTest::newRow("header without samples") << QStringList{"-ignorelength", "-q", "0.85", "-if", "-", "-of", "OUT"}
                                            << EmptyWave();
    QTest::newRow("empty input") << QStringList{"-ignorelength", "-q", "0.85", "-if", "-", "-of", "OUT"} << QByteArray();
    QTest::newRow("truncated header") << QStringList{"-q", "0.85", "-if", "-", "-of", "OUT"} << QByteArray("RIFF\0\0\0\0WAVEfmt ", 16);
    QTest::newRow("quality out of range") << QStringList{"-q", "1.5", "-if", "-", "-of", "OUT"} << QByteArray();
    QTest::newRow("bitrate not a number") << QStringList{"-br", "fast", "-if", "-", "-of", "OUT"} << QByteArray();
    QTest::newRow("unknown option") << QStringList{"-he", "-if", "-", "-of", "OUT"} << QByteArray();
    QTest::newRow("missing input file") << QStringList{"-q", "0.5", "-if", "/nonexistent/a.wav", "-of", "OUT"} << QByteArray();
    QTest::newRow("no output") << QStringList{"-q", "0.5", "-if", "-"} << QByteArray();
    // A header that promises more sound than follows, as WavSource refuses
    // it; with -ignorelength the sound there is would be encoded.
    QByteArray cut = MakeWave("cut.wav", 44100, 2, 1.0);
    cut.chop(1000);
    QTest::newRow("sound cut short") << QStringList{"-q", "0.5", "-if", "-", "-of", "OUT"} << cut;
  }
  void badInputFailsAndLeavesNoFile() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    const QString output = Path("bad.m4a");
    QFile::remove(output);
    args.replaceInStrings("OUT", output);
    const RunResult result = RunTool("neroAacEnc", args, input);
    QVERIFY(!result.crashed);
    QCOMPARE(result.exitCode, 1);
    QVERIFY(!result.output.isEmpty());
    QVERIFY(!QFile::exists(output));
    QCOMPARE(QDir(dir_.path()).entryList(QDir::Hidden | QDir::Files).filter("bad.m4a"), QStringList());
  }

  // Float samples far past full scale (or no numbers at all) once hung the
  // encoder: they are clipped, and the rest of the sound is kept.
  void floatSoundBeyondFullScaleIsClipped() {
    QByteArray wave("RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x03\0\x02\0\x80\xbb\0\0\0\xdc\x05\0\x08\0\x20\0data\0\0\0\0", 44);
    const float kSamples[] = {-1.2e7f, 1.2e7f, std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::infinity(), 0.5f, -0.5f};
    for (int i = 0; i < 48000 * 2; ++i) {
      char bytes[4];
      qToLittleEndian(kSamples[(i / 2400) % 6], bytes);
      wave.append(bytes, 4);
    }
    const RunResult result = Encode(wave, {"-q", "0.5"}, Path("loud.m4a"));
    QCOMPARE(result.exitCode, 0);
    QVERIFY(qAbs(Number(ProbeStream(Path("loud.m4a"), 0), "duration") - 1.0) < 0.03);
    const RunResult peak = Run("ffmpeg", {"-nostdin", "-i", Path("loud.m4a"), "-af", "volumedetect", "-f", "null", "-"});
    const double max = peak.output.mid(peak.output.indexOf("max_volume:") + 11).trimmed().split(' ').first().toDouble();
    QVERIFY2(max > -3 && max < 3, qPrintable(QString::number(max)));
  }

  // The output never replaces the input it is read from.
  void outputNeverReplacesTheInput() {
    const QByteArray wave = MakeWave("same.wav", 44100, 1, 0.5);
    QVERIFY(QFile::link(Path("same.wav"), Path("same.m4a")));
    for (const QString& output : {Path("same.wav"), Path("same.m4a")}) {
      const RunResult result = RunTool("neroAacEnc", {"-q", "0.5", "-if", Path("same.wav"), "-of", output});
      QCOMPARE(result.exitCode, 1);
      QVERIFY2(result.output.contains("it is the input"), result.output.constData());
      QCOMPARE(ReadFile(Path("same.wav")), wave);
    }
  }

  void failedRunKeepsExistingOutput() {
    QCOMPARE(Encode(MakeWave("keep.wav", 44100, 1, 0.5), {"-q", "0.5"}, Path("keep.m4a")).exitCode, 0);
    const QByteArray before = ReadFile(Path("keep.m4a"));
    QCOMPARE(Encode("RIFF garbage", {"-q", "0.5"}, Path("keep.m4a")).exitCode, 1);
    QCOMPARE(ReadFile(Path("keep.m4a")), before);
  }
};

QTEST_GUILESS_MAIN(TestNeroAacEnc)
#include "tst_neroaacenc.moc"
