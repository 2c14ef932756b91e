// What a job owns: the names it claims beside the source, the files its
// tools write there, and the folder it works in; and what a program that
// died left of them, cleared by the next one without touching anything a
// living program or another hand put there.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <set>
#include <thread>
#include <vector>

#include "job/ownership.h"

namespace {

QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool Write(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A file written elsewhere and renamed over `path`, as a tool commits its
// output: the name stays, the file under it is another.
void ReplaceFile(const QString& path, const QByteArray& bytes) {
  QVERIFY(Write(path + ".new", bytes));
  QVERIFY(::rename((path + ".new").toLocal8Bit().constData(), path.toLocal8Bit().constData()) == 0);
}

mode_t ModeOf(const QString& path) {
  struct stat info {};
  return ::lstat(path.toLocal8Bit().constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// Runs `body` in a forked copy of this test that then waits to be killed,
// as a program dies under a running job; returns once `body` is done.
pid_t InDyingProgram(const std::function<void()>& body) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(ready[0]);
    body();
    const char done = 'y';
    [[maybe_unused]] auto written = ::write(ready[1], &done, 1);
    ::pause();
    ::_exit(0);
  }
  ::close(ready[1]);
  char done = 0;
  [[maybe_unused]] auto got = ::read(ready[0], &done, 1);
  ::close(ready[0]);
  return pid;
}

void Kill(pid_t pid) {
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

}  // namespace

class OwnershipTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QTemporaryDir tmpdir_;  // the runners' $TMPDIR

  QString shared() const { return dir_.filePath("tools/temp"); }

 private slots:
  void init() {
    QVERIFY(dir_.isValid() && tmpdir_.isValid());
    qputenv("TMPDIR", tmpdir_.path().toLocal8Bit());
    QDir(dir_.path()).mkpath("tools");
    QDir(dir_.path()).mkpath("media");
  }
  void cleanup() {
    QDir(dir_.path()).removeRecursively();
    QDir().mkpath(dir_.path());
  }

  // Programs running at once on one source each get a name of their own,
  // and each name exists, empty, from the moment it is handed out.
  void claimedNamesAreNeverShared() {
    const std::string source = dir_.filePath("media/clip.avi").toStdString();
    QDir(dir_.path()).mkdir("media/clip_preview.mp4");  // a folder cannot become an output
    std::vector<std::string> names(8);
    std::vector<std::thread> claimers;
    for (std::string& name : names) {
      claimers.emplace_back([&] {
        std::string reason;
        name = job::OutputClaims("").Claim(source, "_preview", &reason);
      });
    }
    for (std::thread& claimer : claimers) claimer.join();
    const std::set<std::string> distinct(names.begin(), names.end());
    QCOMPARE(distinct.size(), names.size());
    for (int n = 1; n <= 8; ++n) {
      const QFileInfo claimed(dir_.filePath(QString("media/clip%1_preview.mp4").arg(n)));
      QVERIFY(claimed.isFile());
      QCOMPARE(claimed.size(), qint64(0));
    }
    std::string reason;
    job::OutputClaims claims("");
    QCOMPARE(claims.Claim(dir_.filePath("media/song.wav").toStdString(), "_standard", &reason),
             dir_.filePath("media/song_standard.m4a").toStdString());
    // A folder that takes no file is named with the system's reason.
    QCOMPARE(claims.Claim(dir_.filePath("no/such/clip.avi").toStdString(), "_preview", &reason), std::string());
    QCOMPARE(QString::fromStdString(reason), dir_.filePath("no/such") + ": no such file or directory");
  }

  // A job removes a file under one of its names only while it is the file
  // it claimed or one its own tools wrote there; what someone else put
  // there, and what the job finished, stay.
  void onlyTheJobsOwnFilesAreRemoved() {
    job::OutputClaims claims("");
    std::string reason;
    const QString preview =
        QString::fromStdString(claims.Claim(dir_.filePath("media/clip.avi").toStdString(), "_preview", &reason));
    const QString standard =
        QString::fromStdString(claims.Claim(dir_.filePath("media/clip.avi").toStdString(), "_standard", &reason));
    const QString deluxe =
        QString::fromStdString(claims.Claim(dir_.filePath("media/clip.avi").toStdString(), "_deluxe", &reason));
    QVERIFY(claims.Owns(preview.toStdString()));

    // The muxer wrote the preview: the job adopts what its tool wrote.
    ReplaceFile(preview, "video only");
    QVERIFY(!claims.Owns(preview.toStdString()));
    claims.Adopt(preview.toStdString(), *platform::IdOf(preview.toStdString()));
    QVERIFY(claims.Owns(preview.toStdString()));

    // Someone put a file of their own under the standard name.
    ReplaceFile(standard, "the user's");
    QVERIFY(!claims.Owns(standard.toStdString()));

    // The deluxe output is complete: it is the user's now.
    ReplaceFile(deluxe, "finished");
    claims.Adopt(deluxe.toStdString(), *platform::IdOf(deluxe.toStdString()));
    claims.Complete(deluxe.toStdString());

    claims.ReleaseAll();
    QVERIFY(!QFileInfo::exists(preview));
    QCOMPARE(Contents(standard), QByteArray("the user's"));
    QCOMPARE(Contents(deluxe), QByteArray("finished"));
  }

  // The window's folder is shared by whatever program of the user takes it
  // first; another running at the same time takes a numbered sibling. A
  // folder that is a link, another user's, or cannot be closed is refused
  // with its name.
  void theSharedFolderAndItsSiblings() {
    std::string reason;
    job::JobFolder first = job::JobFolder::TakeShared(shared().toStdString(), &reason);
    QVERIFY2(first.held(), reason.c_str());
    QCOMPARE(QString::fromStdString(first.path()), shared());
    QCOMPARE(ModeOf(shared()), mode_t(0700));
    job::JobFolder second = job::JobFolder::TakeShared(shared().toStdString(), &reason);
    QVERIFY(second.held());
    QCOMPARE(QString::fromStdString(second.path()), shared() + "-2");
    first.Release();
    job::JobFolder third = job::JobFolder::TakeShared(shared().toStdString(), &reason);
    QCOMPARE(QString::fromStdString(third.path()), shared());

    // An existing folder of the user's that others could enter is closed.
    QVERIFY(QDir().mkpath(dir_.filePath("open/temp")));
    QVERIFY(QFile::setPermissions(dir_.filePath("open/temp"), QFile::Permissions(0x7755)));
    QVERIFY(job::JobFolder::TakeShared(dir_.filePath("open/temp").toStdString(), &reason).held());
    QCOMPARE(ModeOf(dir_.filePath("open/temp")), mode_t(0700));
  }
  void aLinkIsNeverUsedAsAFolder() {
    const QString target = dir_.filePath("elsewhere");
    QVERIFY(QDir().mkpath(target));
    QVERIFY(QFile::setPermissions(target, QFile::Permissions(0x7755)));
    QVERIFY(QFile::link(target, shared()));
    std::string reason;
    QVERIFY(!job::JobFolder::TakeShared(shared().toStdString(), &reason).held());
    QCOMPARE(QString::fromStdString(reason), shared() + ": is a symbolic link");
    QCOMPARE(ModeOf(target), mode_t(0755));  // the link's target is left as it was
    QVERIFY(QDir(target).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    QCOMPARE(QString::fromStdString(job::PrivateFolderProblem(shared().toStdString())), shared() + ": is a symbolic link");
  }

  // A program killed during a job leaves its claims, its intermediate files
  // and its folder; the next program of the user clears them, tells which
  // job was cut short, and leaves what a living program holds and every
  // file that is not the dead job's own.
  void whatDeadProgramsLeftIsCleared() {
    const std::string source = dir_.filePath("media/clip.avi").toStdString();
    const QString media = dir_.filePath("media/");
    // A runner and a window die in the middle of their jobs (their folders
    // stay held until then: the objects are never destroyed).
    const pid_t runner = InDyingProgram([&] {
      std::string reason;
      auto* folder = new job::JobFolder(job::JobFolder::MakeForRunner(&reason));
      Write(QString::fromStdString(folder->path()) + "/video.264", "half a stream");
      auto* claims = new job::OutputClaims(folder->path());
      claims->BeginJob("111 clip.avi");
      claims->Claim(source, "_preview", &reason);
      claims->Claim(source, "_standard", &reason);
    });
    const pid_t window = InDyingProgram([&] {
      std::string reason;
      auto* folder = new job::JobFolder(job::JobFolder::TakeShared(shared().toStdString(), &reason));
      Write(QString::fromStdString(folder->path()) + "/Vid.avs", "a script");
      auto* claims = new job::OutputClaims(folder->path());
      claims->BeginJob("222 clip.avi");
      claims->Claim(source, "_deluxe", &reason);
    });
    // A runner that lives on, working on the same source.
    std::string reason;
    job::JobFolder living = job::JobFolder::MakeForRunner(&reason);
    QVERIFY(living.held());
    job::OutputClaims livingClaims(living.path());
    livingClaims.BeginJob("333 clip.avi");
    const QString livingClaim = QString::fromStdString(livingClaims.Claim(source, "_preview", &reason));
    QCOMPARE(livingClaim, media + "clip1_preview.mp4");
    // The living runner's folder is not taken for a dead one while it runs.
    QVERIFY(job::ClearDeadJobFolders(shared().toStdString()).empty());

    Kill(runner);
    Kill(window);
    // Meanwhile the user saved a file of their own under one dead claim.
    ReplaceFile(media + "clip_standard.mp4", "the user's");

    std::vector<std::string> interrupted = job::ClearDeadJobFolders(shared().toStdString());
    std::sort(interrupted.begin(), interrupted.end());
    QCOMPARE(interrupted, (std::vector<std::string>{"111 clip.avi", "222 clip.avi"}));
    QVERIFY(!QFileInfo::exists(media + "clip_preview.mp4"));
    QVERIFY(!QFileInfo::exists(media + "clip_deluxe.mp4"));
    QCOMPARE(Contents(media + "clip_standard.mp4"), QByteArray("the user's"));
    QVERIFY(QFileInfo(livingClaim).isFile());
    QCOMPARE(QDir(tmpdir_.path()).entryList({"kelvarion-job-*"}, QDir::Dirs),
             QStringList{QFileInfo(QString::fromStdString(living.path())).fileName()});
    QVERIFY(QFileInfo(shared()).isDir());
    QVERIFY(!QFileInfo::exists(shared() + "/Vid.avs"));
    QVERIFY(job::ClearDeadJobFolders(shared().toStdString()).empty());

    // The living runner ends: what it claimed and did not finish goes with
    // its folder.
    livingClaims.EndJob();
    living.Release();
    QVERIFY(!QFileInfo::exists(livingClaim));
    QVERIFY(QDir(tmpdir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
  }
};

QTEST_GUILESS_MAIN(OwnershipTest)
#include "ownership_test.moc"
