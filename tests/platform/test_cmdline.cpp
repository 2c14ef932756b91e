#include <QRandomGenerator>
#include <QtTest>

#include "platform/cmdline.h"

using platform::EscapeForQuotes;
using platform::Quote;
using platform::SplitCommandLine;
using platform::SplitPipeline;

using Args = std::vector<std::string>;
Q_DECLARE_METATYPE(Args)

class CmdlineTest : public QObject {
  Q_OBJECT

 private slots:
  void splitsByTheRuntimeRules_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<Args>("expected");
    auto row = [](const char* name, const char* line, Args args) {
      QTest::newRow(name) << QString::fromUtf8(line) << args;
    };
    row("blanks separate, runs collapse", " a  b\tc \t", {"a", "b", "c"});
    row("empty line", "", {});
    row("only blanks", " \t ", {});
    row("quotes group blanks", "\"a b\" c", {"a b", "c"});
    row("quotes inside a word", "x\"y z\"w", {"xy zw"});
    row("empty quoted argument", "a \"\" b", {"a", "", "b"});
    row("lone empty argument", "\"\"", {""});
    row("doubled quote inside quotes is literal", "\"a\"\"b c\"", {"a\"b c"});
    row("four quotes give one", "\"\"\"\"", {"\""});
    row("doubled quote outside quotes opens and closes", "a\"\"b", {"ab"});
    row("unterminated quote runs to the end", "\"open arg  x", {"open arg  x"});
    row("backslashes without quote are literal", "C:\\dir\\\\file \\\\", {"C:\\dir\\\\file", "\\\\"});
    row("one backslash escapes the quote", "\\\"a", {"\"a"});
    row("three backslashes: one and a literal quote", "a\\\\\\\"b", {"a\\\"b"});
    row("two backslashes: one and the quote acts", "a\\\\\"b c\"", {"a\\b c"});
    row("four backslashes before closing quote", "\"a\\\\\\\\\" b", {"a\\\\", "b"});
    row("escaped quote inside quotes", "\"say \\\"hi\\\"\" x", {"say \"hi\"", "x"});
    row("trailing backslash in quotes escapes the quote", "\"C:\\dir\\\" x", {"C:\\dir\" x"});
    row("shell characters are plain text", "$HOME `id` 'a b' |", {"$HOME", "`id`", "'a", "b'", "|"});
    row("UTF-8 passes through", "\"Видео клип\"", {"Видео клип"});
  }
  void splitsByTheRuntimeRules() {
    QFETCH(QString, line);
    QFETCH(Args, expected);
    QCOMPARE(SplitCommandLine(line.toStdString()), expected);
  }

  void plainTextIsNotEscaped() {
    for (const char* value : {"/home/user/My Videos/clip.avi", "C:\\dir\\file.avs", "", "Иван $x `y`"}) {
      QCOMPARE(EscapeForQuotes(value), std::string(value));
    }
    QCOMPARE(Quote("/a b/c"), std::string("\"/a b/c\""));
  }

  void hostileValuesSurviveQuoting_data() {
    QTest::addColumn<QString>("value");
    for (const char* value :
         {"a\"b", "trailing\\", "trailing\\\\", "\\\"", "\\\\\"", "\"", "\"\"", "\\", "",
          "$HOME and $(id)", "`uname`", "with  two  spaces", "tab\there", "Фильм \"Ёлка\"\\",
          "a\\\\\\\"b", "pipe | inside", "'single'", " leading and trailing "}) {
      QTest::newRow(value) << QString::fromUtf8(value);
    }
  }
  void hostileValuesSurviveQuoting() {
    QFETCH(QString, value);
    const std::string v = value.toStdString();
    QCOMPARE(SplitCommandLine("prog " + Quote(v) + " next"), (Args{"prog", v, "next"}));
  }

  // Random texts over the characters that matter to the rules; a fixed
  // seed keeps a failure reproducible.
  void randomValuesSurviveQuotingAndPipelines() {
    const char* alphabet[] = {"a", " ", "\t", "\"", "\\", "|", "Я", "$"};
    QRandomGenerator random(2026);
    auto randomText = [&] {
      std::string text;
      const int length = random.bounded(12);
      for (int i = 0; i < length; ++i) text += alphabet[random.bounded(8)];
      return text;
    };
    for (int round = 0; round < 2000; ++round) {
      const std::string first = randomText();
      const std::string second = randomText();
      const Args expected{"p", first, second};
      QCOMPARE(SplitCommandLine("p " + Quote(first) + "\t" + Quote(second)), expected);

      const auto parts = SplitPipeline("p " + Quote(first) + " | q " + Quote(second));
      QCOMPARE(parts.size(), std::size_t{2});
      QCOMPARE(SplitCommandLine(parts[0]), (Args{"p", first}));
      QCOMPARE(SplitCommandLine(parts[1]), (Args{"q", second}));
    }
  }

  void splitsPipelinesOutsideQuotes_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<Args>("expected");
    auto row = [](const char* name, const char* line, Args parts) {
      QTest::newRow(name) << QString::fromUtf8(line) << parts;
    };
    row("two stages keep their blanks", "a x | b y", {"a x ", " b y"});
    row("no bar", "a b", {"a b"});
    row("bar in quotes", "\"a|b\" | c", {"\"a|b\" ", " c"});
    row("escaped quote does not open quoting", "a \\\"|b", {"a \\\"", "b"});
    row("escaped quote inside quotes keeps them open", "\"x\\\"|y\" | z", {"\"x\\\"|y\" ", " z"});
    row("unterminated quote hides the rest", "\"x|y", {"\"x|y"});
    row("empty stages", "a||b|", {"a", "", "b", ""});
  }
  void splitsPipelinesOutsideQuotes() {
    QFETCH(QString, line);
    QFETCH(Args, expected);
    QCOMPARE(SplitPipeline(line.toStdString()), expected);
  }
};

QTEST_GUILESS_MAIN(CmdlineTest)
#include "test_cmdline.moc"
