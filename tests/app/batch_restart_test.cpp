// A batch that the real program runs on a virtual display of its own,
// killed with SIGKILL in the middle of a source, as a crash or a power cut
// ends it, and started again: the rows done stay done, the killed source
// keeps what it finished and makes the rest again, and nothing the killed
// program left unfinished stays.
#include <QtTest>

#include <fstream>

#include "job/batch_list.h"
#include "platform/read_file.h"
#include "tests/app/live_program.h"
#include "tests/app/tool_folder.h"

namespace {

}  // namespace

class BatchRestartTest : public QObject {
  Q_OBJECT

  VirtualDisplay display_;

  static std::vector<job::BatchRow> Rows(const ToolFolder& folder) {
    const auto text = platform::ReadWholeFile(folder.programDir() + "kelvarion.batch");
    return text ? job::ParseBatch(*text) : std::vector<job::BatchRow>{};
  }
  static std::vector<job::BatchState> States(const ToolFolder& folder) {
    std::vector<job::BatchState> states;
    for (const job::BatchRow& row : Rows(folder)) states.push_back(row.state);
    return states;
  }

  // Starts the program, which shows the unfinished batch by itself, and
  // presses the batch's Start, its default button.
  static void StartBatch(LiveProgram& program) {
    QVERIFY(program.Start());
    const QString batch = program.WaitForWindow("Batch", 20000);
    QVERIFY(!batch.isEmpty());
    QVERIFY(program.Key(batch, "Return"));
  }

 private slots:
  void initTestCase() { QVERIFY(display_.Start()); }

  void aKilledBatchGoesOnWhereItStopped() {
    ToolFolder folder;
    QVERIFY(LiveProgram::CopyProgramInto(folder.path("")));
    std::vector<job::BatchRow> rows;
    for (const char* name : {"one.avi", "two.avi", "three.avi"}) {
      job::BatchRow row;
      row.source = folder.touch(name).toStdString();
      rows.push_back(row);
    }
    std::ofstream(folder.programDir() + "kelvarion.batch") << job::FormatBatch(rows);
    std::ofstream(folder.programDir() + "kelvarion.ini") << "[Flags]\nPrev=1\nStd=1\n";

    // The tools' calls that name a text, and the probes (one a source's start).
    const auto calls = [&](const QString& text) {
      int count = 0;
      for (const QStringList& call : folder.invocations()) count += call.join(' ').contains(text);
      return count;
    };
    using S = job::BatchState;
    {
      LiveProgram program(display_, folder.path(""));
      for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LC_CTYPE"}) program.SetEnvironment(name, "");
      program.SetEnvironment("LANG", "en_US.UTF-8");
      program.SetEnvironment("FAKE_TOOL_ALL", "progress=20;step_ms=25");
      StartBatch(program);
      // The second source's Preview is made and its Standard's encoder runs:
      // the kill leaves a finished output of a source that is not done.
      QVERIFY(QTest::qWaitFor(
          [&] {
            const std::vector<QStringList> all = folder.invocations();
            return calls("two_preview") > 0 && calls("two_preview") == calls("one_preview") && !all.empty() &&
                   QStringList{"x264", "x264_64", "avs4x264mod"}.contains(all.back().first()) &&
                   folder.runningTools() > 0;
          },
          60000));
      program.Kill();
    }
    QCOMPARE(States(folder), (std::vector<S>{S::Done, S::Interrupted, S::Waiting}));
    // What the killed program's tools were doing ends too, as at a power cut.
    QVERIFY(QTest::qWaitFor([&] { return folder.runningTools() == 0; }, 20000));
    QCOMPARE(calls("avs2pipemod -info"), 2);
    const int onePreview = calls("one_preview");
    const int twoPreview = calls("two_preview");
    QVERIFY2(onePreview > 0 && twoPreview == onePreview, qPrintable(QString("%1 %2").arg(onePreview).arg(twoPreview)));

    {
      LiveProgram program(display_, folder.path(""));
      program.SetEnvironment("LANG", "en_US.UTF-8");
      program.SetEnvironment("FAKE_TOOL_ALL", "progress=3;step_ms=5");
      StartBatch(program);
      QVERIFY(QTest::qWaitFor([&] { return States(folder) == std::vector<S>{S::Done, S::Done, S::Done}; }, 60000));
    // The box at the end carries the title of a finished run, as a single job's does.
    QVERIFY(!program.WaitForWindow("Done! - KVR 4.0.0", 20000).isEmpty());
    }
    // The first source ran once, the second again without the Preview it
    // had finished, the third once.
    QCOMPARE(calls("avs2pipemod -info"), 4);
    QCOMPARE(calls("one_preview"), onePreview);
    QCOMPARE(calls("two_preview"), twoPreview);
    QCOMPARE(calls("three_preview"), onePreview);
    QCOMPARE(QDir(folder.path("")).entryList({"*.mp4"}),
             (QStringList{"one_preview.mp4", "one_standard.mp4", "three_preview.mp4", "three_standard.mp4",
                          "two_preview.mp4", "two_standard.mp4"}));
    QCOMPARE(Rows(folder)[1].outputs, (std::vector<std::string>{folder.path("two_preview.mp4").toStdString(),
                                                                folder.path("two_standard.mp4").toStdString()}));
    // No temporary file of the list, and nothing in the tools' temporary
    // folder but the lock that tells whether a program holds it.
    QCOMPARE(QDir(folder.path("")).entryList({"kelvarion.batch*", "kelvarion.ini*"}, QDir::Files | QDir::Hidden),
             (QStringList{"kelvarion.batch", "kelvarion.ini"}));
    QCOMPARE(QDir(folder.tempDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{".lock"});
  }
};

QTEST_GUILESS_MAIN(BatchRestartTest)
#include "batch_restart_test.moc"
