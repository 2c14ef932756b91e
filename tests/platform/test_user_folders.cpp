// The user's folders after the XDG rules, and private folders that are
// really private.
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/user_folders.h"

namespace {
mode_t ModeOf(const QString& path) {
  struct stat info {};
  ::lstat(path.toUtf8().constData(), &info);
  return info.st_mode & 07777;
}
}  // namespace

class UserFoldersTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;

 private slots:
  void variablesAndTheirDefaults() {
    const QByteArray saved[] = {qgetenv("HOME"), qgetenv("XDG_CONFIG_HOME"), qgetenv("XDG_CACHE_HOME"),
                                qgetenv("XDG_STATE_HOME")};
    qputenv("HOME", "/home/ann");
    qputenv("XDG_CONFIG_HOME", "/cfg/");
    qputenv("XDG_CACHE_HOME", "relative/cache");  // not absolute: ignored
    qunsetenv("XDG_STATE_HOME");
    QCOMPARE(platform::ConfigHome(), std::string("/cfg"));
    QCOMPARE(platform::CacheHome(), std::string("/home/ann/.cache"));
    QCOMPARE(platform::StateHome(), std::string("/home/ann/.local/state"));
    qputenv("XDG_STATE_HOME", "");
    QCOMPARE(platform::StateHome(), std::string("/home/ann/.local/state"));
    qputenv("HOME", saved[0]);
    qputenv("XDG_CONFIG_HOME", saved[1]);
    qputenv("XDG_CACHE_HOME", saved[2]);
    qputenv("XDG_STATE_HOME", saved[3]);
  }

  void makesMissingFoldersPrivate() {
    const QString deep = dir_.filePath("a/b/c");
    QVERIFY(platform::MakePrivateFolder(deep.toStdString()));
    QCOMPARE(ModeOf(deep), mode_t(0700));
    QCOMPARE(ModeOf(dir_.filePath("a")), mode_t(0700));
    // Again: nothing to do, still true.
    QVERIFY(platform::MakePrivateFolder(deep.toStdString() + "/"));
  }

  void tightensAnOpenFolderOfItsOwner() {
    const QString open = dir_.filePath("open");
    QVERIFY(::mkdir(open.toUtf8().constData(), 0777) == 0);
    ::chmod(open.toUtf8().constData(), 0777);
    QVERIFY(platform::MakePrivateFolder(open.toStdString()));
    QCOMPARE(ModeOf(open), mode_t(0700));
  }

  void refusesWhatIsNoPrivateFolder() {
    // A link planted where the folder should be is never followed.
    const QString target = dir_.filePath("elsewhere");
    QVERIFY(::mkdir(target.toUtf8().constData(), 0777) == 0);
    ::chmod(target.toUtf8().constData(), 0777);
    const QString link = dir_.filePath("link");
    QVERIFY(::symlink(target.toUtf8().constData(), link.toUtf8().constData()) == 0);
    QVERIFY(!platform::MakePrivateFolder(link.toStdString()));
    QCOMPARE(ModeOf(target), mode_t(0777));

    const QString file = dir_.filePath("file");
    QFile(file).open(QIODevice::WriteOnly);
    QVERIFY(!platform::MakePrivateFolder(file.toStdString()));
    QVERIFY(!platform::MakePrivateFolder(file.toStdString() + "/below"));
    QVERIFY(!platform::MakePrivateFolder("relative/folder"));
    QVERIFY(!platform::MakePrivateFolder(""));
  }

  // A folder that another user made in a shared place is not taken over.
  void refusesAFolderOfAnotherUser() {
    if (::getuid() != 0) QSKIP("needs root to give a folder away");
    const QString foreign = dir_.filePath("foreign");
    QVERIFY(::mkdir(foreign.toUtf8().constData(), 0777) == 0);
    QVERIFY(::chown(foreign.toUtf8().constData(), 65534, 65534) == 0);
    QVERIFY(!platform::MakePrivateFolder(foreign.toStdString()));
  }
};

QTEST_GUILESS_MAIN(UserFoldersTest)
#include "test_user_folders.moc"
