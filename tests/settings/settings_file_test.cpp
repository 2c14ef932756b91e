// The settings file: defaults, the integer and boolean rules, UTF-8 tags,
// and writes that are on disk at once.
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>
#include <sstream>

#include "settings/settings_file.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

class SettingsFileTest : public QObject {
  Q_OBJECT

 private slots:
  void pathBesideTheExecutable() {
    QCOMPARE(settings::SettingsFile::PathBeside("/opt/app/kelvarion"), std::string("/opt/app/kelvarion.ini"));
    QCOMPARE(settings::SettingsFile::PathBeside("/opt/app.d/kelvarion"), std::string("/opt/app.d/kelvarion.ini"));
    QCOMPARE(settings::SettingsFile::PathBeside("/opt/app/k.bin"), std::string("/opt/app/k.ini"));
  }

  void defaultsWithoutAFile() {
    QTemporaryDir dir;
    const settings::SettingsFile file(dir.filePath("none.ini").toStdString());
    const settings::ModeSettings p = file.ReadPreview();
    QCOMPARE(int(p.rateLevel), 40);
    QCOMPARE(int(p.balance), 3);
    QCOMPARE(p.widthIndex, 1);
    QVERIFY(p.newWidth);
    const settings::ModeSettings s = file.ReadStandard();
    QCOMPARE(int(s.rateLevel), 15);
    QCOMPARE(int(s.balance), 3);
    QCOMPARE(s.widthIndex, 1);
    QVERIFY(s.newWidth);
    QVERIFY(!s.sdDeluxe);
    QVERIFY(!s.deluxeSound);
    QVERIFY(!file.ReadBool("Flags", "Prev", false));
    QCOMPARE(file.ReadString("Meta", "Author"), QString());
  }

  void storedValuesAndTheirRules() {
    QTemporaryDir dir;
    const std::string path = dir.filePath("k.ini").toStdString();
    std::ofstream(path) << "[settings]\nPL=300\npb=2\nSR=-1\n[FLAGS]\nPrev=yes\nStd=2\nDX=0\nPRM=0\n";
    const settings::SettingsFile file(path);
    const settings::ModeSettings p = file.ReadPreview();
    QCOMPARE(int(p.rateLevel), 44);  // the low 8 bits of 300
    QCOMPARE(int(p.balance), 2);
    QVERIFY(!p.newWidth);
    QCOMPARE(file.ReadStandard().widthIndex, -1);
    QVERIFY(!file.ReadBool("Flags", "Prev", false));  // not an integer: the default
    QVERIFY(file.ReadBool("Flags", "Prev", true));
    QVERIFY(file.ReadBool("Flags", "Std", false));
    QVERIFY(!file.ReadBool("Flags", "DX", true));
  }

  // A level or balance the dialog cannot show comes in at the nearest end
  // of the dialog's range: its low byte 0, say, would give the video a
  // negative bitrate and fail the job.
  void levelsAndBalancesOutsideTheDialogsRanges() {
    QTemporaryDir dir;
    const std::string path = dir.filePath("k.ini").toStdString();
    std::ofstream(path) << "[Settings]\nPL=256\nPB=0\nSL=-1\nSB=249\n";
    const settings::SettingsFile file(path);
    QCOMPARE(int(file.ReadPreview().rateLevel), 10);
    QCOMPARE(int(file.ReadPreview().balance), 1);
    QCOMPARE(int(file.ReadStandard().rateLevel), 50);
    QCOMPARE(int(file.ReadStandard().balance), 5);
    std::ofstream(path) << "[Settings]\nPL=9\nPB=6\nSL=4\nSB=$FFFFFFFF\n";
    const settings::SettingsFile edges(path);
    QCOMPARE(int(edges.ReadPreview().rateLevel), 10);
    QCOMPARE(int(edges.ReadPreview().balance), 5);
    QCOMPARE(int(edges.ReadStandard().rateLevel), 5);
    QCOMPARE(int(edges.ReadStandard().balance), 5);
    // The ends themselves stay.
    std::ofstream(path) << "[Settings]\nPL=10\nPB=1\nSL=50\nSB=5\n";
    const settings::SettingsFile ends(path);
    QCOMPARE(int(ends.ReadPreview().rateLevel), 10);
    QCOMPARE(int(ends.ReadPreview().balance), 1);
    QCOMPARE(int(ends.ReadStandard().rateLevel), 50);
    QCOMPARE(int(ends.ReadStandard().balance), 5);
  }

  void integerConversion() {
    int v = 0;
    QVERIFY(settings::ParseIniInteger("-12", &v) && v == -12);
    QVERIFY(settings::ParseIniInteger("$1F", &v) && v == 31);
    QVERIFY(settings::ParseIniInteger("0x10", &v) && v == 16);
    QVERIFY(!settings::ParseIniInteger("", &v));
    QVERIFY(!settings::ParseIniInteger("1.5", &v));
    QVERIFY(!settings::ParseIniInteger("99999999999", &v));
  }

  void cyrillicTagsRoundTrip() {
    QTemporaryDir dir;
    const std::string path = dir.filePath("k.ini").toStdString();
    settings::SettingsFile file(path);
    const QString author = QString::fromUtf8("Автор «тест» 日本");
    QVERIFY(file.WriteString("Meta", "Author", author));
    QVERIFY(ReadAll(path).find(author.toUtf8().toStdString()) != std::string::npos);
    QCOMPARE(settings::SettingsFile(path).ReadString("Meta", "Author"), author);
  }

  void writesReachTheDiskAndKeepOtherLines() {
    QTemporaryDir dir;
    const std::string path = dir.filePath("k.ini").toStdString();
    std::ofstream(path) << "; kept\n[Meta]\nPath=/a/b.avi\n[Other]\nx=1\n";
    settings::SettingsFile file(path);
    settings::ModeSettings s = settings::StandardDefaults();
    s.rateLevel = 22;
    s.sdDeluxe = true;
    file.WriteStandard(s);
    const std::string text = ReadAll(path);
    QVERIFY(text.find("; kept") != std::string::npos);
    QVERIFY(text.find("x=1") != std::string::npos);
    QVERIFY(text.find("SL=22") != std::string::npos);
    QVERIFY(text.find("DLX=1") != std::string::npos);
    QCOMPARE(int(settings::SettingsFile(path).ReadStandard().rateLevel), 22);
  }
};

QTEST_APPLESS_MAIN(SettingsFileTest)
#include "settings_file_test.moc"
