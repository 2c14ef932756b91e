// MP4Box on raw H.264 streams (B-frames, NTSC rates, several IDRs), AAC
// files and MP4 files: timing, frame-exact content, track selection, tags,
// in-place edits and the guarantee that a failed command changes no file.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

#include "tests/tools/encoders/tool_runner.h"

class TestMp4Box : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QString Path(const QString& name) const { return dir_.filePath(name); }

  bool MakeRawVideo(const QString& name, const QString& rate, int frames, const QString& x264Params) {
    return Ffmpeg({"-f", "lavfi", "-i", QString("testsrc2=size=320x240:rate=%1").arg(rate), "-frames:v",
                   QString::number(frames), "-c:v", "libx264", "-preset", "veryfast", "-x264-params", x264Params,
                   "-f", "h264", Path(name)});
  }

  // Every file of the folder, hidden ones included: a failed or finished run
  // leaves no temporary file behind.
  QStringList FolderListing() const {
    return QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
  }

  static QString Tag(const QJsonObject& object, const char* key) { return object["tags"].toObject()[key].toString(); }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    QVERIFY(MakeRawVideo("film.264", "24000/1001", 72, "bframes=3:b-pyramid=normal:keyint=24"));
    QVERIFY(Ffmpeg({"-f", "lavfi", "-i", "sine=f=440:r=48000:d=3", "-ac", "2", "-c:a", "aac", Path("sound.m4a")}));
  }

  void rawStreamTiming_data() {
    QTest::addColumn<QString>("rate");
    QTest::addColumn<int>("num");
    QTest::addColumn<int>("den");
    QTest::addColumn<QString>("params");
    QTest::addColumn<QString>("extension");
    QTest::newRow("23.976, B-pyramid, IDR every second") << "24000/1001" << 24000 << 1001 << "bframes=3:b-pyramid=normal:keyint=24" << ".264";
    QTest::newRow("29.97, 6 B-frames, one IDR") << "30000/1001" << 30000 << 1001 << "bframes=6:keyint=300" << ".h264";
    QTest::newRow("25, no B-frames") << "25" << 25 << 1 << "bframes=0:keyint=10" << ".avc";
    QTest::newRow("60, scene cuts off, open keyint") << "60" << 60 << 1 << "bframes=2:scenecut=0:keyint=7:min-keyint=1" << ".264";
  }
  void rawStreamTiming() {
    QFETCH(QString, rate);
    QFETCH(int, num);
    QFETCH(int, den);
    QFETCH(QString, params);
    QFETCH(QString, extension);
    const int frames = 61;
    const QString raw = Path("timing" + extension);
    const QString mp4 = Path("timing.mp4");
    QVERIFY(MakeRawVideo("timing" + extension, rate, frames, params));
    QCOMPARE(RunTool("MP4Box", {"-add", raw, "-new", mp4}).exitCode, 0);

    const QJsonObject video = ProbeStream(mp4, 0);
    QCOMPARE(video["codec_name"].toString(), QString("h264"));
    QCOMPARE(video["width"].toInt(), 320);
    QCOMPARE(video["height"].toInt(), 240);
    QCOMPARE(video["r_frame_rate"].toString(), QString("%1/%2").arg(num).arg(den));
    QCOMPARE(video["avg_frame_rate"].toString(), QString("%1/%2").arg(num).arg(den));
    QCOMPARE(video["nb_frames"].toString().toInt(), frames);
    QCOMPARE(video["start_time"].toString().toDouble(), 0.0);
    QVERIFY(qAbs(video["duration"].toString().toDouble() - double(frames) * den / num) < 0.001);
    QCOMPARE(CountFrames(mp4), frames);
    QCOMPARE(FrameHashes(mp4), FrameHashes(raw));
    QCOMPARE(ReadWarnings(mp4), QByteArray());
  }

  // The muxing stage of a source without sound: video only, then video with
  // a sound file that does not exist, then the tags.
  void threeCommandsWithoutSound() {
    const QString out = Path("night run.mp4");
    QCOMPARE(RunTool("MP4Box", {"-add", Path("film.264"), "-new", out}).exitCode, 0);
    const QByteArray first = ReadFile(out);
    QVERIFY(!first.isEmpty());
    const QStringList listing = FolderListing();

    const RunResult second = RunTool("MP4Box", {"-add", Path("film.264"), "-add", Path("Snd.m4a"), "-new", out});
    QCOMPARE(second.exitCode, 1);
    QVERIFY2(second.output.contains("Snd.m4a"), second.output.constData());
    QCOMPARE(ReadFile(out), first);
    QCOMPARE(FolderListing(), listing);

    // The tag argument as the command line splitter delivers it.
    const RunResult third = RunTool("MP4Box", {"-itags", "artist=Ann:name=Night run:tool=Kelvarion GUI 4.0_standard",
                                               "-name", "1=Kelvarion 4.0.0", out});
    QCOMPARE(third.exitCode, 0);
    const QJsonObject probe = Probe(out);
    const QJsonObject format = probe["format"].toObject();
    QCOMPARE(Tag(format, "artist"), QString("Ann"));
    QCOMPARE(Tag(format, "title"), QString("Night run"));
    QCOMPARE(Tag(format, "encoder"), QString("Kelvarion GUI 4.0_standard"));
    const QJsonArray streams = probe["streams"].toArray();
    QCOMPARE(streams.size(), 1);
    QCOMPARE(Tag(streams[0].toObject(), "handler_name"), QString("Kelvarion 4.0.0"));
    QCOMPARE(FrameHashes(out), FrameHashes(Path("film.264")));
    QCOMPARE(FolderListing(), listing);
  }

  void videoWithSoundCopiesTheAudio() {
    const QString out = Path("av.mp4");
    QCOMPARE(RunTool("MP4Box", {"-add", Path("film.264"), "-add", Path("sound.m4a"), "-new", out}).exitCode, 0);
    const QJsonArray streams = Probe(out)["streams"].toArray();
    QCOMPARE(streams.size(), 2);
    const QJsonObject audio = streams[1].toObject();
    QCOMPARE(audio["codec_name"].toString(), QString("aac"));
    QCOMPARE(audio["sample_rate"].toString(), QString("48000"));
    QCOMPARE(audio["channels"].toInt(), 2);
    QVERIFY(qAbs(audio["duration"].toString().toDouble() - 3.0) < 0.03);
    QVERIFY(qAbs(streams[0].toObject()["duration"].toString().toDouble() - 72 * 1001 / 24000.0) < 0.001);
    // Copied, not re-encoded: the compressed packets are the same.
    const auto packetHashes = [](const QString& path) {
      const RunResult result = Run("ffmpeg", {"-v", "error", "-i", path, "-map", "0:a", "-c", "copy", "-f", "framemd5", "-"});
      QStringList hashes;
      for (const QByteArray& line : result.output.split('\n'))
        if (!line.startsWith('#') && !line.isEmpty()) hashes << line.split(',').last().trimmed();
      return hashes;
    };
    QCOMPARE(packetHashes(out), packetHashes(Path("sound.m4a")));
    QCOMPARE(ReadWarnings(out), QByteArray());

    // In-place edits keep both tracks and the earlier tags.
    QCOMPARE(RunTool("MP4Box", {"-itags", "name=Chapter 1: dawn:tool=T:album=A:genre=G:comment=C:created=2024", out}).exitCode, 0);
    QCOMPARE(RunTool("MP4Box", {"-name", "2=Sound", out}).exitCode, 0);
    const QJsonObject probe = Probe(out);
    const QJsonObject format = probe["format"].toObject();
    QCOMPARE(Tag(format, "title"), QString("Chapter 1: dawn"));
    QCOMPARE(Tag(format, "encoder"), QString("T"));
    QCOMPARE(Tag(format, "album"), QString("A"));
    QCOMPARE(Tag(format, "genre"), QString("G"));
    QCOMPARE(Tag(format, "comment"), QString("C"));
    QCOMPARE(Tag(format, "date"), QString("2024"));
    QCOMPARE(Tag(probe["streams"].toArray()[1].toObject(), "handler_name"), QString("Sound"));
    QCOMPARE(FrameHashes(out), FrameHashes(Path("film.264")));
    QCOMPARE(packetHashes(out), packetHashes(Path("sound.m4a")));
    // An empty value removes the tag.
    QCOMPARE(RunTool("MP4Box", {"-itags", "title=x", out}).exitCode, 1);
    QCOMPARE(RunTool("MP4Box", {"-itags", "name=", out}).exitCode, 0);
    QVERIFY(!Probe(out)["format"].toObject()["tags"].toObject().contains("title"));
  }

  // The stand-alone muxer: track 1 of the first file, all of the second.
  void trackSelectionAndAdtsInput() {
    QVERIFY(Ffmpeg({"-i", Path("sound.m4a"), "-c", "copy", "-f", "adts", Path("sound.aac")}));
    QCOMPARE(RunTool("MP4Box", {"-add", Path("film.264"), "-add", Path("sound.m4a"), "-new", Path("both.mp4")}).exitCode, 0);
    const QString out = Path("both_muxed.mp4");
    const RunResult result = RunTool("MP4Box", {"-add", Path("both.mp4") + "#1", "-add", Path("sound.aac"), "-new", out,
                                                "-itags", "tool=Kelvarion GUI _muxed"});
    QCOMPARE(result.exitCode, 0);
    const QJsonObject probe = Probe(out);
    const QJsonArray streams = probe["streams"].toArray();
    QCOMPARE(streams.size(), 2);
    QCOMPARE(streams[0].toObject()["codec_name"].toString(), QString("h264"));
    QCOMPARE(streams[1].toObject()["codec_name"].toString(), QString("aac"));
    QCOMPARE(Tag(probe["format"].toObject(), "encoder"), QString("Kelvarion GUI _muxed"));
    QCOMPARE(FrameHashes(out), FrameHashes(Path("film.264")));

    QCOMPARE(RunTool("MP4Box", {"-add", Path("both.mp4") + "#2", "-new", Path("audio_only.mp4")}).exitCode, 0);
    const QJsonArray audioOnly = Probe(Path("audio_only.mp4"))["streams"].toArray();
    QCOMPARE(audioOnly.size(), 1);
    QCOMPARE(audioOnly[0].toObject()["codec_type"].toString(), QString("audio"));
  }

  void failedCommandsChangeNothing_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing raw stream") << QStringList{"-add", "DIR/none.264", "-new", "OUT"} << "none.264";
    QTest::newRow("missing sound") << QStringList{"-add", "DIR/film.264", "-add", "DIR/none.m4a", "-new", "OUT"} << "none.m4a";
    QTest::newRow("no such track") << QStringList{"-add", "DIR/film.264#2", "-new", "OUT"} << "track 2";
    QTest::newRow("garbage as MP4") << QStringList{"-add", "DIR/garbage.mp4", "-new", "OUT"} << "garbage.mp4";
    QTest::newRow("garbage as H.264") << QStringList{"-add", "DIR/garbage.264", "-new", "OUT"} << "garbage.264";
    QTest::newRow("name of a missing track") << QStringList{"-add", "DIR/film.264", "-name", "2=x", "-new", "OUT"} << "track 2";
    QTest::newRow("unknown tag") << QStringList{"-itags", "director=x", "OUT"} << "director";
    QTest::newRow("edit a missing file") << QStringList{"-itags", "name=x", "DIR/none.mp4"} << "none.mp4";
    QTest::newRow("no arguments") << QStringList{} << "usage";
    // A new file never takes the place of one of its inputs.
    QTest::newRow("new file over an input") << QStringList{"-add", "DIR/film.264", "-add", "OUT", "-new", "OUT"}
                                            << "will not write";
  }
  void streamsThatAppearLateAreLeftOut() {
    // A transport stream whose sound starts in a second programme table
    // after the video: the muxer met a stream it had not been told of.
    QVERIFY(Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25", "-frames:v", "150", "-c:v", "libx264",
                    "-preset", "ultrafast", "-f", "mpegts", Path("first.ts")}));
    QVERIFY(Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25", "-f", "lavfi", "-i", "sine=d=2", "-frames:v",
                    "50", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", "-mpegts_start_pid", "0x200",
                    "-mpegts_pmt_start_pid", "0x1100", "-f", "mpegts", Path("second.ts")}));
    QFile joined(Path("late.ts"));
    QVERIFY(joined.open(QIODevice::WriteOnly));
    joined.write(ReadFile(Path("first.ts")) + ReadFile(Path("second.ts")));
    joined.close();
    const RunResult result = RunTool("MP4Box", {"-add", Path("late.ts"), "-new", Path("late.mp4")});
    QVERIFY(!result.crashed);
    QVERIFY2(result.exitCode == 0, result.output.constData());
    QVERIFY(CountFrames(Path("late.mp4")) >= 150);
    for (const char* name : {"first.ts", "second.ts", "late.ts", "late.mp4"}) QFile::remove(Path(name));
  }

  void inPlaceEditsOnlyChangeMp4Files() {
    QFile::remove(Path("raw.264"));
    QVERIFY(QFile::copy(Path("film.264"), Path("raw.264")));
    const QByteArray before = ReadFile(Path("raw.264"));
    const QStringList listing = FolderListing();
    for (const QStringList& args : {QStringList{"-itags", "name=x", Path("raw.264")},
                                    QStringList{"-name", "1=x", Path("raw.264")}}) {
      const RunResult result = RunTool("MP4Box", args);
      QCOMPARE(result.exitCode, 1);
      QVERIFY2(result.output.contains("is not an MP4 file"), result.output.constData());
      QCOMPARE(ReadFile(Path("raw.264")), before);
      QCOMPARE(FolderListing(), listing);
    }
    QFile::remove(Path("raw.264"));
  }

  void replacedFilesKeepModeAndLinks() {
    // A replaced output keeps its permissions.
    QFile::remove(Path("kept.mp4"));
    QVERIFY(QFile::copy(Path("sound.m4a"), Path("kept.mp4")));
    QVERIFY(QFile::setPermissions(Path("kept.mp4"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
    QCOMPARE(RunTool("MP4Box", {"-add", Path("film.264"), "-new", Path("kept.mp4")}).exitCode, 0);
    // (The "user" flags depend on who runs the test.)
    QCOMPARE(QFile::permissions(Path("kept.mp4")) & ~QFileDevice::Permissions(0x0f00),
             QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    QCOMPARE(CountFrames(Path("kept.mp4")), 72);

    // A link stays a link, and its target gets the new file.
    QFile::remove(Path("link.mp4"));
    QVERIFY(QFile::link(Path("kept.mp4"), Path("link.mp4")));
    QCOMPARE(RunTool("MP4Box", {"-itags", "name=linked", Path("link.mp4")}).exitCode, 0);
    QVERIFY(QFileInfo(Path("link.mp4")).isSymLink());
    QCOMPARE(Tag(Probe(Path("kept.mp4"))["format"].toObject(), "title"), QString("linked"));

    // A read-only file is not replaced, whoever runs the tool.
    QVERIFY(QFile::setPermissions(Path("kept.mp4"), QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    const QByteArray before = ReadFile(Path("kept.mp4"));
    const RunResult result = RunTool("MP4Box", {"-add", Path("film.264"), "-new", Path("kept.mp4")});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.output.contains("read-only"), result.output.constData());
    QCOMPARE(ReadFile(Path("kept.mp4")), before);
    QVERIFY(QFile::setPermissions(Path("kept.mp4"), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QFile::remove(Path("link.mp4"));
    QFile::remove(Path("kept.mp4"));
  }

  void failedCommandsChangeNothing() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QFile garbage(Path("garbage.mp4"));
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(20000, '\x17'));
    garbage.close();
    QFile::remove(Path("garbage.264"));
    QVERIFY(QFile::copy(Path("garbage.mp4"), Path("garbage.264")));
    QFile::remove(Path("existing.mp4"));
    QVERIFY(QFile::copy(Path("sound.m4a"), Path("existing.mp4")));
    const QByteArray before = ReadFile(Path("existing.mp4"));
    const QStringList listing = FolderListing();

    args.replaceInStrings("DIR", dir_.path());
    args.replaceInStrings("OUT", Path("existing.mp4"));
    const RunResult result = RunTool("MP4Box", args);
    QVERIFY(!result.crashed);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.output.contains(message.toUtf8()), result.output.constData());
    QCOMPARE(ReadFile(Path("existing.mp4")), before);
    QCOMPARE(FolderListing(), listing);
  }
};

QTEST_GUILESS_MAIN(TestMp4Box)
#include "tst_mp4box.moc"
