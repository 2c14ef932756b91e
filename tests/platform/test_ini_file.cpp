#include <QtTest>

#include <sys/stat.h>

#include "platform/ini_file.h"
#include "tests/proc/child_process_probe.h"

using platform::IniFile;
using test_support::ReadFile;

namespace {

void WriteText(const QString& path, const std::string& text) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(text.data(), static_cast<qint64>(text.size()));
}

struct stat StatOf(const std::string& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  return info;
}

}  // namespace

class IniFileTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QString path_;
  IniFile ini() const { return IniFile(path_.toStdString()); }

 private slots:
  void init() {
    QVERIFY(dir_.isValid());
    path_ = dir_.filePath("kelvarion.ini");
    QFile::remove(path_);
  }

  void missingFileSectionOrKeyGiveTheDefault() {
    QCOMPARE(ini().ReadString("Settings", "PL", "40"), std::string("40"));
    WriteText(path_, "[Settings]\nSB=3\n");
    QCOMPARE(ini().ReadString("Settings", "PL", "40"), std::string("40"));
    QCOMPARE(ini().ReadString("Flags", "SB", "x"), std::string("x"));
    QCOMPARE(ini().ReadString("Settings", "SB", "x"), std::string("3"));
  }

  void readsByTheProfileRules_data() {
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    const QString sample =
        "; settings\n"
        "  [ meta ]  \r\n"
        "AUTHOR =  Ivan Petrov  \r\n"
        "Clip=\"  spaced title  \"\n"
        "Path='/a b/c.avi'\n"
        "Odd=\"half\n"
        "Mixed=\"a'\n"
        "Empty=\n"
        "Eq=a=b\n"
        "Author=second\n"
        "[Settings]\n"
        "PL=44\n"
        "[META]\n"
        "Late=1\n";
    auto row = [&](const char* name, const char* section, const char* key, const char* expected) {
      QTest::newRow(name) << sample << section << key << QString::fromUtf8(expected);
    };
    row("section and key in any case, blanks trimmed", "Meta", "author", "Ivan Petrov");
    row("double quotes removed, inner blanks kept", "meta", "Clip", "  spaced title  ");
    row("single quotes removed", "Meta", "Path", "/a b/c.avi");
    row("one quote kept", "Meta", "Odd", "\"half");
    row("mismatched quotes kept", "Meta", "Mixed", "\"a'");
    row("empty value is not the default", "Meta", "Empty", "");
    row("value runs past a second '='", "Meta", "Eq", "a=b");
    row("other section", "SETTINGS", "pl", "44");
    row("only the first section of a name counts", "Meta", "Late", "default");
    row("comment is no key", "Meta", "; settings", "default");
  }
  void readsByTheProfileRules() {
    QFETCH(QString, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    WriteText(path_, content.toStdString());
    QCOMPARE(QString::fromStdString(ini().ReadString(section.toStdString(), key.toStdString(), "default")),
             expected);
  }

  void writeCreatesFileAndSection() {
    IniFile file = ini();
    QVERIFY(file.WriteString("Meta", "Path", ""));
    QVERIFY(file.WriteString("Flags", "Prev", "1"));
    QVERIFY(file.WriteString("Meta", "Clip", "x"));
    QCOMPARE(ReadFile(path_.toStdString()), std::string("[Meta]\nPath=\nClip=x\n[Flags]\nPrev=1\n"));
    QCOMPARE(file.ReadString("meta", "path", "d"), std::string(""));
  }

  void writeKeepsEveryOtherLine() {
    WriteText(path_,
              "; kept comment\n"
              "[Settings]\n"
              "pl = 40\n"
              "junk line without equals\n"
              "\n"
              "[Flags]\n"
              "Prev=0\n"
              "Std=1");  // no final line end
    IniFile file = ini();
    QVERIFY(file.WriteString("SETTINGS", "PL", "25"));
    QVERIFY(file.WriteString("Settings", "SB", "2"));
    QVERIFY(file.WriteString("flags", "DX", "1"));
    QCOMPARE(ReadFile(path_.toStdString()),
             std::string("; kept comment\n"
                         "[Settings]\n"
                         "PL=25\n"
                         "junk line without equals\n"
                         "SB=2\n"
                         "\n"
                         "[Flags]\n"
                         "Prev=0\n"
                         "Std=1\n"
                         "DX=1\n"));
  }

  void noValueMakesALineOrASection() {
    WriteText(path_, "[Meta]\nPath=a\n[Flags]\nPrev=1\n");
    const std::string before = ReadFile(path_.toStdString());
    IniFile file = ini();
    for (const std::string& value : {std::string("x\n[Flags]\nPrev=0"), std::string("x\rPrev=0"),
                                    std::string("x\r\n"), std::string("x\0y", 3)}) {
      QVERIFY(!file.WriteString("Meta", "Path", value));
      QCOMPARE(ReadFile(path_.toStdString()), before);
    }
    QCOMPARE(file.ReadString("Flags", "Prev", "d"), std::string("1"));
  }

  void windowsLineEndsStay() {
    WriteText(path_, "[Meta]\r\nPath=a\r\n");
    QVERIFY(ini().WriteString("Meta", "Clip", "b"));
    QCOMPARE(ReadFile(path_.toStdString()), std::string("[Meta]\r\nPath=a\r\nClip=b\r\n"));
  }

  void utf8TextRoundTrips() {
    const std::string author = "Иван Петров — «Ёлка» 日本";
    QVERIFY(ini().WriteString("Meta", "Author", author));
    QCOMPARE(ini().ReadString("Meta", "Author", ""), author);
    QVERIFY(ReadFile(path_.toStdString()).find("Author=" + author + "\n") != std::string::npos);
  }

  void fileWithByteOrderMarkKeepsItsFirstSection() {
    WriteText(path_, "\xEF\xBB\xBF[Meta]\nPath=x\n");
    QCOMPARE(ini().ReadString("Meta", "Path", ""), std::string("x"));
    QVERIFY(ini().WriteString("Meta", "Clip", "y"));
    QCOMPARE(ReadFile(path_.toStdString()), std::string("\xEF\xBB\xBF[Meta]\nPath=x\nClip=y\n"));
  }

  void writeReplacesTheFileAtomically() {
    WriteText(path_, "[Meta]\nPath=old\n");
    const std::string path = path_.toStdString();
    QCOMPARE(::chmod(path.c_str(), 0640), 0);
    const ino_t before = StatOf(path).st_ino;
    QVERIFY(ini().WriteString("Meta", "Path", "new"));
    // A new file was renamed over the old one rather than rewritten in place,
    // and it kept the old one's permissions.
    QVERIFY(StatOf(path).st_ino != before);
    QCOMPARE(StatOf(path).st_mode & 07777, mode_t{0640});
    QCOMPARE(ini().ReadString("Meta", "Path", ""), std::string("new"));
    QCOMPARE(QDir(dir_.path()).entryList(QDir::Files), QStringList{"kelvarion.ini"});
  }

  // A settings file kept with the user's dotfiles is a link, relative or
  // absolute, maybe through another link: the file it leads to is replaced
  // and every link stays a link.
  void aLinkedFileIsReplacedThroughItsLinks() {
    QVERIFY(QDir(dir_.path()).mkpath("dotfiles/kelvarion"));
    const QString real = dir_.filePath("dotfiles/kelvarion/kelvarion.ini");
    WriteText(real, "[Meta]\nPath=old\n");
    QVERIFY(QFile::link("dotfiles/kelvarion/kelvarion.ini", dir_.filePath("middle.ini")));
    QCOMPARE(::symlink("middle.ini", path_.toLocal8Bit().constData()), 0);
    QVERIFY(ini().WriteString("Meta", "Path", "new"));
    QVERIFY(QFileInfo(path_).isSymLink());
    QVERIFY(QFileInfo(dir_.filePath("middle.ini")).isSymLink());
    QCOMPARE(IniFile(real.toStdString()).ReadString("Meta", "Path", ""), std::string("new"));
    QCOMPARE(QDir(dir_.filePath("dotfiles/kelvarion")).entryList(QDir::Files | QDir::Hidden), QStringList{"kelvarion.ini"});

    // A link to a file not made yet makes it; a loop of links is no file.
    QFile::remove(real);
    QVERIFY(ini().WriteString("Meta", "Path", "first"));
    QCOMPARE(IniFile(real.toStdString()).ReadString("Meta", "Path", ""), std::string("first"));
    QCOMPARE(::symlink("loop-b.ini", dir_.filePath("loop-a.ini").toLocal8Bit().constData()), 0);
    QCOMPARE(::symlink("loop-a.ini", dir_.filePath("loop-b.ini").toLocal8Bit().constData()), 0);
    QVERIFY(!IniFile(dir_.filePath("loop-a.ini").toStdString()).WriteString("Meta", "Path", "x"));
    QVERIFY(QFileInfo(dir_.filePath("loop-a.ini")).isSymLink());
    QVERIFY(QFileInfo(dir_.filePath("loop-b.ini")).isSymLink());
    for (const char* made : {"loop-a.ini", "loop-b.ini", "middle.ini", "kelvarion.ini"}) QFile::remove(dir_.filePath(made));
    QVERIFY(QDir(dir_.filePath("dotfiles")).removeRecursively());
  }

  void unwritablePlacesFailCleanly() {
    IniFile missingFolder(dir_.filePath("no/such/folder/k.ini").toStdString());
    QVERIFY(!missingFolder.WriteString("Meta", "Path", "x"));
    QVERIFY(!QFileInfo::exists(dir_.filePath("no")));

    QVERIFY(QDir(dir_.path()).mkdir("folder.ini"));
    IniFile folder(dir_.filePath("folder.ini").toStdString());
    QVERIFY(!folder.WriteString("Meta", "Path", "x"));
    QVERIFY(QFileInfo(dir_.filePath("folder.ini")).isDir());
    QCOMPARE(folder.ReadString("Meta", "Path", "d"), std::string("d"));
    QCOMPARE(QDir(dir_.path()).entryList(QDir::Files), QStringList{});
  }
};

QTEST_GUILESS_MAIN(IniFileTest)
#include "test_ini_file.moc"
