// The last lines of a tool's output, as a terminal would leave them.
#include <QtTest>

#include <string>
#include <vector>

#include "proc/output_tail.h"

using Lines = std::vector<std::string>;

namespace {

Lines Tail(const std::string& output, std::size_t chunk = std::string::npos) {
  proc::OutputTail tail;
  for (std::size_t at = 0; at < output.size(); at += chunk) {
    tail.Feed(output.data() + at, std::min(chunk, output.size() - at));
  }
  return tail.Lines();
}

}  // namespace

class OutputTailTest : public QObject {
  Q_OBJECT

 private slots:
  void lineEnds_data() {
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("plain") << QByteArray("one\ntwo\n") << QStringList{"one", "two"};
    QTest::newRow("crlf") << QByteArray("one\r\ntwo\r\n") << QStringList{"one", "two"};
    QTest::newRow("progress overwritten") << QByteArray("x264 [info]: start\n[1.0%]\r[2.0%]\r[3.0%]\rencoded 3 frames\n")
                                          << QStringList{"x264 [info]: start", "encoded 3 frames"};
    QTest::newRow("last progress stays") << QByteArray("opened\n[45.3%] 1/2\r") << QStringList{"opened", "[45.3%] 1/2"};
    QTest::newRow("unfinished line") << QByteArray("a\nerror: no such file") << QStringList{"a", "error: no such file"};
    QTest::newRow("empty lines dropped") << QByteArray("\n\na\n\r\n\nb\n\n") << QStringList{"a", "b"};
    QTest::newRow("nothing") << QByteArray() << QStringList{};
  }
  void lineEnds() {
    QFETCH(QByteArray, output);
    QFETCH(QStringList, lines);
    Lines expected;
    for (const QString& line : lines) expected.push_back(line.toStdString());
    // However the output is cut into reads, the tail is the same.
    for (std::size_t chunk : {std::string::npos, std::size_t{1}, std::size_t{3}}) {
      QCOMPARE(Tail(output.toStdString(), chunk), expected);
    }
  }

  void keepsTheLastTwentyLines() {
    std::string output;
    for (int i = 1; i <= 30; ++i) output += "line " + std::to_string(i) + "\n";
    Lines lines = Tail(output);
    QCOMPARE(lines.size(), proc::OutputTail::kLines);
    QCOMPARE(lines.front(), std::string("line 11"));
    QCOMPARE(lines.back(), std::string("line 30"));
    // A line still being written counts among the twenty.
    lines = Tail(output + "partial");
    QCOMPARE(lines.size(), proc::OutputTail::kLines);
    QCOMPARE(lines.front(), std::string("line 12"));
    QCOMPARE(lines.back(), std::string("partial"));
  }

  void cutsVeryLongLines() {
    const Lines lines = Tail(std::string(5000, 'x') + "\nnext\n");
    QCOMPARE(lines.size(), std::size_t{2});
    QCOMPARE(lines[0], std::string(proc::OutputTail::kLineLength, 'x'));
    QCOMPARE(lines[1], std::string("next"));
  }
};

QTEST_GUILESS_MAIN(OutputTailTest)
#include "test_output_tail.moc"
