// Showing a file in the file manager over a session bus of the test's own:
// a file manager that answers, one that never answers, and none at all.
#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "desktop/desktop_open.h"
#include "desktop/reveal.h"
#include "tests/support/private_bus.h"

namespace {

PrivateBus* bus = nullptr;

QString Touch(const QTemporaryDir& dir, const QString& name) {
  QFile file(dir.filePath(name));
  file.open(QIODevice::WriteOnly);
  return file.fileName();
}

}  // namespace

class RevealTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QStringList opened_;

 private slots:
  void init() {
    opened_.clear();
    desktop::SetUrlOpener([this](const QString& path) { opened_ << path; });
  }
  void cleanup() { desktop::SetUrlOpener({}); }

  void fileManagerShowsTheFileSelected() {
    FileManagerStub fileManager(bus->Connect("fm-answering"));
    const QString clip = Touch(dir_, "my clip #1.mp4");
    QVERIFY(desktop::RevealInFileManager(clip.toStdString()));
    QTRY_COMPARE(fileManager.shown, QStringList{QUrl::fromLocalFile(clip).toString(QUrl::FullyEncoded)});
    QVERIFY(fileManager.shown.first().endsWith("/my%20clip%20%231.mp4"));
    // The answer came: no folder is opened besides.
    QTest::qWait(200);
    QCOMPARE(opened_, QStringList());
  }

  // The window never waits for the file manager: while the call is
  // unanswered the event loop runs, and when the time is up the folder opens.
  void silentFileManagerFallsBackToTheFolder() {
    FileManagerStub fileManager(bus->Connect("fm-silent"));
    fileManager.silent = true;
    const QString clip = Touch(dir_, "silent.mp4");
    bool loopRan = false;
    QTimer::singleShot(0, [&] { loopRan = true; });
    QVERIFY(desktop::RevealInFileManager(clip.toStdString(), 500));
    QTRY_COMPARE(fileManager.shown.size(), 1);
    QVERIFY(loopRan);
    QCOMPARE(opened_, QStringList());
    QTRY_COMPARE(opened_, QStringList{dir_.path()});
  }

  void withoutFileManagerTheFolderOpens() {
    const QString clip = Touch(dir_, "alone.mp4");
    QVERIFY(desktop::RevealInFileManager(clip.toStdString()));
    QTRY_COMPARE(opened_, QStringList{dir_.path()});
  }

  void nothingToShowAsksNothing() {
    FileManagerStub fileManager(bus->Connect("fm-idle"));
    QVERIFY(!desktop::RevealInFileManager(""));
    QVERIFY(!desktop::RevealInFileManager(dir_.filePath("gone.mp4").toStdString()));
    QVERIFY(!desktop::RevealInFileManager(dir_.path().toStdString()));
    QTest::qWait(200);
    QCOMPARE(fileManager.shown, QStringList());
    QCOMPARE(opened_, QStringList());
  }
};

int main(int argc, char** argv) { return RunOnPrivateBus<RevealTest>(argc, argv, bus); }
#include "reveal_test.moc"
