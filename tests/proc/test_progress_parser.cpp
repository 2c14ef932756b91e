#include <QtTest>

#include <string>

#include "proc/progress_message.h"
#include "proc/progress_parser.h"

using proc::ParseProgressFigure;
using proc::ProgressBuffer;

Q_DECLARE_METATYPE(std::optional<int>)

class ProgressParserTest : public QObject {
  Q_OBJECT

  static std::optional<int> Feed(ProgressBuffer& buffer, std::string_view chunk) {
    return buffer.Feed(chunk.data(), chunk.size());
  }

 private slots:
  void figureOfOneText_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<std::optional<int>>("figure");
    auto row = [](const char* name, QByteArray text, std::optional<int> figure) {
      QTest::newRow(name) << text << figure;
    };
    row("encoder line", "[45.3%] 1234/2720 frames, 31.50 fps", 45);
    row("one digit", "[5.0%] 1/20 frames", 5);
    row("hundred", "[100.0%] 2720/2720 frames", 100);
    row("text before the bracket", "x [7.5%]", 7);
    row("no bracket: the text before the decimals", "12.5% done", 12);
    row("bracket after the percent sign", "12.5% [done]", std::nullopt);
    row("no percent sign", "[45.3] frames", std::nullopt);
    row("empty", "", std::nullopt);
    row("nothing before the decimals", "[.5%]", std::nullopt);
    row("percent sign next to the bracket", "[%]", std::nullopt);
    row("two decimals", "[12.34%]", std::nullopt);
    row("no decimals", "[45%] x", std::nullopt);
    row("not a number", "[ab.c%]", std::nullopt);
    row("leading blank", "[ 7.0%]", 7);
    row("trailing blank", "[7 .0%]", std::nullopt);
    row("sign", "[-3.0%]", -3);
    row("plus sign", "[+3.0%]", 3);
    row("sign alone", "[-.0%]", std::nullopt);
    row("hexadecimal", "[0x1.0%]", std::nullopt);
    row("beyond int", "[99999999999.0%]", std::nullopt);
    row("first of two lines", "[20.0%] 1/5 frames\n[40.0%] 2/5 frames\n", 20);
  }
  void figureOfOneText() {
    QFETCH(QByteArray, text);
    QFETCH(std::optional<int>, figure);
    QCOMPARE(ParseProgressFigure(std::string_view(text.constData(), text.size())), figure);
  }

  void timeEstimateOfOneText_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<std::optional<int>>("seconds");
    auto row = [](const char* name, QByteArray text, std::optional<int> seconds) {
      QTest::newRow(name) << text << seconds;
    };
    row("encoder line", "[45.3%] 1234/2720 frames, 31.50 fps, 900.00 kb/s, eta 0:01:05  \r", 65);
    row("hours", "eta 12:00:01", 43201);
    row("minutes and seconds only", "eta 3:07", 187);
    row("seconds only", "eta 42", 42);
    row("the last of two lines", "eta 0:00:09\neta 0:00:08\n", 8);
    row("none", "[45.3%] 1234/2720 frames", std::nullopt);
    row("no figure after it", "eta ", std::nullopt);
    row("minutes of sixty", "eta 0:60:00", std::nullopt);
    row("seconds of sixty", "eta 0:00:60", std::nullopt);
    row("a word", "eta soon", std::nullopt);
    row("beyond int", "eta 999999999:00:00", std::nullopt);
    row("cut after a colon", "eta 0:", std::nullopt);
  }
  void timeEstimateOfOneText() {
    QFETCH(QByteArray, text);
    QFETCH(std::optional<int>, seconds);
    QCOMPARE(proc::ParseEtaSeconds(std::string_view(text.constData(), text.size())), seconds);
  }

  // The buffer keeps the last estimate until a pass forgets it; a chunk
  // without one leaves it as it was.
  void bufferKeepsTheLastEstimate() {
    ProgressBuffer buffer;
    QCOMPARE(buffer.etaSeconds(), -1);
    Feed(buffer, "[10.0%] 1/10 frames, eta 0:00:30");
    QCOMPARE(buffer.etaSeconds(), 30);
    Feed(buffer, "[20.0%]");
    QCOMPARE(buffer.etaSeconds(), 30);
    Feed(buffer, "[30.0%] 3/10 frames, eta 0:00:20");
    QCOMPARE(buffer.etaSeconds(), 20);
    buffer.ForgetEta();
    QCOMPARE(buffer.etaSeconds(), -1);
  }

  void shortReadFindsOlderBytes() {
    ProgressBuffer buffer;
    QCOMPARE(Feed(buffer, "[45.3%] 1234/2720 frames"), std::optional<int>(45));
    // "[7" lands over "[4": the old "5.3%]" behind it completes the figure.
    QCOMPARE(Feed(buffer, "[7"), std::optional<int>(75));
    // A chunk without a figure of its own repeats the one left behind it.
    QCOMPARE(Feed(buffer, "["), std::optional<int>(75));
  }

  void zeroByteEndsTheText() {
    ProgressBuffer buffer;
    QCOMPARE(Feed(buffer, std::string_view("ab\0[50.0%]", 10)), std::nullopt);
    QCOMPARE(Feed(buffer, "[60.0%] frames"), std::optional<int>(60));
    QCOMPARE(Feed(buffer, std::string_view("\0", 1)), std::nullopt);
    QCOMPARE(Feed(buffer, "["), std::optional<int>(60));
  }

  void chunkFillsAtMostTheBuffer() {
    ProgressBuffer buffer;
    // A chunk longer than the buffer: only its first 256 bytes count.
    const std::string longChunk = std::string(ProgressBuffer::kSize, 'x') + "[5.0%]";
    QCOMPARE(Feed(buffer, longChunk), std::nullopt);
    // A full buffer has no zero byte: all 256 bytes are searched.
    const std::string tail = "[9.0%]";
    const std::string full = std::string(ProgressBuffer::kSize - tail.size(), ' ') + tail;
    QCOMPARE(Feed(buffer, full), std::optional<int>(9));
  }

  void eventTypeIsRegisteredOnce() {
    const QEvent::Type type = proc::ProgressEvent::eventType();
    QVERIFY(type >= QEvent::User && type <= QEvent::MaxUser);
    QCOMPARE(proc::ProgressEvent::eventType(), type);
    const proc::ProgressEvent event(111, 2);
    QCOMPARE(event.type(), type);
    QCOMPARE(event.wParam(), 111);
    QCOMPARE(event.lParam(), 2);
  }
};

QTEST_GUILESS_MAIN(ProgressParserTest)
#include "test_progress_parser.moc"
