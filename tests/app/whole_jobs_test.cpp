// Whole jobs through the real program, started as its own process on a
// virtual display and driven as a user drives it: the settings file written
// before the start, the source dropped on the window (a file on the command
// line), opened with the open dialog or remembered from the last run, the
// modes ticked, Start pressed, the frame-rate chooser and the end-of-run
// box answered. Every kind of source goes through the real tools on a tiny
// clip, in both languages; the outputs are read with ffprobe, and nothing
// of the job may stay beside the source but its outputs.
#include <QtTest>

#include "live_program.h"
#include "whole_job.h"

namespace {

// Places in the main window's client area (the controls' centres).
const QPoint kOpenVideoBtn(32, 41);
// And in the chooser's: the rate, the WAV field, OK.
const QPoint kRateBox(120, 18), kWavField(136, 138), kChooserOk(133, 180);
// And in an open dialog's: the first row of its list of files.
const QPoint kFirstListedFile(160, 71);

const int kJobTimeoutMs = 120000;

}  // namespace

class WholeJobsTest : public QObject {
  Q_OBJECT

  VirtualDisplay display_;

  // Presses Start in the main window and answers the end-of-run box, whose
  // title says in the interface's language that the job is done.
  static void RunToTheEnd(LiveProgram& program, const QString& main, const UiLanguage& language) {
    QVERIFY(program.Key(main, "Return"));
    AnswerEndBox(program, language);
  }
  static void AnswerEndBox(LiveProgram& program, const UiLanguage& language) {
    const QString box = program.WaitForWindow(language.doneTitle, kJobTimeoutMs);
    QVERIFY2(!box.isEmpty(), qPrintable(language.doneTitle));
    QVERIFY(program.Key(box, "Return"));
    QVERIFY(program.WaitUntilGone(language.doneTitle));
  }

  // Picks the first file an open dialog lists, with a click and Return, as
  // soon as the dialog has listed its folder (until then the click finds no
  // row and Return does nothing). A dialog that closes between two tries
  // makes the next one miss, which is harmless: the row lies outside the
  // windows beneath it, clear of their controls.
  static void PickFirstListedFile(LiveProgram& program, const QString& dialog, const QString& title) {
    QElapsedTimer timer;
    timer.start();
    while (!program.WaitUntilGone(title, 0) && timer.elapsed() < 20000) {
      program.Click(dialog, kFirstListedFile);
      program.Key(dialog, "Return");
      program.WaitUntilGone(title, 1000);
    }
    QVERIFY2(program.WaitUntilGone(title, 0), qPrintable(title));
  }

  // Answers the chooser: the rate typed over the offered one, OK.
  static void AnswerChooser(LiveProgram& program, const QString& chooser, const QString& rate) {
    QVERIFY(program.Click(chooser, kRateBox));
    QVERIFY(program.Key(chooser, "ctrl+a"));
    QVERIFY(program.Type(chooser, rate));
    QVERIFY(program.Click(chooser, kChooserOk));
  }

  // Starts the program on a sequence's picture, presses Start and answers
  // the chooser with `rate`.
  static void StartSequenceJob(LiveProgram& program, const QString& picture, const UiLanguage& language,
                               const QString& rate) {
    QVERIFY(program.Start({picture}));
    const QString main = program.WaitForWindow("Kelvarion 4.0");
    QVERIFY(!main.isEmpty());
    QVERIFY(program.Key(main, "Return"));
    const QString chooser = program.WaitForWindow(language.chooser);
    QVERIFY(!chooser.isEmpty());
    AnswerChooser(program, chooser, rate);
  }

  static void CheckVideo(const QString& file, int frames, const QString& rate, bool sound, const QString& author,
                         const QString& title) {
    const QJsonObject probe = Probe(file);
    const QJsonObject video = StreamOf(probe, "video");
    QVERIFY2(!video.isEmpty(), qPrintable(file));
    QCOMPARE(video["codec_name"].toString(), QString("h264"));
    QCOMPARE(video["nb_read_frames"].toString().toInt(), frames);
    QCOMPARE(video["r_frame_rate"].toString(), rate);
    // However a mode scales the picture, it keeps its shape.
    const int width = video["width"].toInt(), height = video["height"].toInt();
    QVERIFY2(width > 0 && qAbs(width * 3 - height * 4) <= 8, qPrintable(QString("%1x%2").arg(width).arg(height)));
    const QJsonObject audio = StreamOf(probe, "audio");
    QCOMPARE(!audio.isEmpty(), sound);
    if (sound) QCOMPARE(audio["codec_name"].toString(), QString("aac"));
    QCOMPARE(TagOf(probe, "artist"), author);
    QCOMPARE(TagOf(probe, "title"), title);
  }

  // The media folder now holds what it held plus exactly `outputs`.
  static void CheckOnlyOutputsAdded(const WholeJobFolder& folder, QStringList before, const QStringList& outputs) {
    before << outputs;
    before.sort();
    QCOMPARE(folder.MediaFiles(), before);
  }

 private slots:
  void initTestCase() { QVERIFY(display_.Start()); }

  // Three modes at once from one drop, with sound, tags from the settings.
  void aviWithSoundInEveryMode() {
    const UiLanguage english = EnglishUi();
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    QVERIFY(folder.Ffmpeg(TinyAvi("clip.avi", 12, 44100)));
    const QString author = QString::fromUtf8("Ann \"the\" Аня"), title = "Night: run & 100%";
    QVERIFY(folder.Write(folder.settingsFile(), SettingsText(author, title, "", true, true, true)));
    const QStringList before = folder.MediaFiles();

    LiveProgram program(display_, folder.programDir());
    SpeakIn(program, english);
    QVERIFY(program.Start({folder.media("clip.avi")}));
    const QString main = program.WaitForWindow("Kelvarion 4.0");
    QVERIFY(!main.isEmpty());
    RunToTheEnd(program, main, english);

    for (const char* mode : {"preview", "standard", "deluxe"})
      CheckVideo(folder.media(QString("clip_%1.mp4").arg(mode)), 12, "25/1", true, author, title);
    // Deluxe keeps the picture's size.
    QCOMPARE(StreamOf(Probe(folder.media("clip_deluxe.mp4")), "video")["width"].toInt(), 64);
    CheckOnlyOutputsAdded(folder, before, {"clip_preview.mp4", "clip_standard.mp4", "clip_deluxe.mp4"});
    QCOMPARE(QDir(folder.path("tools/temp")).entryList(QDir::Files), QStringList());
    // The window still answers: the muxer opens.
    QVERIFY(program.Key(main, "F2"));
    QVERIFY(!program.WaitForWindow("mp4 Muxer").isEmpty());
  }

  // A clip without sound, chosen with the open dialog, in debug mode: the
  // outputs have no sound track and the command lines stay in DebugInfo.log.
  void silentAviThroughTheOpenDialogInDebugMode() {
    const UiLanguage russian = RussianUi();
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    QVERIFY(folder.Ffmpeg(TinyAvi("silent.avi", 10, 0)));
    const QString author = QString::fromUtf8("Пётр"), title = QString::fromUtf8("Тишина");
    // The open dialog starts in the folder of the source of the last run,
    // even when that source is gone.
    QVERIFY(
        folder.Write(folder.settingsFile(), SettingsText(author, title, folder.media("gone.avi"), true, false, true)));
    const QStringList before = folder.MediaFiles();

    LiveProgram program(display_, folder.programDir());
    SpeakIn(program, russian);
    QVERIFY(program.Start({"debug"}));
    const QString main = program.WaitForWindow("Kelvarion 4.0 debug");
    QVERIFY(!main.isEmpty());
    QVERIFY(program.Click(main, kOpenVideoBtn));
    const QString dialog = program.WaitForWindow(russian.openDialog);
    QVERIFY(!dialog.isEmpty());
    PickFirstListedFile(program, dialog, russian.openDialog);
    RunToTheEnd(program, main, russian);

    // Outputs made in debug mode carry no tags.
    CheckVideo(folder.media("silent_preview.mp4"), 10, "25/1", false, "", "");
    CheckVideo(folder.media("silent_deluxe.mp4"), 10, "25/1", false, "", "");
    CheckOnlyOutputsAdded(folder, before, {"silent_preview.mp4", "silent_deluxe.mp4"});
    QFile log(folder.path("tools/temp/DebugInfo.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray commands = log.readAll();
    QVERIFY(commands.contains("x264"));
    QVERIFY(commands.contains("MP4Box"));
    // No sound, no sound encoder.
    QVERIFY(!commands.contains("neroAacEnc"));
  }

  // The source remembered in the settings file from the last run.
  void avisynthScriptRememberedFromTheLastRun() {
    const UiLanguage russian = RussianUi();
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    QVERIFY(folder.Ffmpeg(TinyAvi("clip.avi", 20, 48000)));
    QVERIFY(folder.Write(folder.media("cut.avs"),
                         ("AviSource(\"" + folder.media("clip.avi") + "\").Trim(3, 13)\n").toUtf8()));
    QVERIFY(folder.Write(folder.settingsFile(), SettingsText("A", "B", folder.media("cut.avs"), false, true, false)));
    const QStringList before = folder.MediaFiles();

    LiveProgram program(display_, folder.programDir());
    SpeakIn(program, russian);
    QVERIFY(program.Start());
    const QString main = program.WaitForWindow("Kelvarion 4.0");
    QVERIFY(!main.isEmpty());
    RunToTheEnd(program, main, russian);
    // Trim(3, 13) keeps frames 3 to 13, both ends included.
    CheckVideo(folder.media("cut_standard.mp4"), 11, "25/1", true, "A", "B");
    CheckOnlyOutputsAdded(folder, before, {"cut_standard.mp4"});
  }

  // vspipe here is a stand-in on the PATH that renders with ffmpeg what the
  // script would, checking that it is asked for y4m on its standard output.
  void vapourSynthScriptThroughVspipe() {
    const UiLanguage english = EnglishUi();
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    QVERIFY(QDir().mkpath(folder.path("bin")));
    QVERIFY(folder.WriteScript(folder.path("bin/vspipe"),
                               "#!/bin/sh\n"
                               "[ \"$1 $2 $4\" = \"-c y4m -\" ] && [ -f \"$3\" ] || exit 2\n"
                               "exec ffmpeg -nostdin -loglevel error -f lavfi -i testsrc2=s=64x48:r=30000/1001 "
                               "-frames:v 15 -f yuv4mpegpipe -pix_fmt yuv420p -\n"));
    QVERIFY(folder.Write(folder.media("clip.vpy"),
                         "import vapoursynth as vs\n"
                         "vs.core.std.BlankClip(width=64, height=48).set_output()\n"));
    QVERIFY(folder.Write(folder.settingsFile(), SettingsText("V", "S", "", true, true, false)));
    const QStringList before = folder.MediaFiles();

    LiveProgram program(display_, folder.programDir());
    SpeakIn(program, english);
    program.SetEnvironment("PATH", folder.path("bin") + ":" + qEnvironmentVariable("PATH"));
    QVERIFY(program.Start({folder.media("clip.vpy")}));
    const QString main = program.WaitForWindow("Kelvarion 4.0");
    QVERIFY(!main.isEmpty());
    RunToTheEnd(program, main, english);
    CheckVideo(folder.media("clip_preview.mp4"), 15, "30000/1001", false, "V", "S");
    CheckVideo(folder.media("clip_standard.mp4"), 15, "30000/1001", false, "V", "S");
    CheckOnlyOutputsAdded(folder, before, {"clip_preview.mp4", "clip_standard.mp4"});
  }

  // Sound alone makes sound files, one a mode.
  void wavInEveryMode() {
    const UiLanguage russian = RussianUi();
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    QVERIFY(folder.Ffmpeg({"-f", "lavfi", "-i", "sine=r=96000:d=0.7", "-ac", "2", "song.wav"}));
    QVERIFY(folder.Write(folder.settingsFile(), SettingsText(QString::fromUtf8("Ю"), "W", "", true, true, true)));
    const QStringList before = folder.MediaFiles();

    LiveProgram program(display_, folder.programDir());
    SpeakIn(program, russian);
    QVERIFY(program.Start({folder.media("song.wav")}));
    const QString main = program.WaitForWindow("Kelvarion 4.0");
    QVERIFY(!main.isEmpty());
    RunToTheEnd(program, main, russian);
    for (const char* mode : {"preview", "standard", "deluxe"}) {
      const QJsonObject probe = Probe(folder.media(QString("song_%1.m4a").arg(mode)));
      QVERIFY2(StreamOf(probe, "video").isEmpty(), mode);
      QCOMPARE(StreamOf(probe, "audio")["codec_name"].toString(), QString("aac"));
      QVERIFY(qAbs(probe["format"]["duration"].toString().toDouble() - 0.7) < 0.1);
    }
    CheckOnlyOutputsAdded(folder, before, {"song_preview.m4a", "song_standard.m4a", "song_deluxe.m4a"});
  }

  // The chooser's rate becomes the output's; every frame found is encoded.
  void pngSequenceWithoutSound() {
    const UiLanguage english = EnglishUi();
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    QVERIFY(folder.Ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=64x48:r=25", "-frames:v", "14", "shot%03d.png"}));
    QVERIFY(folder.Write(folder.settingsFile(), SettingsText("P", "N", "", false, false, true)));
    const QStringList before = folder.MediaFiles();

    LiveProgram program(display_, folder.programDir());
    SpeakIn(program, english);
    StartSequenceJob(program, folder.media("shot005.png"), english, "12");
    AnswerEndBox(program, english);
    CheckVideo(folder.media("shot005_deluxe.mp4"), 14, "12/1", false, "P", "N");
    CheckOnlyOutputsAdded(folder, before, {"shot005_deluxe.mp4"});
  }

  // A picture in the middle of a sequence that no decoder reads fails the
  // mode once the encoder reaches it: the box names the mode, its details
  // name the picture, and no output is left half written.
  void sequenceWithACorruptPicture() {
    const UiLanguage english = EnglishUi();
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    QVERIFY(folder.Ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=64x48:r=25", "-frames:v", "14", "shot%03d.png"}));
    QFile picture(folder.media("shot008.png"));
    QVERIFY(picture.open(QIODevice::ReadWrite));
    const QByteArray whole = picture.readAll();
    QVERIFY(picture.seek(whole.size() / 3));
    QVERIFY(picture.write(QByteArray(whole.size() / 3, '\xA5')) > 0);
    picture.close();
    QVERIFY(folder.Write(folder.settingsFile(), SettingsText("", "", "", false, false, true)));
    const QStringList before = folder.MediaFiles();

    LiveProgram program(display_, folder.programDir());
    SpeakIn(program, english);
    program.SetEnvironment("KELVARION_MESSAGE_LOG", folder.messageLog());
    StartSequenceJob(program, folder.media("shot001.png"), english, "25");
    const QList<LoggedBox> boxes = WaitForBoxes(folder.messageLog(), 1, kJobTimeoutMs);
    QCOMPARE(boxes, (QList<LoggedBox>{{"Critical", "Error", english.modesFailed + "deluxe"}}));
    QFile log(folder.messageLog());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString details = QString::fromUtf8(log.readAll());
    QVERIFY2(details.contains("shot008.png"), qPrintable(details));
    QCOMPARE(folder.MediaFiles(), before);
  }

  // The WAV is attached in the chooser through its own open dialog.
  void jpgSequenceWithSound() {
    const UiLanguage russian = RussianUi();
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    QVERIFY(
        folder.Ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=64x48:r=25", "-frames:v", "10", "-q:v", "3", "frame%04d.jpg"}));
    QVERIFY(folder.Ffmpeg({"-f", "lavfi", "-i", "sine=r=44100:d=1", "-ac", "2", "music.wav"}));
    QVERIFY(folder.Write(folder.settingsFile(), SettingsText("J", "S", "", true, false, false)));
    const QStringList before = folder.MediaFiles();

    LiveProgram program(display_, folder.programDir());
    SpeakIn(program, russian);
    QVERIFY(program.Start({folder.media("frame0001.jpg")}));
    const QString main = program.WaitForWindow("Kelvarion 4.0");
    QVERIFY(!main.isEmpty());
    QVERIFY(program.Key(main, "Return"));
    const QString chooser = program.WaitForWindow(russian.chooser);
    QVERIFY(!chooser.isEmpty());
    QVERIFY(program.Click(chooser, kWavField));
    const QString dialog = program.WaitForWindow(russian.openDialog);
    QVERIFY(!dialog.isEmpty());
    // This dialog starts wherever the platform puts it: the folder is typed
    // first, and the dialog goes there.
    QVERIFY(program.Type(dialog, folder.path("media/")));
    QVERIFY(program.Key(dialog, "Return"));
    PickFirstListedFile(program, dialog, russian.openDialog);
    AnswerChooser(program, chooser, "10");
    AnswerEndBox(program, russian);
    CheckVideo(folder.media("frame0001_preview.mp4"), 10, "10/1", true, "J", "S");
    CheckOnlyOutputsAdded(folder, before, {"frame0001_preview.mp4"});
  }
};

QTEST_GUILESS_MAIN(WholeJobsTest)
#include "whole_jobs_test.moc"
