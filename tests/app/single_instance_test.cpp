// One instance at a time, with the real program started headless.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

class SingleInstanceTest : public QObject {
  Q_OBJECT

  QTemporaryDir runtime_;

  QProcess* Start(const QString& messageLog, const QStringList& arguments = {}) {
    auto* process = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime_.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("KELVARION_MESSAGE_LOG", messageLog);
    process->setProcessEnvironment(env);
    process->start(qEnvironmentVariable("KELVARION_BUILD_DIR") + "/kelvarion", arguments);
    return process;
  }

  // True while some process holds the lock file.
  bool LockHeld() const {
    const int fd = ::open((runtime_.path() + "/Kelvarion3").toUtf8().constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
  }

 private slots:
  void secondStartIsRefusedUntilTheFirstDies() {
    const QString log = runtime_.filePath("messages.txt");
    QProcess* first = Start(log);
    QVERIFY(first->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(LockHeld(), 10000);

    // A second start with a file is refused all the same.
    QFile clip(runtime_.filePath("clip.avi"));
    QVERIFY(clip.open(QIODevice::WriteOnly));
    clip.close();
    QProcess* second = Start(log, {"debug", clip.fileName()});
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitCode(), 0);
    QFile messages(log);
    QVERIFY(messages.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(messages.readAll()), QString("Critical\tError\t-\tПриложение уже запущено.\n"));
    QCOMPARE(first->state(), QProcess::Running);

    first->kill();  // SIGKILL: the lock must not outlive the process
    QVERIFY(first->waitForFinished(5000));
    QProcess* third = Start(log);
    QTRY_VERIFY_WITH_TIMEOUT(LockHeld(), 10000);
    QCOMPARE(third->state(), QProcess::Running);
    third->kill();
    QVERIFY(third->waitForFinished(5000));
  }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "single_instance_test.moc"
