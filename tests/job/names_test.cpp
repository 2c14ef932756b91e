// Output names beside the source and the clean-up of the temporary folder.
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>
#include <set>
#include <thread>
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

  // Programs running at once on one source each get a name of their own,
  // and each name exists, empty, from the moment it is handed out.
  void claimedNamesAreNeverShared() {
    QTemporaryDir dir;
    const std::string source = dir.filePath("clip.avi").toStdString();
    QDir(dir.path()).mkdir("clip_preview.mp4");  // a folder cannot become an output
    std::vector<std::string> names(8);
    std::vector<std::thread> claimers;
    for (std::string& name : names) claimers.emplace_back([&] { name = job::ClaimOutputName(source, "_preview"); });
    for (std::thread& claimer : claimers) claimer.join();
    const std::set<std::string> distinct(names.begin(), names.end());
    QCOMPARE(distinct.size(), names.size());
    for (int n = 1; n <= 8; ++n) {
      const QFileInfo claimed(dir.filePath(QString("clip%1_preview.mp4").arg(n)));
      QVERIFY(claimed.isFile());
      QCOMPARE(claimed.size(), qint64(0));
    }
    QCOMPARE(job::ClaimOutputName(dir.filePath("song.wav").toStdString(), "_standard"),
             dir.filePath("song_standard.m4a").toStdString());
    QCOMPARE(job::ClaimOutputName(dir.filePath("no/such/folder/clip.avi").toStdString(), "_preview"), std::string());
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
