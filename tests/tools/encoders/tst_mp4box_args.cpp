// The MP4Box command line: how tag lists split, how "#N" selects a track and
// which command lines are refused.
#include <QTest>

#include "tools/encoders/mp4box_args.h"

using mp4box::ArgumentError;
using mp4box::ParseCommand;
using mp4box::ParseTagList;
using Tags = std::vector<std::pair<std::string, std::string>>;

namespace {
bool NoFileExists(const std::string&) { return false; }
bool EveryFileExists(const std::string&) { return true; }
}  // namespace

class TestMp4BoxArgs : public QObject {
  Q_OBJECT
 private slots:
  void tagListSplitsOnlyBeforeKnownNames() {
    // The program's tag argument after the command line splitter took the
    // quotes away.
    QCOMPARE(ParseTagList("artist=Ann:name=Night run:tool=Kelvarion GUI 4.0_standard"),
             (Tags{{"artist", "Ann"}, {"title", "Night run"}, {"encoding_tool", "Kelvarion GUI 4.0_standard"}}));
    // Colons inside values, also before a word that is no tag name or lacks '='.
    QCOMPARE(ParseTagList("name=Act 1: The tool:tool=T:genre=a:b=c"),
             (Tags{{"title", "Act 1: The tool"}, {"encoding_tool", "T"}, {"genre", "a:b=c"}}));
    QCOMPARE(ParseTagList("name=12:30:artist=x"), (Tags{{"title", "12:30"}, {"artist", "x"}}));
  }

  void tagListKeepsEmptyAndBlankValues() {
    QCOMPARE(ParseTagList("artist=:name=:tool=Kelvarion GUI 4.0_preview"),
             (Tags{{"artist", ""}, {"title", ""}, {"encoding_tool", "Kelvarion GUI 4.0_preview"}}));
    QCOMPARE(ParseTagList("artist=  Ann "), (Tags{{"artist", "  Ann "}}));
    QCOMPARE(ParseTagList("name=a=b"), (Tags{{"title", "a=b"}}));
  }

  void tagListMapsEveryKnownName() {
    QCOMPARE(ParseTagList("album=A:comment=C:genre=G:created=2024:ARTIST=x"),
             (Tags{{"album", "A"}, {"comment", "C"}, {"genre", "G"}, {"date", "2024"}, {"artist", "x"}}));
  }

  void tagListRefusesUnknownStart() {
    QVERIFY_THROWS_EXCEPTION(ArgumentError, ParseTagList("writer=x"));
    QVERIFY_THROWS_EXCEPTION(ArgumentError, ParseTagList("artist"));
    QVERIFY_THROWS_EXCEPTION(ArgumentError, ParseTagList(""));
  }

  void trackSelection() {
    auto command = ParseCommand({"-add", "a.264#1", "-add", "b.m4a", "-new", "o.mp4"}, NoFileExists);
    QCOMPARE(command.adds.size(), size_t(2));
    QCOMPARE(command.adds[0].path, std::string("a.264"));
    QCOMPARE(command.adds[0].track, 1);
    QCOMPARE(command.adds[1].track, 0);
    QCOMPARE(command.newOutput, std::string("o.mp4"));
    // A file whose name really ends in "#2" is taken whole.
    command = ParseCommand({"-add", "take#2", "-new", "o.mp4"}, EveryFileExists);
    QCOMPARE(command.adds[0].path, std::string("take#2"));
    QCOMPARE(command.adds[0].track, 0);
    QVERIFY_THROWS_EXCEPTION(ArgumentError, ParseCommand({"-add", "a.mp4#x", "-new", "o.mp4"}, NoFileExists));
    QVERIFY_THROWS_EXCEPTION(ArgumentError, ParseCommand({"-add", "a.mp4#0", "-new", "o.mp4"}, NoFileExists));
  }

  void inPlaceEditWithTagsAndTrackName() {
    const auto command = ParseCommand({"-itags", "artist=Ann:name=N:tool=T", "-name", "1=Kelvarion 4.0.0", "out.mp4"}, NoFileExists);
    QVERIFY(command.newOutput.empty());
    QCOMPARE(command.editTarget, std::string("out.mp4"));
    QCOMPARE(command.tags.size(), size_t(3));
    QCOMPARE(command.trackNames.at(1), std::string("Kelvarion 4.0.0"));
    QCOMPARE(ParseCommand({"-name", "2=", "o.mp4"}, NoFileExists).trackNames.at(2), std::string());
  }

  void refusedCommandLines_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no output") << QStringList{"-add", "a.264"};
    QTest::newRow("-new without -add") << QStringList{"-new", "o.mp4"};
    QTest::newRow("-new and a bare file") << QStringList{"-add", "a.264", "-new", "o.mp4", "x.mp4"};
    QTest::newRow("two bare files") << QStringList{"-itags", "name=x", "a.mp4", "b.mp4"};
    QTest::newRow("bare file, nothing to do") << QStringList{"a.mp4"};
    QTest::newRow("missing value") << QStringList{"-add", "a.264", "-new"};
    QTest::newRow("unknown option") << QStringList{"-add", "a.264", "-fps", "25", "-new", "o.mp4"};
    QTest::newRow("-name without track") << QStringList{"-name", "Kelvarion", "o.mp4"};
    QTest::newRow("-name track 0") << QStringList{"-name", "0=x", "o.mp4"};
  }
  void refusedCommandLines() {
    QFETCH(QStringList, args);
    std::vector<std::string> list;
    for (const QString& arg : args) list.push_back(arg.toStdString());
    QVERIFY_THROWS_EXCEPTION(ArgumentError, ParseCommand(list, NoFileExists));
  }
};

QTEST_GUILESS_MAIN(TestMp4BoxArgs)
#include "tst_mp4box_args.moc"
