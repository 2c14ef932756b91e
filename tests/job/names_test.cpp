// Output names beside the source and the clean-up of the temporary folder.
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>
#include <vector>

#include "job/names.h"
#include "job/temp_files.h"

namespace {
void Touch(const QString& path) { std::ofstream(path.toStdString()) << "x"; }
}  // namespace

class NamesTest : public QObject {
  Q_OBJECT

 private slots:
  void incNameNumbersTakenNames() {
    QTemporaryDir dir;
    const std::string source = dir.filePath("clip.avi").toStdString();
    QCOMPARE(job::IncName(source, "_preview"), dir.filePath("clip_preview.mp4").toStdString());
    Touch(dir.filePath("clip_preview.mp4"));
    QCOMPARE(job::IncName(source, "_preview"), dir.filePath("clip1_preview.mp4").toStdString());
    Touch(dir.filePath("clip1_preview.mp4"));
    QCOMPARE(job::IncName(source, "_preview"), dir.filePath("clip2_preview.mp4").toStdString());
  }

  void aFolderIsNoTakenName() {
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("clip_preview.mp4");
    QCOMPARE(job::IncName(dir.filePath("clip.avi").toStdString(), "_preview"),
             dir.filePath("clip_preview.mp4").toStdString());
  }

  // The names a job may count as an output of a mode: base, number, suffix.
  void outputNamesOfASource_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("isOne");
    QTest::newRow("plain") << "/c/clip.avi" << "/c/clip_preview.mp4" << true;
    QTest::newRow("numbered") << "/c/clip.avi" << "/c/clip12_preview.mp4" << true;
    QTest::newRow("sound") << "/c/song.WAV" << "/c/song3_preview.m4a" << true;
    QTest::newRow("other mode") << "/c/clip.avi" << "/c/clip_standard.mp4" << false;
    QTest::newRow("leading zero") << "/c/clip.avi" << "/c/clip01_preview.mp4" << false;
    QTest::newRow("other source") << "/c/clip.avi" << "/c/clap_preview.mp4" << false;
    QTest::newRow("other folder") << "/c/clip.avi" << "/home/ann/clip_preview.mp4" << false;
    QTest::newRow("a document") << "/c/clip.avi" << "/home/ann/thesis.odt" << false;
    QTest::newRow("wrong kind") << "/c/clip.avi" << "/c/clip_preview.m4a" << false;
    QTest::newRow("more than a number") << "/c/clip.avi" << "/c/clip/../x_preview.mp4" << false;
  }
  void outputNamesOfASource() {
    QFETCH(QString, source);
    QFETCH(QString, path);
    QFETCH(bool, isOne);
    QCOMPARE(job::IsOutputNameOf(source.toStdString(), "_preview", path.toStdString()), isOne);
  }

  void wavSourcesGiveSoundFiles() {
    QCOMPARE(job::IncName("/nowhere/music/song.WAV", "_standard"), std::string("/nowhere/music/song_standard.m4a"));
    QVERIFY(job::IsWavSource("/a/b.Wav"));
    QVERIFY(!job::IsWavSource("/a/b.avi"));
  }

  void extensionsAndFolders() {
    QCOMPARE(job::WithoutExtension("/ver.2/clip.avs"), std::string("/ver.2/clip"));
    QCOMPARE(job::WithoutExtension("/ver.2/clip"), std::string("/ver.2/clip"));
    QCOMPARE(job::SourceKind("/x/movie.xavi"), std::string("avi"));
    QCOMPARE(job::SideCarAudioPath("/clips/clip.avs"), std::string("/clips/clip.m4a"));
    QCOMPARE(job::FolderPart("/clips/clip.avs"), std::string("/clips/"));
    QCOMPARE(job::FileNamePart("/clips/clip.avs"), std::string("clip.avs"));
  }

  void tempFilesGoInOrder() {
    QTemporaryDir dir;
    const job::ToolPaths paths = job::ToolPaths::ForProgramDir(dir.path().toStdString() + "/");
    QDir().mkpath(QString::fromStdString(paths.tempDir));
    const std::vector<std::string> files = job::TempFiles(paths, paths.audioStream);
    QCOMPARE(files.size(), std::size_t(9));
    QCOMPARE(files[0], paths.audioStream);
    QCOMPARE(files[5], paths.debugLog);
    QCOMPARE(files[7], paths.videoStream);
    QCOMPARE(files[8], paths.temp("stats.log.mbtree.temp"));
    for (const std::string& f : files) Touch(QString::fromStdString(f));
    Touch(QString::fromStdString(paths.temp("keep.txt")));
    job::DeleteTempFiles(paths, paths.audioStream);
    QCOMPARE(QDir(QString::fromStdString(paths.tempDir)).entryList(QDir::Files), QStringList{"keep.txt"});
    // Nothing to delete is no error either.
    job::DeleteTempFiles(paths, paths.audioStream);
    QVERIFY(QDir(QString::fromStdString(paths.tempDir)).exists());
  }

  void namesTheToolsCannotBeGiven() {
    QVERIFY(job::CanCarryToTools("/home/u/\"quoted\" 'clip' $x `y` %d.avi"));
    QVERIFY(job::CanCarryToTools("/home/u/\"\"clip.avi"));
    QVERIFY(!job::CanCarryToTools("/home/u/x\ny.wav"));
    QVERIFY(!job::CanCarryToTools("/home/u/x\ry.wav"));
    QVERIFY(!job::CanCarryToTools("/home/u/a\"\"\"b.avi"));
  }
};

QTEST_APPLESS_MAIN(NamesTest)
#include "names_test.moc"
