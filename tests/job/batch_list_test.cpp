// The batch list and its file: what goes in comes back byte for byte,
// damage costs only the rows it touches, a running row read back is
// interrupted, and an interrupted run's files go when it runs again.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>

#include "job/batch_list.h"
#include "platform/read_file.h"

namespace {

job::BatchRow Row(const std::string& source, job::BatchState state = job::BatchState::Waiting) {
  job::BatchRow row;
  row.source = source;
  row.state = state;
  return row;
}

std::vector<std::string> Sources(const job::BatchList& list) {
  std::vector<std::string> sources;
  for (const job::BatchRow& row : list.rows()) sources.push_back(row.source);
  return sources;
}

void Write(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

}  // namespace

class BatchListTest : public QObject {
  Q_OBJECT

 private slots:
  void everyFieldComesBackExactly() {
    job::BatchRow sequence = Row("/film/shot001.png", job::BatchState::Failed);
    sequence.fps = "29.97";
    sequence.first = 7;
    sequence.last = 1200;
    sequence.wavPath = "/film/sound track.wav";
    sequence.failedModes = {1, 3};
    sequence.reason = "Preview: video\nexit code 2\n\tindented";
    sequence.outputs = {"/film/shot001_standard.mp4"};
    job::BatchRow done = Row("/clips/a.avi", job::BatchState::Done);
    done.outputs = {"/clips/a_preview.mp4", "/clips/a_deluxe.mp4"};
    // Every byte a Linux path may hold that the file's own syntax uses.
    const std::string odd = std::string("/odd/line\nbreak\r\tand%41|bar ") + "\x01\x7f" + "\xd0\xaf\xff" + ".avi";
    job::BatchRow oddRow = Row(odd, job::BatchState::Interrupted);
    oddRow.outputs = {odd + "|_preview.mp4", "/x/%|%"};
    oddRow.wavPath = odd;
    const std::vector<job::BatchRow> rows = {sequence, done, oddRow, Row("/w/only.wav")};

    const std::string text = job::FormatBatch(rows);
    // One row a line, whatever the paths hold.
    QCOMPARE(std::count(text.begin(), text.end(), '\n'), 5);
    QCOMPARE(job::ParseBatch(text), rows);
  }

  void aRunningRowComesBackInterrupted() {
    job::BatchRow running = Row("/c/b.avi", job::BatchState::Running);
    running.outputs = {"/c/b_preview.mp4"};
    const auto rows = job::ParseBatch(job::FormatBatch({Row("/c/a.avi", job::BatchState::Done), running}));
    QCOMPARE(rows.size(), std::size_t{2});
    QCOMPARE(rows[0].state, job::BatchState::Done);
    QCOMPARE(rows[1].state, job::BatchState::Interrupted);
    QCOMPARE(rows[1].outputs, running.outputs);
  }

  void damageCostsOnlyTheRowsFromItOn_data() {
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<int>("rowsKept");
    QTest::newRow("torn last line") << QByteArray("waiting\t/c/c.avi\t\t0\t0") << 2;
    QTest::newRow("torn inside an escape") << QByteArray("waiting\t/c/c%4") << 2;
    QTest::newRow("unknown state") << QByteArray("paused\t/c/c.avi\t\t0\t0\t\t\t\t\n") << 2;
    QTest::newRow("too many fields") << QByteArray("waiting\t/c/c.avi\t\t0\t0\t\t\t\t\tx\n") << 2;
    QTest::newRow("bad escape") << QByteArray("waiting\t/c/%zz.avi\t\t0\t0\t\t\t\t\n") << 2;
    QTest::newRow("frame not a number") << QByteArray("waiting\t/c/c.png\t25\t1x\t9\t\t\t\t\n") << 2;
    QTest::newRow("mode out of range") << QByteArray("failed\t/c/c.avi\t\t0\t0\t\t\t4\t\n") << 2;
    QTest::newRow("empty source") << QByteArray("waiting\t\t\t0\t0\t\t\t\t\n") << 2;
    QTest::newRow("zero bytes") << QByteArray("\0\0\0\0\n", 5) << 2;
    QTest::newRow("a good row after a bad one") << QByteArray("x\nwaiting\t/c/d.avi\t\t0\t0\t\t\t\t\n") << 2;
    QTest::newRow("a good row") << QByteArray("waiting\t/c/d.avi\t\t0\t0\t\t\t\t\n") << 3;
  }
  void damageCostsOnlyTheRowsFromItOn() {
    QFETCH(QByteArray, tail);
    QFETCH(int, rowsKept);
    const std::string good = job::FormatBatch({Row("/c/a.avi"), Row("/c/b.avi")});
    const auto rows = job::ParseBatch(good + tail.toStdString());
    QCOMPARE(static_cast<int>(rows.size()), rowsKept);
    QCOMPARE(rows[0].source, std::string("/c/a.avi"));
    QCOMPARE(rows[1].source, std::string("/c/b.avi"));
  }

  void foreignFilesGiveAnEmptyList_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("header without its line end") << QByteArray("kelvarion batch 1");
    QTest::newRow("another version") << QByteArray("kelvarion batch 2\nwaiting\t/c/a.avi\t\t0\t0\t\t\t\t\n");
    QTest::newRow("an INI file") << QByteArray("[Meta]\nPath=/c/a.avi\n");
    QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
  }
  void foreignFilesGiveAnEmptyList() {
    QFETCH(QByteArray, text);
    QVERIFY(job::ParseBatch(text.toStdString()).empty());
  }

  void aTornFileLoadsItsCompleteRows() {
    QTemporaryDir dir;
    const QString path = dir.filePath("batch.list");
    const std::string whole = job::FormatBatch({Row("/c/a.avi", job::BatchState::Done), Row("/c/b.avi")});
    // Cut anywhere: never a crash, never a row that was not written whole.
    for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
      Write(path, QByteArray::fromStdString(whole.substr(0, cut)));
      job::BatchList list(path.toStdString());
      list.Load();
      const std::size_t complete = whole.substr(0, cut).find('\n') == std::string::npos
                                       ? 0
                                       : std::count(whole.begin(), whole.begin() + static_cast<long>(cut), '\n') - 1;
      QCOMPARE(static_cast<std::size_t>(list.size()), complete);
    }
    // A missing file is an empty list.
    job::BatchList none(dir.filePath("none.list").toStdString());
    none.Load();
    QCOMPARE(none.size(), 0);
  }

  void everyChangeIsOnDiskAtOnce() {
    QTemporaryDir dir;
    const std::string path = dir.filePath("batch.list").toStdString();
    job::BatchList list(path);
    list.Load();
    QCOMPARE(list.size(), 0);
    const auto onDisk = [&] {
      job::BatchList other(path);
      other.Load();
      return Sources(other);
    };
    list.Add(Row("/c/a.avi"));
    list.Add(Row("/c/b.avi"));
    list.Add(Row("/c/c.avi"));
    QVERIFY(list.saved());
    QCOMPARE(onDisk(), (std::vector<std::string>{"/c/a.avi", "/c/b.avi", "/c/c.avi"}));
    QVERIFY(list.MoveUp(2));
    QCOMPARE(onDisk(), (std::vector<std::string>{"/c/a.avi", "/c/c.avi", "/c/b.avi"}));
    QVERIFY(list.MoveDown(0));
    QCOMPARE(onDisk(), (std::vector<std::string>{"/c/c.avi", "/c/a.avi", "/c/b.avi"}));
    // The ends of the list do not move, and indexes outside it change nothing.
    QVERIFY(!list.MoveUp(0));
    QVERIFY(!list.MoveDown(2));
    QVERIFY(!list.MoveDown(-1));
    QVERIFY(!list.Remove(3));
    QVERIFY(!list.Remove(-1));
    QVERIFY(list.Remove(1));
    QCOMPARE(onDisk(), (std::vector<std::string>{"/c/c.avi", "/c/b.avi"}));
    QVERIFY(list.MarkRunning(0));
    QVERIFY(list.AddOutput(0, "/c/c_preview.mp4"));
    job::BatchList reread(path);
    reread.Load();
    QCOMPARE(reread.row(0).state, job::BatchState::Interrupted);
    QCOMPARE(reread.row(0).outputs, std::vector<std::string>{"/c/c_preview.mp4"});
    // Only the list file is in the folder: no temporary file stays behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"batch.list"});
  }

  void anUnwritableFolderLeavesTheOldFile() {
    QTemporaryDir dir;
    const QString folder = dir.filePath("settings");
    QVERIFY(QDir().mkdir(folder));
    const std::string path = (folder + "/batch.list").toStdString();
    job::BatchList list(path);
    list.Add(Row("/c/a.avi"));
    QVERIFY(list.saved());
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    if (QFileInfo(folder).isWritable()) QSKIP("running as a user who may write anywhere");
    list.Add(Row("/c/b.avi"));
    QVERIFY(!list.saved());
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    job::BatchList reread(path);
    reread.Load();
    QCOMPARE(Sources(reread), std::vector<std::string>{"/c/a.avi"});
  }

  void aWriteThatCannotHappenIsReported() {
    QTemporaryDir dir;
    const QString folder = dir.filePath("gone");
    QVERIFY(QDir().mkdir(folder));
    job::BatchList list((folder + "/batch.list").toStdString());
    list.Add(Row("/c/a.avi"));
    QVERIFY(list.saved());
    QVERIFY(QDir(folder).removeRecursively());
    list.Add(Row("/c/b.avi"));
    QVERIFY(!list.saved());
    // The list itself goes on in memory.
    QCOMPARE(Sources(list), (std::vector<std::string>{"/c/a.avi", "/c/b.avi"}));
  }

  void theNextRowToRunSkipsFinishedOnes() {
    job::BatchList list;
    QCOMPARE(list.NextToRun(), -1);
    list.Add(Row("/c/a.avi", job::BatchState::Done));
    list.Add(Row("/c/b.avi", job::BatchState::Failed));
    QCOMPARE(list.NextToRun(), -1);
    QCOMPARE(list.PendingCount(), 0);
    list.Add(Row("/c/c.avi", job::BatchState::Interrupted));
    list.Add(Row("/c/d.avi"));
    QCOMPARE(list.NextToRun(), 2);
    QCOMPARE(list.PendingCount(), 2);
    QVERIFY(list.MarkDone(2));
    QCOMPARE(list.NextToRun(), 3);
  }

  // A row runs again after an interruption without the modes whose outputs
  // the interrupted run finished; only a finished file under one of the
  // names of the row's own source counts, whatever a damaged or edited list
  // names. And nothing the list does removes a file: a stopped or removed
  // row leaves every output, finished or not, to the user and to the job
  // that claimed it.
  void finishedOutputsOfARowAndFilesLeftAlone() {
    QTemporaryDir dir;
    const auto file = [&](const QString& name, const char* content) {
      std::ofstream(dir.filePath(name).toStdString()) << content;
      return dir.filePath(name).toStdString();
    };
    const std::string preview = file("b1_preview.mp4", "finished");
    const std::string empty = file("b_standard.mp4", "");
    const std::string document = file("thesis.odt", "the user's");
    const std::string otherSource = file("a_deluxe.mp4", "finished");
    job::BatchRow row = Row(dir.filePath("b.avi").toStdString(), job::BatchState::Interrupted);
    row.outputs = {preview, empty, document, otherSource, dir.filePath("b_deluxe.mp4").toStdString()};
    QVERIFY(job::HasFinishedOutput(row, "_preview"));
    QVERIFY(!job::HasFinishedOutput(row, "_standard"));  // empty: never finished
    QVERIFY(!job::HasFinishedOutput(row, "_deluxe"));    // one of another source, one gone

    job::BatchList list;
    list.Add(row);
    QVERIFY(list.MarkRunning(0));
    QVERIFY(list.MarkStopped(0));
    QCOMPARE(list.row(0).state, job::BatchState::Interrupted);
    QCOMPARE(list.row(0).outputs, row.outputs);
    QVERIFY(list.Remove(0));
    for (const std::string& kept : {preview, empty, document, otherSource}) {
      QVERIFY2(QFileInfo::exists(QString::fromStdString(kept)), kept.c_str());
    }
  }
};

QTEST_GUILESS_MAIN(BatchListTest)
#include "batch_list_test.moc"
