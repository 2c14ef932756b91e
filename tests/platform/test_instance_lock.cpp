#include <QtTest>

#include <signal.h>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/cmdline.h"
#include "platform/instance_lock.h"
#include "platform/process.h"
#include "platform/system_info.h"
#include "tests/proc/child_process_probe.h"

using platform::InstanceLock;

namespace {

const std::string kName = "KelvarionLockTest";

// Runs `body` in a forked child and returns its exit code. The child only
// touches the lock, so forking this single-threaded test is safe.
int InForkedChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

class InstanceLockTest : public QObject {
  Q_OBJECT

  QTemporaryDir runtimeDir_;
  QTemporaryDir cacheHome_;

 private slots:
  void init() {
    QVERIFY(runtimeDir_.isValid() && cacheHome_.isValid());
    qputenv("XDG_RUNTIME_DIR", runtimeDir_.path().toLocal8Bit());
    qputenv("XDG_CACHE_HOME", cacheHome_.path().toLocal8Bit());
  }

  // The lock lives in the user's own runtime folder, and only there: any
  // other, or none, moves it to a private folder of the user's cache, never
  // to a folder that other users share.
  void lockFileLiesInAFolderOfTheUsersOwn_data() {
    QTest::addColumn<QByteArray>("runtimeDir");
    QTest::addColumn<bool>("usesIt");
    QTest::newRow("private runtime folder") << QByteArray() << true;
    QTest::newRow("unset") << QByteArray("-") << false;
    QTest::newRow("empty") << QByteArray("") << false;
    QTest::newRow("missing") << QByteArray("/nonexistent/run") << false;
    QTest::newRow("shared temporary folder") << QByteArray("/tmp") << false;
    QTest::newRow("relative") << QByteArray("run") << false;
  }
  void lockFileLiesInAFolderOfTheUsersOwn() {
    QFETCH(QByteArray, runtimeDir);
    QFETCH(bool, usesIt);
    if (runtimeDir == "-") {
      qunsetenv("XDG_RUNTIME_DIR");
    } else if (!runtimeDir.isNull()) {
      qputenv("XDG_RUNTIME_DIR", runtimeDir);
    }
    const std::string expected = usesIt ? runtimeDir_.path().toStdString() + "/Kelvarion3"
                                        : cacheHome_.path().toStdString() + "/kelvarion/Kelvarion3";
    QCOMPARE(InstanceLock::LockFilePath("Kelvarion3"), expected);
    if (!usesIt) QCOMPARE(QFileInfo(cacheHome_.path() + "/kelvarion").permissions() & 0x0077, QFile::Permissions());
  }

  void runtimeFolderOpenToOthersIsNotUsed() {
    QVERIFY(QFile::setPermissions(runtimeDir_.path(), QFile::Permissions(0x7755)));
    QCOMPARE(InstanceLock::LockFilePath("Kelvarion3"), cacheHome_.path().toStdString() + "/kelvarion/Kelvarion3");
    QVERIFY(QFile::setPermissions(runtimeDir_.path(), QFile::Permissions(0x7700)));
    const QString link = cacheHome_.path() + "/run-link";
    QVERIFY(QFile::link(runtimeDir_.path(), link));
    qputenv("XDG_RUNTIME_DIR", link.toLocal8Bit());
    QCOMPARE(InstanceLock::LockFilePath("Kelvarion3"), cacheHome_.path().toStdString() + "/kelvarion/Kelvarion3");
  }

  // A link in the lock file's place is never followed: no file appears at
  // its target, and the lock counts as free rather than shutting the user out.
  void linkInTheLockFilesPlaceIsNotFollowed() {
    const QString target = cacheHome_.path() + "/chosen-by-someone";
    const QString planted = runtimeDir_.path() + "/KelvarionLinkTest";
    QVERIFY(QFile::link(target, planted));
    InstanceLock lock;
    QVERIFY(lock.Acquire("KelvarionLinkTest"));
    QVERIFY(!QFileInfo::exists(target));
    QVERIFY(QFile::remove(planted));
  }

  void secondHolderIsRefused() {
    InstanceLock first;
    QVERIFY(first.Acquire(kName));
    QVERIFY(first.Acquire(kName));  // asking again keeps it
    InstanceLock second;
    QVERIFY(!second.Acquire(kName));
    QCOMPARE(InForkedChild([] { return InstanceLock().Acquire(kName) ? 1 : 0; }), 0);
  }

  void lockIsFreedWhenItsObjectGoes() {
    { InstanceLock held; QVERIFY(held.Acquire(kName)); }
    InstanceLock next;
    QVERIFY(next.Acquire(kName));
  }

  void killedHolderFreesTheLock() {
    int ready[2];
    QVERIFY(::pipe(ready) == 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
      InstanceLock lock;
      const char acquired = lock.Acquire(kName) ? 'y' : 'n';
      [[maybe_unused]] auto written = ::write(ready[1], &acquired, 1);
      ::pause();
      ::_exit(0);
    }
    ::close(ready[1]);
    char acquired = 0;
    QCOMPARE(::read(ready[0], &acquired, 1), ssize_t{1});
    ::close(ready[0]);
    QCOMPARE(acquired, 'y');
    QVERIFY(!InstanceLock().Acquire(kName));

    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    InstanceLock next;
    QVERIFY(next.Acquire(kName));
  }

  void startedToolsDoNotInheritTheLock() {
    const QTemporaryDir toolDir;
    const std::string tool = test_support::InstallFakeTool(toolDir, "kvrlockkeeper");
    qputenv("FAKE_TOOL_KVRLOCKKEEPER", "sleep_ms=5000");
    std::optional<platform::ChildProcess> child;
    {
      InstanceLock held;
      QVERIFY(held.Acquire(kName));
      child = platform::ChildProcess::Start(platform::Quote(tool), platform::ChildOutput::Discard);
      QVERIFY(child);
    }
    InstanceLock next;
    QVERIFY(next.Acquire(kName));
  }

  void unopenableLockFileCountsAsFree() {
    InstanceLock lock;
    QVERIFY(lock.Acquire("no/such/folder/lock"));
  }
};

class SystemInfoTest : public QObject {
  Q_OBJECT

 private slots:
  void executableIsThisProgram() {
    QCOMPARE(QString::fromStdString(platform::ExecutablePath()), QCoreApplication::applicationFilePath());
    QCOMPARE(QString::fromStdString(platform::ExecutableDir()), QCoreApplication::applicationDirPath() + "/");
  }

  void machineTypesByWordSize_data() {
    QTest::addColumn<QString>("machine");
    QTest::addColumn<bool>("is64");
    for (const char* m : {"x86_64", "aarch64", "arm64", "ppc64", "ppc64le", "s390x", "riscv64", "mips64",
                          "sparc64", "loongarch64", "ia64", "alpha"}) {
      QTest::newRow(m) << m << true;
    }
    for (const char* m : {"i386", "i686", "armv7l", "armv8l", "ppc", "s390", "mips", "riscv32", ""}) {
      QTest::newRow(m) << m << false;
    }
  }
  void machineTypesByWordSize() {
    QFETCH(QString, machine);
    QFETCH(bool, is64);
    QCOMPARE(platform::IsMachine64Bit(machine.toStdString()), is64);
  }

  void thisMachineIsJudgedByItsKernel() {
    QCOMPARE(platform::Is64BitSystem(), QSysInfo::currentCpuArchitecture().contains("64"));
  }
};

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  InstanceLockTest lockTest;
  SystemInfoTest systemInfoTest;
  return QTest::qExec(&lockTest, argc, argv) | QTest::qExec(&systemInfoTest, argc, argv);
}

#include "test_instance_lock.moc"
