// The collection of real scripts in script_collection/: scripts as users
// write them, each kept with its origin in its opening comment. Every script
// states what it must give in lines of its own:
//
//   # media: NAME ffmpeg arguments...       made in the script's folder first
//   # file: NAME                            copied there from files/ (a project
//                                           file that lists the media made)
//   # expect: frames=N size=WxH fps=N/D audio=RATE/CHANNELS (or audio=none)
//   # video-md5: HEX                        of avs2pipemod -y4mp's output
//   # audio-md5: HEX                        of avs2pipemod -extwav=16bit's output
//
// The hashes pin frames and samples that were checked by eye and against
// the function tests when the script was added; a change to any of them is
// a change of what users' scripts give, to be looked at, not re-pinned.
#include "media_fixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QRegularExpression>
#include <QtTest>

namespace {

QString Field(const QString& text, const QString& key) {
  const QRegularExpression line("^#\\s*" + QRegularExpression::escape(key) + ":\\s*(.*)$",
                                QRegularExpression::MultilineOption);
  const auto match = line.match(text);
  return match.hasMatch() ? match.captured(1).trimmed() : QString();
}

QMap<QString, QString> InfoOf(const QByteArray& out) {
  QMap<QString, QString> info;
  for (const QByteArray& line : out.split('\n')) {
    const QList<QByteArray> parts = line.simplified().split(' ');
    if (parts.size() == 2) info[QString::fromUtf8(parts[0])] = QString::fromUtf8(parts[1]);
  }
  return info;
}

QString Md5(const QByteArray& bytes) {
  return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

}  // namespace

class ScriptCollectionTest : public QObject {
  Q_OBJECT

 private slots:
  void scripts_data() {
    QTest::addColumn<QString>("file");
    const QDir dir(SCRIPT_COLLECTION_DIR);
    const QStringList files = dir.entryList({"*.avs"}, QDir::Files, QDir::Name);
    QVERIFY2(!files.isEmpty(), SCRIPT_COLLECTION_DIR);
    for (const QString& name : files) QTest::newRow(qPrintable(name)) << dir.filePath(name);
  }

  void scripts() {
    QFETCH(QString, file);
    QFile source(file);
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(source.readAll());
    QVERIFY2(!Field(text, "expect").isEmpty(), "the script states no expectations");

    MediaFolder folder;
    const QRegularExpression media("^#\\s*media:\\s*(\\S+)\\s+(.*)$", QRegularExpression::MultilineOption);
    for (auto it = media.globalMatch(text); it.hasNext();) {
      const auto match = it.next();
      QStringList args = QProcess::splitCommand(match.captured(2));
      args << match.captured(1);
      QVERIFY2(folder.ffmpeg(args), qPrintable(match.captured(0)));
    }
    const QRegularExpression copied("^#\\s*file:\\s*(\\S+)\\s*$", QRegularExpression::MultilineOption);
    for (auto it = copied.globalMatch(text); it.hasNext();) {
      const QString name = it.next().captured(1);
      QFile original(QFileInfo(file).dir().filePath("files/" + name));
      QVERIFY2(original.open(QIODevice::ReadOnly), qPrintable(original.fileName()));
      folder.write(name, original.readAll());
    }
    const QString script = folder.script(QFileInfo(file).fileName(), text);

    const ToolRun info = RunTool({"-info", script}, folder.dir());
    QVERIFY2(info.exitCode == 0, info.err.constData());
    const QMap<QString, QString> got = InfoOf(info.out);
    const QStringList expected = Field(text, "expect").split(' ', Qt::SkipEmptyParts);
    for (const QString& item : expected) {
      const QString key = item.section('=', 0, 0), value = item.section('=', 1);
      if (key == "frames") QCOMPARE(got.value("v:frames"), value);
      else if (key == "size") QCOMPARE(got.value("v:width") + "x" + got.value("v:height"), value);
      else if (key == "fps") QCOMPARE(got.value("v:fps"), value);
      else if (key == "audio" && value == "none") QVERIFY(!got.contains("a:sample_rate"));
      else if (key == "audio") QCOMPARE(got.value("a:sample_rate") + "/" + got.value("a:channels"), value);
      else QFAIL(qPrintable("unknown expectation " + key));
    }

    if (const QString hash = Field(text, "video-md5"); !hash.isEmpty()) {
      const ToolRun video = RunTool({"-y4mp", script}, folder.dir());
      QVERIFY2(video.exitCode == 0, video.err.constData());
      QCOMPARE(Md5(video.out), hash);
    }
    if (const QString hash = Field(text, "audio-md5"); !hash.isEmpty()) {
      const ToolRun audio = RunTool({"-extwav=16bit", script}, folder.dir());
      QVERIFY2(audio.exitCode == 0, audio.err.constData());
      QCOMPARE(Md5(audio.out), hash);
    }
  }
};

QTEST_GUILESS_MAIN(ScriptCollectionTest)
#include "tst_script_collection.moc"
