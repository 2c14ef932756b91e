// Bad input through the real program's window: settings files with garbage,
// huge numbers, wrong types, binary junk and line breaks in their values;
// sources whose names hold shell and quoting characters, line breaks,
// Cyrillic or 250 bytes; corrupt media and scripts with errors. Each case
// ends with the program's own message, word for word, or a finished job with
// the defaults, and the window still answers a key afterwards. The program
// writes its boxes to a message log of the test's instead of waiting for a
// click, so that every box of a case is read exactly.
#include <QRandomGenerator>
#include <QtTest>

#include "live_program.h"
#include "whole_job.h"

Q_DECLARE_METATYPE(QList<LoggedBox>)

char* toString(const LoggedBox& box) { return QTest::toString(QStringList{box.icon, box.title, box.text}.join(" | ")); }

namespace {

const int kJobTimeoutMs = 120000;
const QString kFileNotFound = "File not found";  // a source that cannot be read

// The encoder's command lines of a debug run, with the program folder
// taken out, to compare runs made in different folders.
QStringList EncoderLines(const WholeJobFolder& folder) {
  QFile log(folder.path("tools/temp/DebugInfo.log"));
  if (!log.open(QIODevice::ReadOnly)) return {"no DebugInfo.log"};
  QStringList lines;
  for (QString line : QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts)) {
    line.replace(folder.programDir(), "<program>");
    if (line.contains("x264") || line.contains("neroAacEnc")) lines << line.trimmed();
  }
  return lines;
}

// Junk of every byte value, the same on every run.
QByteArray BinaryJunk(int size) {
  QRandomGenerator random(20261209);
  QByteArray junk;
  for (int i = 0; i < size; ++i) junk += char(random.bounded(256));
  return junk;
}

}  // namespace

class BadInputTest : public QObject {
  Q_OBJECT

  VirtualDisplay display_;
  QTemporaryDir media_;
  QStringList defaultEncoderLines_;

  // Starts the program in `folder`, presses Start once the window shows and
  // waits for `boxes` boxes; then the window must still open the muxer on F2
  // and no further box may have come.
  static QList<LoggedBox> Drive(const VirtualDisplay& display, const WholeJobFolder& folder, const UiLanguage& language,
                                const QStringList& arguments, int boxes) {
    LiveProgram program(display, folder.programDir());
    SpeakIn(program, language);
    program.SetEnvironment("KELVARION_MESSAGE_LOG", folder.messageLog());
    if (!program.Start(arguments)) return {{"start", "", ""}};
    const QString caption = arguments.value(0) == "debug" ? "Kelvarion 4.0 debug" : "Kelvarion 4.0";
    const QString main = program.WaitForWindow(caption);
    if (main.isEmpty() || !program.Key(main, "Return")) return {{"no window", "", ""}};
    WaitForBoxes(folder.messageLog(), boxes, kJobTimeoutMs);
    QList<LoggedBox> problems;
    if (!program.Key(main, "F2") || program.WaitForWindow(language.muxer).isEmpty())
      problems.append({"no answer to F2", "", ""});
    if (!program.running()) problems.append({"ended", "", ""});
    return LoggedBoxes(folder.messageLog()) + problems;
  }

  static LoggedBox Done(const UiLanguage& language) { return {"NoIcon", language.doneTitle, language.allDone}; }
  static LoggedBox Error(const QString& text) { return {"Critical", "Error", text}; }

  QString Clip(const QString& name) const { return media_.filePath(name); }

 private slots:
  void initTestCase() {
    QVERIFY(display_.Start());
    WholeJobFolder maker;
    QVERIFY(maker.ready());
    QVERIFY(maker.Ffmpeg(TinyAvi("clip.avi", 8, 44100)));
    QVERIFY(QFile::copy(maker.media("clip.avi"), Clip("clip.avi")));

    // The encoders' command lines with the defaults, from an empty settings file.
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    QVERIFY(QFile::copy(Clip("clip.avi"), folder.media("clip.avi")));
    QVERIFY(folder.Write(folder.settingsFile(), SettingsText("", "", "", true, true, false)));
    const QList<LoggedBox> boxes = Drive(display_, folder, EnglishUi(), {"debug", folder.media("clip.avi")}, 1);
    QCOMPARE(boxes, QList<LoggedBox>{Done(EnglishUi())});
    defaultEncoderLines_ = EncoderLines(folder);
    QVERIFY(defaultEncoderLines_.size() >= 3);
  }

  // Values that are no numbers, or numbers that no setting can hold, give
  // the defaults: the encoders run exactly as with an empty settings file.
  void settingsThatGiveTheDefaults_data() {
    QTest::addColumn<QByteArray>("settings");
    QTest::newRow("garbage") << QByteArray(
        "[Settings]\nPL=abc\nPB=--3\nPR=x1\nSL=\xe2\x98\x83\nSB=\nSR=0x\n"
        "[Flags]\nPRM=maybe\nSRM=[\nDLX==\nDLXS=;\n");
    QTest::newRow("huge numbers") << QByteArray(
        "[Settings]\nPL=99999999999999999999\nPB=4294967296\n"
        "PR=2147483648\nSL=-2147483649\nSB=0x1FFFFFFFF\n"
        "SR=9223372036854775807\n[Flags]\nPRM=18446744073709551616\n");
    QTest::newRow("wrong types") << QByteArray(
        "[Settings]\nPL=4.0\nPB=true\nPR=\"1\"\nSL=1e1\nSB=[3]\nSR= 1\n"
        "[Flags]\nPRM=false\nSRM=no\nDLX=yes\nDLXS=on\n");
    QTest::newRow("binary junk") << BinaryJunk(4000) + "\n[Settings]\nPL=\x01\x02\nSB=\x80\xff\n";
    QTest::newRow("line breaks") << QByteArray("[Settings]\r\nPL=4\r0\nPB=\r\nSL=\r\nSR=\r1\n[Flags]\nPRM=\r0\r\n");
  }
  void settingsThatGiveTheDefaults() {
    QFETCH(QByteArray, settings);
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    QVERIFY(QFile::copy(Clip("clip.avi"), folder.media("clip.avi")));
    // The modes are ticked in the first section of flags, the one that counts.
    const qsizetype flags = settings.indexOf("[Flags]\n");
    if (flags < 0) settings += "\n[Flags]\n";
    settings.insert(flags < 0 ? settings.size() : flags + 8, "Prev=1\nStd=1\n");
    QVERIFY(folder.Write(folder.settingsFile(), settings));
    const UiLanguage russian = RussianUi();
    QCOMPARE(Drive(display_, folder, russian, {"debug", folder.media("clip.avi")}, 1), QList<LoggedBox>{Done(russian)});
    QCOMPARE(EncoderLines(folder), defaultEncoderLines_);
    QVERIFY(QFile::exists(folder.media("clip_preview.mp4")));
    QVERIFY(QFile::exists(folder.media("clip_standard.mp4")));
  }

  // A rate level or balance beyond the settings dialog's ranges still makes
  // a playable file (its low byte once gave the video a negative bitrate).
  void ratesOutsideTheDialogsRanges() {
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    QVERIFY(QFile::copy(Clip("clip.avi"), folder.media("clip.avi")));
    QVERIFY(folder.Write(folder.settingsFile(), "[Settings]\nPL=256\nPB=99\nSL=0\nSB=-7\n[Flags]\nPrev=1\nStd=1\n"));
    const UiLanguage english = EnglishUi();
    QCOMPARE(Drive(display_, folder, english, {folder.media("clip.avi")}, 1), QList<LoggedBox>{Done(english)});
    for (const char* mode : {"preview", "standard"}) {
      const QJsonObject probe = Probe(folder.media(QString("clip_%1.mp4").arg(mode)));
      QCOMPARE(StreamOf(probe, "video")["nb_read_frames"].toString(), QString("8"));
      QCOMPARE(StreamOf(probe, "audio")["codec_name"].toString(), QString("aac"));
    }
  }

  // A mode flag that is no number leaves the mode unticked.
  void modeFlagsThatAreNoNumbers() {
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    QVERIFY(QFile::copy(Clip("clip.avi"), folder.media("clip.avi")));
    QVERIFY(folder.Write(folder.settingsFile(), "[Flags]\nPrev=yes\nStd=true\nDX=1.0\n"));
    const UiLanguage english = EnglishUi();
    QCOMPARE(Drive(display_, folder, english, {folder.media("clip.avi")}, 1),
             QList<LoggedBox>{Error(english.selectMode)});
    QCOMPARE(folder.MediaFiles(), QStringList{"clip.avi"});
  }

  // A tag with a line break in the settings file comes out on one line; an
  // overlong one is cut to the field's fifty characters.
  void tagsWithLineBreaksAndOverlongText() {
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    QVERIFY(QFile::copy(Clip("clip.avi"), folder.media("clip.avi")));
    const QString longTitle = QString::fromUtf8("Ё") + QString(299, 'x');
    QVERIFY(folder.Write(folder.settingsFile(),
                         "[Meta]\nAuthor=Ann\rBob\nClip=" + longTitle.toUtf8() + "\n[Flags]\nPrev=1\n"));
    const UiLanguage russian = RussianUi();
    QCOMPARE(Drive(display_, folder, russian, {folder.media("clip.avi")}, 1), QList<LoggedBox>{Done(russian)});
    const QJsonObject probe = Probe(folder.media("clip_preview.mp4"));
    QCOMPARE(TagOf(probe, "artist"), QString("Ann Bob"));
    QCOMPARE(TagOf(probe, "title"), longTitle.left(50));
  }

  // Names reach the tools unchanged, or are refused with a message before
  // any tool runs; a source of another kind is refused when dropped.
  void sourceNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("russian");
    QTest::addColumn<QString>("refusal");  // empty: the job runs
    QTest::newRow("spaces") << "a  b c .avi" << false << "";
    QTest::newRow("quotes") << "q \"x\" 'y' \"\".avi" << true << "";
    QTest::newRow("shell") << "$HOME $(id) `id` ;|&.avi" << false << "";
    QTest::newRow("percent") << "100% %d %s %% %1.avi" << true << "";
    QTest::newRow("cyrillic") << QString::fromUtf8("клип ёжик.avi") << false << "";
    QTest::newRow("line break") << "first\nsecond.avi" << true << "nameNotCarried";
    QTest::newRow("carriage return") << "first\rsecond.avi" << false << "nameNotCarried";
    QTest::newRow("three quotes") << "say \"\"\"hi.avi" << true << "nameNotCarried";
    QTest::newRow("other kind") << "clip.mkv" << false << "unsupported";
    // The source fits the file system, its output's name would not.
    // Its outputs' names are longer than any file system keeps: refused
    // when they are claimed, before anything is encoded.
    QTest::newRow("250 bytes") << QString(246, 'n') + ".avi" << true << "nameTooLong";
  }
  void sourceNames() {
    QFETCH(QString, name);
    QFETCH(bool, russian);
    QFETCH(QString, refusal);
    const UiLanguage language = russian ? RussianUi() : EnglishUi();
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    QVERIFY(QFile::copy(Clip("clip.avi"), folder.media(name)));
    QVERIFY(folder.Write(folder.settingsFile(), SettingsText("", "", "", true, false, false)));
    const QStringList before = folder.MediaFiles();
    QList<LoggedBox> expected{Done(language)};
    if (refusal == "nameNotCarried") expected = {Error(language.nameNotCarried)};
    // Refused on the drop, the source stays empty, and Start asks for one.
    if (refusal == "unsupported") expected = {Error(language.unsupported), Error(language.selectFile)};
    if (refusal == "nameTooLong") expected = {Error(language.outputsRefused + folder.path("media") + ": file name too long")};
    QCOMPARE(Drive(display_, folder, language, {folder.media(name)}, int(expected.size())), expected);
    if (!refusal.isEmpty()) {
      QCOMPARE(folder.MediaFiles(), before);
      return;
    }
    const QString output = name.left(name.size() - 4) + "_preview.mp4";
    QCOMPARE(folder.MediaFiles().size(), 2);
    const QJsonObject probe = Probe(folder.media(output));
    QCOMPARE(StreamOf(probe, "video")["nb_read_frames"].toString(), QString("8"));
    QCOMPARE(StreamOf(probe, "audio")["codec_name"].toString(), QString("aac"));
  }

  // Sources that cannot be read end at once with a message; a sound file
  // without sound fails its mode and says which.
  // The box's details carry the probe's own words after "File not found".
  void corruptSources_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");  // empty: cut from the tiny clip
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("detail");  // a line the details hold
    QTest::newRow("junk AVI") << "junk.avi" << BinaryJunk(3000) << kFileNotFound
                              << "Invalid data found when processing input";
    QTest::newRow("truncated AVI") << "half.avi" << QByteArray() << kFileNotFound << "  avs2pipemod: ";
    QTest::newRow("empty AVI") << "empty.avi" << QByteArray(" ") << kFileNotFound
                               << "Invalid data found when processing input";
    QTest::newRow("script with a syntax error") << "bad.avs" << QByteArray("AviSource(\"clip.avi\"\n") << kFileNotFound
                                                << "  avs2pipemod: ";
    // Without VapourSynth on the machine, or with it, this script gives no clip.
    QTest::newRow("VapourSynth script that fails")
        << "fails.vpy" << QByteArray("raise SystemExit(3)\n") << kFileNotFound << "  avs2pipemod: ";
    QTest::newRow("script that fails") << "fails.avs" << QByteArray("Assert(false, \"no such luck\")\n")
                                       << kFileNotFound << "no such luck";
  }
  void corruptSources() {
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QFETCH(QString, detail);
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    if (content.isEmpty()) {
      QFile clip(Clip("clip.avi"));
      QVERIFY(clip.open(QIODevice::ReadOnly));
      content = clip.read(clip.size() / 2);
    }
    QVERIFY(folder.Write(folder.media(name), content));
    QVERIFY(folder.Write(folder.settingsFile(), SettingsText("", "", "", true, false, true)));
    const QStringList before = folder.MediaFiles();
    const UiLanguage english = EnglishUi();
    QCOMPARE(Drive(display_, folder, english, {folder.media(name)}, 1), QList<LoggedBox>{Error(message)});
    QFile log(folder.messageLog());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString logged = QString::fromUtf8(log.readAll());
    QVERIFY2(logged.contains("\nCommand: \"" + folder.path("tools/avs2pipemod") + "\" -info ") &&
                 logged.contains("\nExit code: 1\nLast lines of output:\n") && logged.contains(detail),
             qPrintable(logged));
    QCOMPARE(folder.MediaFiles(), before);
  }
};

QTEST_GUILESS_MAIN(BadInputTest)
#include "bad_input_test.moc"
