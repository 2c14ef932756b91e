// avs4x264mod hands the command line to the encoder it names and becomes
// that encoder: same process (so ending its group ends the encoder), output
// passed through, exit status passed on.
#include <QProcess>
#include <QTest>

#include "tests/tools/encoders/tool_runner.h"

class TestAvs4x264mod : public QObject {
  Q_OBJECT
 private slots:
  void runsTheNamedEncoderWithTheOtherOptions() {
    const RunResult result = RunTool("avs4x264mod", {"--x264-binary", "/bin/echo", "--crf", "17", "-o", "a b.264", "Vid.avs"});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.output, QByteArray("--crf 17 -o a b.264 Vid.avs\n"));
  }

  void exitStatusPassesThrough() {
    QCOMPARE(RunTool("avs4x264mod", {"--x264-binary", "/bin/false"}).exitCode, 1);
    QCOMPARE(RunTool("avs4x264mod", {"--x264-binary", "/bin/sh", "-c", "exit 7"}).exitCode, 7);
  }

  void encoderReplacesTheWrapperProcess() {
    QProcess process;
    process.start(ToolPath("avs4x264mod"), {"--x264-binary", "/bin/sh", "-c", "echo $$; sleep 30"});
    QVERIFY(process.waitForReadyRead(10000));
    const qint64 shellPid = process.readLine().trimmed().toLongLong();
    QCOMPARE(shellPid, process.processId());
    process.kill();  // what ending the wrapper does: the encoder itself ends
    QVERIFY(process.waitForFinished(5000));
  }

  void failuresAreReported_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no arguments") << QStringList{};
    QTest::newRow("binary path missing") << QStringList{"--crf", "17", "--x264-binary"};
    QTest::newRow("binary does not exist") << QStringList{"--x264-binary", "/nonexistent/x264_64", "--crf", "17"};
  }
  void failuresAreReported() {
    QFETCH(QStringList, args);
    const RunResult result = RunTool("avs4x264mod", args);
    QVERIFY(!result.crashed);
    QVERIFY(result.exitCode != 0);
    QVERIFY(result.output.size() > 10);
  }
};

QTEST_GUILESS_MAIN(TestAvs4x264mod)
#include "tst_avs4x264mod.moc"
