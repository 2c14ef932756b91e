// The program as installed by `cmake --install` into a prefix that is then
// made read-only: a real Preview job with the installed tools, settings,
// intermediate files and the job log in the user's folders, nothing written
// under the prefix; and the installed executable started on its own.
#include <QCheckBox>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include "app/main_window.h"
#include "desktop/message_box.h"
#include "tests/app/no_actions.h"

namespace {

bool Run(const QString& program, const QStringList& args, const QString& folder = {}) {
  QProcess p;
  p.setProcessChannelMode(QProcess::ForwardedChannels);
  if (!folder.isEmpty()) p.setWorkingDirectory(folder);
  p.start(program, args);
  return p.waitForFinished(300000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Every file and folder under `root` with its size and change time.
QStringList Snapshot(const QString& root) {
  QStringList entries;
  QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QFileInfo info(it.next());
    entries << info.filePath() + " " + QString::number(info.size()) + " " +
                   QString::number(info.lastModified().toMSecsSinceEpoch());
  }
  entries.sort();
  return entries;
}

mode_t ModeOf(const QString& path) {
  struct stat info {};
  return ::stat(path.toUtf8().constData(), &info) == 0 ? info.st_mode & 0777 : 0;
}

QString ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

}  // namespace

class InstalledTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QString prefix_;
  QString home_;
  QStringList installed_;
  NoActions actions_;
  QStringList messages_;

  QString home(const QString& relative) const { return home_ + "/" + relative; }

  QProcess* StartInstalled(const QStringList& arguments, const QString& messageLog) {
    auto* process = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", home("run"));
    env.insert("KELVARION_MESSAGE_LOG", messageLog);
    process->setProcessEnvironment(env);
    process->start(prefix_ + "/bin/kelvarion", arguments);
    return process;
  }

 private slots:
  void initTestCase() {
    prefix_ = dir_.filePath("prefix");
    home_ = dir_.filePath("home");
    QVERIFY(Run("cmake", {"--install", qEnvironmentVariable("KELVARION_BUILD_DIR"), "--prefix", prefix_}));
    QVERIFY(Run("chmod", {"-R", "a-w", prefix_}));
    installed_ = Snapshot(prefix_);
    QVERIFY(installed_.size() > 20);
    QVERIFY(QDir().mkpath(home("media")));
    QVERIFY(QDir().mkpath(home("run")));
    QFile::setPermissions(home("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_CONFIG_HOME", home("config").toUtf8());
    qputenv("XDG_CACHE_HOME", home("cache").toUtf8());
    qputenv("XDG_STATE_HOME", home("state").toUtf8());
    desktop::SetMessageHandler([this](const desktop::MessageRequest& r) {
      messages_ << r.text;
      return QMessageBox::Ok;
    });
  }

  void cleanupTestCase() {
    // Nothing the program did may have touched the installation.
    QCOMPARE(Snapshot(prefix_), installed_);
    Run("chmod", {"-R", "u+w", prefix_});
  }

  void aPreviewJobWithTheInstalledTools() {
    QVERIFY(Run("ffmpeg", {"-nostdin", "-loglevel", "error", "-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=1", "-f",
                           "lavfi", "-i", "sine=r=48000:d=1", "-c:v", "mpeg4", "-c:a", "pcm_s16le", "clip.avi"},
                home("media")));
    app::StartupOptions options;
    options.paths = job::ToolPaths::ForExecutable(prefix_.toStdString() + "/bin/kelvarion");
    options.afterJobActions = &actions_;
    QVERIFY(options.paths.userFolders);
    QCOMPARE(QString::fromStdString(options.paths.videoEncoder64), prefix_ + "/lib/kelvarion/tools/x264_64");
    app::MainWindow window(options);
    window.show();
    for (QCheckBox* box : window.findChildren<QCheckBox*>()) box->setChecked(box->text() == "Preview");
    window.setSource(home("media/clip.avi"));
    window.StartBtnClick();
    QTRY_COMPARE_WITH_TIMEOUT(window.driver().state(), job::JobState::Idle, 300000);
    QCOMPARE(messages_, QStringList{"All tasks are complete!"});

    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-show_streams", "-of", "json", home("media/clip_preview.mp4")});
    QVERIFY(probe.waitForFinished(60000));
    QStringList codecs;
    for (const QJsonValue& s : QJsonDocument::fromJson(probe.readAllStandardOutput())["streams"].toArray()) {
      codecs << s["codec_name"].toString();
    }
    QCOMPARE(codecs, (QStringList{"h264", "aac"}));

    // Settings, intermediate files and the log are the user's.
    QVERIFY(ReadAll(home("config/kelvarion/kelvarion.ini")).contains("Path=" + home("media/clip.avi")));
    QCOMPARE(ModeOf(home("config/kelvarion")), mode_t(0700));
    QCOMPARE(ModeOf(home("cache/kelvarion/temp")), mode_t(0700));
    QCOMPARE(QDir(home("cache/kelvarion/temp")).entryList(QDir::Files), QStringList());
    const QString log = ReadAll(home("state/kelvarion/kelvarion.log"));
    QVERIFY2(log.contains(" preview: done in ") && log.contains(home("media/clip_preview.mp4")), qPrintable(log));
    window.close();
  }

  // The installed executable takes a file from its command line, and a
  // second start, with a file too, is refused while the first runs.
  void theInstalledExecutable() {
    const QString messages = home("messages.txt");
    QFile notes(home("media/notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.close();
    QProcess* first = StartInstalled({home("media/notes.txt")}, messages);
    // Each logged box: icon, title, place and text, separated by tabs.
    const auto loggedTexts = [&] {
      QStringList texts;
      for (const QString& line : ReadAll(messages).split('\n', Qt::SkipEmptyParts)) texts << line.section('\t', 3);
      return texts;
    };
    QTRY_COMPARE_WITH_TIMEOUT(loggedTexts(), QStringList{"Unsupported format"}, 20000);
    QProcess* second = StartInstalled({home("media/clip.avi")}, messages);
    QVERIFY(second->waitForFinished(20000));
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(loggedTexts(), (QStringList{"Unsupported format", "Приложение уже запущено."}));
    QCOMPARE(first->state(), QProcess::Running);
    first->terminate();
    QVERIFY(first->waitForFinished(10000));
  }
};

QTEST_MAIN(InstalledTest)
#include "installed_test.moc"
