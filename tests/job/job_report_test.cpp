// The details of a failed mode in both languages, and the job log.
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

#include "desktop/ui_texts.h"
#include "job/job_report.h"

namespace {

proc::ToolOutcome Ended(int code, std::vector<std::string> lines) {
  proc::ToolOutcome outcome;
  outcome.kind = proc::ToolOutcome::Kind::Ended;
  outcome.status.exited = true;
  outcome.status.code = code;
  outcome.command = "\"/usr/lib/kelvarion/tools/x264\" --pass 1 -o \"/tmp/v.264\"";
  outcome.lastLines = std::move(lines);
  return outcome;
}

QString ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The log without its time stamps and the names of their jobs, which must
// be `job` ("<process> <source's file name>").
QStringList LogLines(const QString& path, const QString& job = {}) {
  QStringList lines = ReadAll(path).split('\n', Qt::SkipEmptyParts);
  for (QString& line : lines) {
    const QRegularExpression stamp("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d \\[([^]]*)\\] ");
    const QRegularExpressionMatch match = stamp.match(line);
    if (!match.hasMatch()) qFatal("unstamped log line: %s", qPrintable(line));
    if (!job.isEmpty() && match.captured(1) != job) qFatal("a line of another job: %s", qPrintable(line));
    line.remove(stamp);
  }
  return lines;
}

}  // namespace

class JobReportTest : public QObject {
  Q_OBJECT

 private slots:
  void failureDetailsInBothLanguages() {
    const proc::ToolOutcome outcome = Ended(3, {"x264 [error]: could not open input file", "aborted"});
    QCOMPARE(job::DescribeFailure(desktop::EnglishTexts(), "preview", "Video preview pass 1 of 2", outcome, ""),
             QString("preview\n"
                     "Stage: Video preview pass 1 of 2\n"
                     "Command: \"/usr/lib/kelvarion/tools/x264\" --pass 1 -o \"/tmp/v.264\"\n"
                     "Exit code: 3\n"
                     "Last lines of output:\n"
                     "  x264 [error]: could not open input file\n"
                     "  aborted"));
    QCOMPARE(job::DescribeFailure(desktop::RussianTexts(), "превью", "Видео превью проход 1 из 2", outcome, ""),
             QString("превью\n"
                     "Этап: Видео превью проход 1 из 2\n"
                     "Команда: \"/usr/lib/kelvarion/tools/x264\" --pass 1 -o \"/tmp/v.264\"\n"
                     "Код завершения: 3\n"
                     "Последние строки вывода:\n"
                     "  x264 [error]: could not open input file\n"
                     "  aborted"));
  }

  void howTheToolEnded() {
    const desktop::UiTexts& en = desktop::EnglishTexts();
    proc::ToolOutcome killed = Ended(0, {});
    killed.status.exited = false;
    killed.status.signal = 9;
    QString text = job::DescribeFailure(en, "deluxe", "Video deluxe", killed, "");
    QVERIFY(text.contains("\nEnded by signal 9\nLast lines of output:\n  (no output)"));

    proc::ToolOutcome missing;
    missing.kind = proc::ToolOutcome::Kind::NotStarted;
    missing.command = "\"/opt/kv/tools/MP4Box\" -add x";
    text = job::DescribeFailure(en, "standard", "Muxing standard", missing, "");
    QCOMPARE(text, QString("standard\nStage: Muxing standard\nCommand: \"/opt/kv/tools/MP4Box\" -add x\n"
                           "The program could not be started.\n  /opt/kv/tools/MP4Box: No such file or directory"));

    // A muxer that ended well but wrote nothing.
    text = job::DescribeFailure(desktop::RussianTexts(), "стандартная", "Муксинг стандартная", Ended(0, {"done"}),
                                "/clips/a_standard.mp4");
    QVERIFY(text.contains("\nКод завершения: 0\nФайл не создан: /clips/a_standard.mp4\nПоследние строки вывода:\n  done"));
  }

  // The one line a batch row shows of a failure: the tool's own error line
  // where it gave one, else its last line, else how it ended.
  void toolErrorLine_data() {
    QTest::addColumn<int>("kind");  // proc::ToolOutcome::Kind
    QTest::addColumn<int>("code");  // exit code; -1: killed by signal 9
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("shown");
    using Kind = proc::ToolOutcome::Kind;
    QTest::newRow("an error line before others")
        << int(Kind::Ended) << 1 << QStringList{"Importing", "Error: bad data in the stream ", "Cleaning up"}
        << "Error: bad data in the stream";
    QTest::newRow("the last error line") << int(Kind::Ended) << 1 << QStringList{"x264 [error]: one", "x264 [error]: two"}
                                         << "x264 [error]: two";
    QTest::newRow("Russian") << int(Kind::Ended) << 1 << QStringList{"Ошибка чтения файла", "конец"}
                             << "Ошибка чтения файла";
    QTest::newRow("no error said: the last line") << int(Kind::Ended) << 3 << QStringList{"first", "  last  "} << "last";
    QTest::newRow("silent") << int(Kind::Ended) << 3 << QStringList{} << "Exit code: 3";
    QTest::newRow("killed") << int(Kind::Ended) << -1 << QStringList{} << "Ended by signal 9";
    QTest::newRow("not started") << int(Kind::NotStarted) << 0 << QStringList{}
                                 << "/opt/kv/tools/MP4Box: No such file or directory";
    QTest::newRow("nothing run") << int(Kind::NotRun) << 0 << QStringList{} << "";
  }
  void toolErrorLine() {
    QFETCH(int, kind);
    QFETCH(int, code);
    QFETCH(QStringList, lines);
    QFETCH(QString, shown);
    proc::ToolOutcome outcome;
    outcome.kind = static_cast<proc::ToolOutcome::Kind>(kind);
    outcome.command = "\"/opt/kv/tools/MP4Box\" -add x";
    outcome.status.exited = code >= 0;
    outcome.status.code = code;
    outcome.status.signal = code < 0 ? 9 : 0;
    for (const QString& line : lines) outcome.lastLines.push_back(line.toStdString());
    QCOMPARE(job::ToolErrorLine(desktop::EnglishTexts(), outcome), shown);
  }

  void aJobIsLogged() {
    QTemporaryDir dir;
    const QString log = dir.filePath("state/kelvarion/kelvarion.log");
    job::JobReport report(desktop::EnglishTexts(), log.toStdString());
    report.JobStarted("/clips/clip.avi", {"preview", "deluxe"});
    report.StageStarted(1);
    report.StageStarted(1);
    report.ModeDone("preview", "/clips/clip_preview.mp4");
    report.StageStarted(3);
    report.ModeFailed("deluxe", "deluxe\nStage: Video deluxe");
    report.JobEnded();
    QCOMPARE(report.details(), QString("deluxe\nStage: Video deluxe"));
    const QString self = QString::number(::getpid());
    QCOMPARE(report.jobName(), self + " clip.avi");
    QCOMPARE(LogLines(log, self + " clip.avi"), (QStringList{"Job: /clips/clip.avi", "Modes: preview, deluxe",
                                         "preview: done in 0 s: /clips/clip_preview.mp4",
                                         "deluxe: failed after 0 s", "deluxe", "Stage: Video deluxe",
                                         "Job finished in 0 s"}));
    QCOMPARE(QFileInfo(dir.filePath("state/kelvarion")).permissions() & QFileDevice::ReadOther, QFileDevice::Permissions());

    // The next job starts with no failures of its own; a halt is logged too.
    report.JobStarted("/clips/b.wav", {"standard"});
    QVERIFY(report.details().isEmpty());
    report.ModeFailed("standard", "a");
    report.ModeFailed("standard", "b");
    QCOMPARE(report.details(), QString("a\n\nb"));
    report.JobHalted();
    QCOMPARE(LogLines(log).last(), QString("Job halted after 0 s"));

    // A job that never began, one stopped by a signal, and one whose program
    // died under it, told by the next program under the dead job's name.
    report.JobStarted("/clips/c.avi", {"preview"});
    report.JobNotStarted("/clips: read-only file system");
    report.JobStarted("/clips/d.avi", {"preview"});
    report.JobStopped();
    job::JobReport::JobInterrupted(desktop::EnglishTexts(), log.toStdString(), "4242 e.avi");
    QCOMPARE(LogLines(log).mid(LogLines(log).size() - 7),
             (QStringList{"Job: /clips/c.avi", "Modes: preview", "Job not started: /clips: read-only file system",
                          "Job: /clips/d.avi", "Modes: preview", "Job stopped by a signal after 0 s",
                          "Job interrupted: its program ended before finishing it"}));
    QVERIFY(ReadAll(log).endsWith("[4242 e.avi] Job interrupted: its program ended before finishing it\n"));
  }

  void theLogMovesAsideAtOneMegabyte() {
    QTemporaryDir dir;
    const QString log = dir.filePath("kelvarion.log");
    job::JobLog jobLog(log.toStdString());
    QFile big(log);
    QVERIFY(big.open(QIODevice::WriteOnly));
    big.write(QByteArray(job::JobLog::kRotateAt - 1, 'o'));
    big.close();
    jobLog.Append("1 a.avi", "still fits");
    QVERIFY(!QFile::exists(log + ".1"));
    jobLog.Append("1 a.avi", "moves the full log aside");
    QVERIFY(QFileInfo(log + ".1").size() > job::JobLog::kRotateAt);
    QVERIFY(ReadAll(log + ".1").endsWith("still fits\n"));
    QCOMPARE(LogLines(log), QStringList{"moves the full log aside"});

    // A second rotation replaces the older file.
    QVERIFY(big.open(QIODevice::Append));
    big.write(QByteArray(job::JobLog::kRotateAt, 'p'));
    big.close();
    jobLog.Append("1 a.avi", "third");
    QVERIFY(ReadAll(log + ".1").contains("moves the full log aside"));
    QVERIFY(!ReadAll(log + ".1").contains("still fits"));
    QCOMPARE(LogLines(log), QStringList{"third"});
  }
};

QTEST_GUILESS_MAIN(JobReportTest)
#include "job_report_test.moc"
