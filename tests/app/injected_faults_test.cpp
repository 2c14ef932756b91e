// Faults injected into whole jobs of the real program, driven on a virtual
// display of the test's own with stand-in tools: the window closed during
// each stage, tools killed from outside, missing or failing, the source gone,
// the output folder read-only, the disk full, a second start. Whatever
// happens, the job must end with the failed modes named (or the program
// gone, when the user closed it), leave no process of its own running,
// leave the temporary folder empty, put nothing of its own beside the
// source, and change no file that existed before, the settings file apart
// from the keys the program keeps there.
#include <QCryptographicHash>
#include <QProcess>
#include <QUuid>
#include <QtTest>

#include <signal.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <functional>
#include <optional>

#include "desktop/ui_texts.h"
#include "live_program.h"
#include "tool_folder.h"
#include "window_close.h"

namespace {

// What the test does to the running job.
enum class Act {
  Close,         // closes the main window and answers Yes to the question
  Kill,          // SIGKILL to the aimed tool
  DeleteSource,  // removes the source while the probe runs
  LockSource,    // takes the read permission of the source while the probe runs
  SecondStart,   // starts a second Kelvarion
  Nothing,       // the fault lies in the set-up
};

// How the job ends.
enum class End {
  Gone,        // the program has ended
  Failed,      // the end-of-run error box names the Preview
  ProbeError,  // the probe's error box; no job started
  Refused,     // the outputs' folder takes no file: no tool ever starts
  Done,        // every mode made
};

// Where the source folder lies.
enum class Media { Plain, ReadOnly, FullDisk };

struct Fault {
  QStringList environment;  // NAME=VALUE for the program and so for its tools
  QString aim;              // the tool whose start marks the stage
  int call = 1;             // which start of that tool
  Act act = Act::Nothing;
  End end = End::Failed;
  QString detail = {};  // a text the end-of-run box's details must hold
  QString removeTool = {};
  Media media = Media::Plain;
  QString source = "clip.avi";  // "clip.wav" makes the sound the output
  QString lastTool = {};        // the last tool started, when not the aimed one
  int starts = 0;               // the aimed tool's starts in all, when not `call`
};

}  // namespace

Q_DECLARE_METATYPE(Fault)

namespace {

// Each stage of the Preview of a clip with sound, made slow enough for a
// fault to land in it; the other stages take no time. The video passes run
// through the encoder's wrapper, whose name is the one the log shows.
const char kSlowProbe[] = "FAKE_PROBE_SLEEP=2.5";
const char kSlowPasses[] = "FAKE_TOOL_AVS4X264MOD=progress=12;step_ms=250";
const char kSlowAudio[] = "FAKE_TOOL_NEROAACENC=stdin=1;progress=12;step_ms=250";
const char kSlowMux[] = "FAKE_TOOL_MP4BOX=progress=8;step_ms=250";
// A stage that a question interrupts lasts long enough for the question to
// be answered on a loaded machine; halted, it costs nothing.
const char kLongPasses[] = "FAKE_TOOL_AVS4X264MOD=progress=40;step_ms=250";
const char kLongAudio[] = "FAKE_TOOL_NEROAACENC=stdin=1;progress=40;step_ms=250";
const char kLongMux[] = "FAKE_TOOL_MP4BOX=progress=16;step_ms=250";

const char kMarker[] = "KELVARION_FAULT_CASE";

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file of a folder with its hash; a file that cannot be read counts
// with an empty hash.
QMap<QString, QByteArray> Hashes(const QString& folder) {
  QMap<QString, QByteArray> hashes;
  for (const QString& name : QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
    hashes[name] = QCryptographicHash::hash(ReadAll(folder + "/" + name), QCryptographicHash::Sha256);
  }
  return hashes;
}

// The settings file without the keys a job writes (tags, source, modes and
// the outputs' names): what is left must stay as it was, line by line.
QList<QByteArray> KeptSettingsLines(const QString& path) {
  static const QList<QByteArray> written = {"author", "clip", "path", "pathprev", "pathstandard",
                                            "pathdeluxe", "prev", "std", "dx"};
  QList<QByteArray> kept;
  for (const QByteArray& line : ReadAll(path).split('\n')) {
    const qsizetype equals = line.indexOf('=');
    if (equals > 0 && written.contains(line.left(equals).trimmed().toLower())) continue;
    kept << line;
  }
  return kept;
}

// Gives a folder or file its owner's permissions back however the case
// ends, so that its temporary folder can go.
class PermissionGuard {
 public:
  PermissionGuard() = default;
  PermissionGuard(const PermissionGuard&) = delete;
  PermissionGuard& operator=(const PermissionGuard&) = delete;
  ~PermissionGuard() {
    for (const QString& path : paths_)
      QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  void Restore(const QString& path) { paths_ << path; }

 private:
  QStringList paths_;
};

}  // namespace

class InjectedFaultsTest : public QObject {
  Q_OBJECT

  VirtualDisplay display_;
  const desktop::UiTexts& english_ = desktop::EnglishTexts();

  static bool WaitForCall(const ToolFolder& folder, const QString& tool, int call, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    do {
      if (folder.toolNames().count(tool) >= call) return true;
      QThread::msleep(20);
    } while (timer.elapsed() < timeoutMs);
    return false;
  }

  // The running process of a stand-in tool, by its file in the tools folder
  // (a script's file shows in its command line instead).
  static std::optional<pid_t> ToolProcess(const ToolFolder& folder, const QByteArray& marker, const QString& tool) {
    const QString file = QFileInfo(folder.path("tools/" + tool)).canonicalFilePath();
    for (const MarkedProcess& p : MarkedProcesses(kMarker, marker)) {
      if (p.exe == file || p.cmdline.contains(file.toUtf8())) return p.pid;
    }
    return std::nullopt;
  }

 private slots:
  void initTestCase() { QVERIFY(display_.Start()); }

  void jobUnderFault_data() {
    QTest::addColumn<Fault>("fault");
    const QString full = "FAKE_TOOL_MP4BOX=exit=1;stderr=[MP4Box] Error writing the file: No space left on device";

    // The probe runs while the window waits: the close is answered once the
    // first pass has begun, and the question still ends everything.
    Fault probeClosed{{kSlowProbe, kLongPasses}, "avs2pipemod", 1, Act::Close, End::Gone};
    probeClosed.lastTool = "avs4x264mod";
    QTest::newRow("closed during the probe") << probeClosed;
    QTest::newRow("closed in pass 1") << Fault{{kLongPasses}, "avs4x264mod", 1, Act::Close, End::Gone};
    QTest::newRow("closed in pass 2") << Fault{{kSlowPasses}, "avs4x264mod", 2, Act::Close, End::Gone};
    QTest::newRow("closed in the audio") << Fault{{kLongAudio}, "neroAacEnc", 1, Act::Close, End::Gone};
    // The first mux command has written the video-only file by then.
    QTest::newRow("closed in the mux") << Fault{{kLongMux}, "MP4Box", 2, Act::Close, End::Gone};

    QTest::newRow("probe killed") << Fault{{kSlowProbe}, "avs2pipemod", 1, Act::Kill, End::ProbeError};
    QTest::newRow("pass 1 killed") << Fault{{kSlowPasses}, "avs4x264mod", 1, Act::Kill, End::Failed, "Ended by signal 9"};
    QTest::newRow("pass 2 killed") << Fault{{kSlowPasses}, "avs4x264mod", 2, Act::Kill, End::Failed, "Ended by signal 9"};
    // The sound's reader feeds the encoder through a pipe: the encoder then
    // meets the end of its input early, and the sound it makes is cut short.
    Fault readerKilled{{"FAKE_PIPE_SLEEP=3", "FAKE_TOOL_NEROAACENC=stdin=1"}, "avs2pipemod", 2, Act::Kill,
                       End::Failed, "Ended by signal 9"};
    readerKilled.lastTool = "neroAacEnc";
    QTest::newRow("sound reader killed") << readerKilled;
    QTest::newRow("audio encoder killed") << Fault{{kSlowAudio}, "neroAacEnc", 1, Act::Kill, End::Failed, "Ended by signal 9"};
    // The mux stage runs its three commands whatever became of the one before.
    Fault muxKilled{{kSlowMux}, "MP4Box", 2, Act::Kill, End::Failed, "Ended by signal 9"};
    muxKilled.starts = 3;
    QTest::newRow("muxer killed") << muxKilled;

    Fault missing{{}, {}, 1, Act::Nothing, End::Failed, english_.detailsNotStarted};
    missing.removeTool = "neroAacEnc";
    QTest::newRow("audio encoder missing") << missing;
    QTest::newRow("encoder says why it fails")
        << Fault{{"FAKE_TOOL_AVS4X264MOD=exit=1;stderr=x264 [error]: could not open input file"},
                 {}, 1, Act::Nothing, End::Failed, "x264 [error]: could not open input file"};

    QTest::newRow("source deleted before the probe")
        << Fault{{kSlowProbe, "FAKE_PROBE_READS=1"}, "avs2pipemod", 1, Act::DeleteSource, End::ProbeError};
    QTest::newRow("source unreadable before the probe")
        << Fault{{kSlowProbe, "FAKE_PROBE_READS=1"}, "avs2pipemod", 1, Act::LockSource, End::ProbeError};
    Fault readOnly{{}, {}, 1, Act::Nothing, End::Refused};
    readOnly.media = Media::ReadOnly;
    QTest::newRow("output folder read-only") << readOnly;
    QTest::newRow("disk full, as the muxer reports it")
        << Fault{{full}, {}, 1, Act::Nothing, End::Failed, "No space left on device"};
    Fault fullDisk{{}, {}, 1, Act::Nothing, End::Failed};
    fullDisk.media = Media::FullDisk;
    QTest::newRow("disk full, a small file system") << fullDisk;
    Fault wav{{"FAKE_TOOL_NEROAACENC=exit=1;stderr=ERROR: could not write the output"},
              {}, 1, Act::Nothing, End::Failed, "ERROR: could not write the output"};
    wav.source = "clip.wav";
    QTest::newRow("sound encoder fails on a WAV source") << wav;
    QTest::newRow("second start during the job")
        << Fault{{kSlowPasses}, "avs4x264mod", 1, Act::SecondStart, End::Done};
  }

  void jobUnderFault() {
    QFETCH(Fault, fault);
    const bool root = ::geteuid() == 0;
    ToolFolder folder;
    QVERIFY(LiveProgram::CopyProgramInto(folder.path("")));
    if (!fault.removeTool.isEmpty()) QVERIFY(QFile::remove(folder.path("tools/" + fault.removeTool)));

    // The source and an older output of the same name in a folder of their own.
    const QString media = folder.path("media");
    QVERIFY(QDir().mkpath(media));
    MountGuard mount(media);
    PermissionGuard permissions;
    if (fault.media == Media::FullDisk && !mount.Mount({"-t", "tmpfs", "-o", "size=64k,mode=0755", "tmpfs"}))
      QSKIP("no small file system can be mounted here; the muxer's own report of a full disk stands in");
    const QString source = media + "/" + fault.source;
    const bool wavSource = fault.source.endsWith(".wav");
    QVERIFY(folder.touch("media/" + fault.source, "RIFF source clip ").endsWith(fault.source));
    folder.touch(wavSource ? "media/clip_preview.m4a" : "media/clip_preview.mp4", "an older output\n");
    if (fault.media == Media::FullDisk) {
      // Filled to the last block: a new file can be made, but nothing written into it.
      QFile filler(media + "/filler");
      QVERIFY(filler.open(QIODevice::WriteOnly));
      const QByteArray block(4096, 'f');
      while (filler.write(block) == block.size() && filler.flush()) {
      }
      filler.close();
      struct statvfs space {};
      QVERIFY(::statvfs(media.toLocal8Bit().constData(), &space) == 0);
      QCOMPARE(space.f_bavail, 0UL);
    }
    if (fault.media == Media::ReadOnly) {
      // The superuser writes through a folder's permissions; a read-only
      // mount of the folder on itself stops everyone.
      if (root) {
        if (!mount.MountReadOnly())
          QSKIP("the superuser cannot make a read-only mount here");
      } else {
        permissions.Restore(media);
        QVERIFY(QFile::setPermissions(media, QFile::ReadOwner | QFile::ExeOwner));
      }
    }

    const QString settings = folder.path("kelvarion.ini");
    {
      QFile ini(settings);
      QVERIFY(ini.open(QIODevice::WriteOnly));
      ini.write("; kept as it is\n[Meta]\nAuthor=Anna\nClip=Evening\nPath=" + source.toUtf8() +
                "\n[Settings]\nPL=3\nPB=2\n[Flags]\nPrev=1\nStd=0\nDX=0\n[Other]\nkey=value\n");
    }
    const QMap<QString, QByteArray> before = Hashes(media);
    const QList<QByteArray> settingsBefore = KeptSettingsLines(settings);

    const QByteArray marker = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    QTemporaryDir runtime;
    const QString messages = runtime.filePath("messages.txt");
    LiveProgram program(display_, folder.path(""));
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LC_CTYPE"}) program.SetEnvironment(name, "");
    program.SetEnvironment("LANG", "en_US.UTF-8");
    // The superuser reads a file whatever its permissions unless it gives up that power.
    if (fault.act == Act::LockSource && root) program.DropPermissionOverride();
    program.SetEnvironment(kMarker, marker);
    program.SetEnvironment("XDG_RUNTIME_DIR", runtime.path());
    program.SetEnvironment("FAKE_TOOL_LOG", folder.logPath());
    for (const QString& setting : fault.environment) {
      program.SetEnvironment(setting.section('=', 0, 0), setting.section('=', 1));
    }
    // A closed window needs the real question; otherwise the boxes are
    // written to a file of the test's, where their texts can be read.
    if (fault.act != Act::Close) program.SetEnvironment("KELVARION_MESSAGE_LOG", messages);
    QVERIFY(program.Start());
    const QString main = program.WaitForWindow("Kelvarion 4.0");
    QVERIFY(!main.isEmpty());
    QVERIFY(program.Key(main, "Return"));

    if (!fault.aim.isEmpty()) {
      QVERIFY2(WaitForCall(folder, fault.aim, fault.call, 30000), qPrintable(folder.toolNames().join(' ')));
    }
    std::unique_ptr<LiveProgram> second;
    QString secondMessages;
    switch (fault.act) {
      case Act::Close: {
        QVERIFY(SendDeleteWindow(display_.name(), main));
        const QString question = program.WaitForWindow("Warning", 20000);
        QVERIFY(!question.isEmpty());
        QVERIFY(program.Key(question, "alt+y"));
        break;
      }
      case Act::Kill: {
        const std::optional<pid_t> tool = ToolProcess(folder, marker, fault.aim);
        QVERIFY2(tool, qPrintable(Describe(MarkedProcesses(kMarker, marker))));
        // The reader is a script that sleeps in a child: it goes with its group.
        QCOMPARE(::kill(fault.aim == "avs2pipemod" ? -*tool : *tool, SIGKILL), 0);
        break;
      }
      case Act::DeleteSource:
        QVERIFY(QFile::remove(source));
        break;
      case Act::LockSource:
        permissions.Restore(source);
        QVERIFY(QFile::setPermissions(source, QFileDevice::Permissions()));
        break;
      case Act::SecondStart: {
        // The same user's session: the same runtime folder.
        second = std::make_unique<LiveProgram>(display_, folder.path(""));
        secondMessages = runtime.filePath("second.txt");
        second->SetEnvironment(kMarker, marker);
        second->SetEnvironment("XDG_RUNTIME_DIR", runtime.path());
        second->SetEnvironment("KELVARION_MESSAGE_LOG", secondMessages);
        QVERIFY(second->Start({source}));
        QVERIFY(second->WaitForExit(20000));
        QCOMPARE(QString::fromUtf8(ReadAll(secondMessages)),
                 QString::fromUtf8("Critical\tError\t-\tПриложение уже запущено.\n"));
        break;
      }
      case Act::Nothing:
        break;
    }

    if (fault.end == End::Gone) {
      QVERIFY(program.WaitForExit(30000));
    } else {
      // The end-of-run box: its line, then its details.
      QTRY_VERIFY_WITH_TIMEOUT(ReadAll(messages).contains('\n'), 60000);
      const QString text = QString::fromUtf8(ReadAll(messages));
      const QStringList box = text.section('\n', 0, 0).split('\t');
      QCOMPARE(box.size(), 4);
      const QString details = text.section('\n', 1);
      switch (fault.end) {
        case End::Failed:
          QCOMPARE(box[0], QString("Critical"));
          QCOMPARE(box[3], english_.modesFailed + english_.modeNames[0]);
          QVERIFY2(details.contains(english_.modeNames[0]), qPrintable(details));
          break;
        case End::Refused: {
          const QString why = root ? ": read-only file system" : ": permission denied";
          QCOMPARE(box[0], QString("Critical"));
          QCOMPARE(box[3], english_.outputsRefused + media + why);
          QVERIFY2(details.contains(media + why), qPrintable(details));
          QVERIFY2(folder.toolNames().isEmpty(), qPrintable(folder.toolNames().join(' ')));
          break;
        }
        case End::ProbeError:
          QCOMPARE(box[0], QString("Critical"));
          QCOMPARE(box[3], QString("File not found"));
          // No mode's stage began.
          QVERIFY2(!folder.toolNames().contains("avs4x264mod"), qPrintable(folder.toolNames().join(' ')));
          break;
        default:
          QCOMPARE(box[0], QString("NoIcon"));
          QCOMPARE(box[3], english_.allDone);
          break;
      }
      QVERIFY2(details.contains(fault.detail), qPrintable(details));
      // The stages are over once the box shows: only the program runs.
      const QList<MarkedProcess> left = MarkedProcesses(kMarker, marker);
      QVERIFY2(left.size() == 1 && left[0].exe == QFileInfo(folder.path("kelvarion")).canonicalFilePath(),
               qPrintable(Describe(left)));
    }
    if (fault.act == Act::Close || fault.act == Act::Kill) {
      // The fault ended the stage it aimed at, and nothing of the mode ran after it.
      const QStringList started = folder.toolNames();
      QCOMPARE(started.count(fault.aim), fault.starts > 0 ? fault.starts : fault.call);
      QCOMPARE(started.last(), fault.lastTool.isEmpty() ? fault.aim : fault.lastTool);
    }
    // The program clears its temporary folder right after the box; only the
    // lock that tells whether a program holds the folder stays.
    const auto tempLeft = [&] {
      return QDir(folder.tempDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    };
    QTRY_VERIFY2_WITH_TIMEOUT(tempLeft() == QStringList{".lock"}, qPrintable(tempLeft().join(' ')), 10000);
    if (program.running()) {
      // An idle window closes without a question.
      QVERIFY(SendDeleteWindow(display_.name(), main));
      QVERIFY(program.WaitForExit(20000));
    }
    QVERIFY2(MarkedProcesses(kMarker, marker).isEmpty(), qPrintable(Describe(MarkedProcesses(kMarker, marker))));
    QCOMPARE(tempLeft(), QStringList{".lock"});

    // Beside the source: what was there, unchanged; a new output only from a
    // job that made it.
    // The source's permissions come back to be read and compared.
    if (fault.act == Act::LockSource) QVERIFY(QFile::setPermissions(source, QFile::ReadOwner | QFile::WriteOwner));
    QMap<QString, QByteArray> after = Hashes(media);
    if (fault.end == End::Done) {
      QCOMPARE(ReadAll(media + "/clip1_preview.mp4"), QByteArray("fake\n"));
      after.remove("clip1_preview.mp4");
    }
    QMap<QString, QByteArray> expected = before;
    if (fault.act == Act::DeleteSource) expected.remove(fault.source);
    QCOMPARE(after.keys(), expected.keys());
    QCOMPARE(after, expected);
    QCOMPARE(KeptSettingsLines(settings), settingsBefore);
  }
};

QTEST_GUILESS_MAIN(InjectedFaultsTest)
#include "injected_faults_test.moc"
