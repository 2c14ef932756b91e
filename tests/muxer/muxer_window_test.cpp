// The stand-alone muxer: its pure rules (names, accepted files, the command
// line) and the window driven through its buttons, keys and drops, with a
// stand-in MP4Box that records the arguments it was started with.
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QTimer>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include "desktop/message_box.h"
#include "desktop/reveal.h"
#include "job/commands.h"
#include "muxer/muxer_window.h"
#include "platform/cmdline.h"
#include "platform/ini_file.h"

namespace {

void Touch(const QString& path) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
}

// A program folder whose tools/MP4Box writes its arguments, one a line, to
// tools/args.txt and writes the file named after "-new". STANDIN_MP4BOX=fail
// makes it fail with a message after starting that file; =silent makes it
// end well without writing it.
struct StandInProgram {
  QTemporaryDir root;
  std::string dir() const { return root.path().toStdString() + "/"; }
  QString argsFile() const { return root.filePath("tools/args.txt"); }
  std::string ini() const { return dir() + "kelvarion.ini"; }

  StandInProgram() {
    QDir(root.path()).mkpath("tools");
    QFile tool(root.filePath("tools/MP4Box"));
    if (!tool.open(QIODevice::WriteOnly)) qFatal("cannot write the stand-in MP4Box");
    tool.write(
        "#!/bin/sh\n"
        "out=\"$(dirname \"$0\")/args.txt\"\n"
        ": > \"$out\"\n"
        "prev=\n"
        "for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$out\"; [ \"$prev\" = -new ] && new=$a; prev=$a; done\n"
        "[ \"$STANDIN_MP4BOX\" = silent ] && exit 0\n"
        "printf 'mp4' > \"$new\"\n"
        "if [ \"$STANDIN_MP4BOX\" = fail ]; then echo 'Importing ISO File: |====    | (40/100)' >&2;"
        " echo 'Error importing clip.264: Corrupted Data in file/stream' >&2; exit 1; fi\n");
    tool.close();
    tool.setPermissions(tool.permissions() | QFileDevice::ExeOwner);
  }

  QStringList recordedArgs() const {
    QFile file(argsFile());
    if (!file.open(QIODevice::ReadOnly)) return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    lines.removeLast();
    return lines;
  }
};

class ScriptedMuxer : public muxer::MuxerWindow {
 public:
  using MuxerWindow::MuxerWindow;
  QStringList answers;

 protected:
  QString askForStreamFile() override { return answers.isEmpty() ? QString() : answers.takeFirst(); }
};

QListWidget* List(QWidget* w) { return w->findChild<QListWidget*>("entries"); }
void Press(QWidget* w, const char* name) { w->findChild<QPushButton*>(name)->click(); }

QStringList Shown(QWidget* w) {
  QStringList names;
  for (int i = 0; i < List(w)->count(); ++i) names << List(w)->item(i)->text();
  return names;
}

void Drop(QWidget* target, const QList<QUrl>& urls) {
  QMimeData data;
  data.setUrls(urls);
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &enter);
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &drop);
}

}  // namespace

class MuxerWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void incName2NumbersTakenNames() {
    QTemporaryDir dir;
    const std::string clip = dir.filePath("clip.264").toStdString();
    const std::string folder = dir.path().toStdString() + "/";
    QCOMPARE(muxer::IncName2(clip, "_muxed"), folder + "clip_muxed.mp4");
    Touch(dir.filePath("clip_muxed.mp4"));
    QCOMPARE(muxer::IncName2(clip, "_muxed"), folder + "clip1_muxed.mp4");
    Touch(dir.filePath("clip1_muxed.mp4"));
    QCOMPARE(muxer::IncName2(clip, "_muxed"), folder + "clip2_muxed.mp4");
    // The base ends at the last dot of the file name, not of the folder.
    QDir(dir.path()).mkpath("v1.2");
    QCOMPARE(muxer::IncName2(folder + "v1.2/stream", "_muxed"), folder + "v1.2/stream_muxed.mp4");
  }

  void acceptedExtensions() {
    for (const char* path : {"a.mp4", "a.264", "a.H264", "a.avc", "/x/movie.M4A", "b.c.aac"})
      QVERIFY2(muxer::IsAcceptedStream(path), path);
    for (const char* path : {"movie.m4v", "a.mp3", "mp4", "/x.mp4/file", "a.mp4.bak", "a."})
      QVERIFY2(!muxer::IsAcceptedStream(path), path);
  }

  void commandLineMatchesTheTemplate() {
    QCOMPARE(job::StandaloneMuxCommand(job::ToolPaths::ForProgramDir("/opt/kv/"), "/clips/clip.264", "/clips/clip.m4a", "/clips/clip_muxed.mp4"),
             std::string("\"/opt/kv/tools/MP4Box\" -add \"/clips/clip.264\"#1 -add \"/clips/clip.m4a\""
                         " -new \"/clips/clip_muxed.mp4\" -itags tool=\"Kelvarion GUI _muxed\""));
  }

  void awkwardPathsSurviveSplitting() {
    const std::string dir = "/opt/my \"kv\"\\/";
    const std::string first = "/c/a \"b\".264", second = "/c/trail\\", output = "/c/$x `y`.mp4";
    const std::vector<std::string> args =
        platform::SplitCommandLine(job::StandaloneMuxCommand(job::ToolPaths::ForProgramDir(dir), first, second, output));
    const std::vector<std::string> expected = {dir + "tools/MP4Box", "-add", first + "#1", "-add", second,
                                               "-new", output, "-itags", "tool=Kelvarion GUI _muxed"};
    QCOMPARE(args, expected);
  }

  // The dialog's list of file types shows the entries exactly as written,
  // semicolons and all, and each entry filters by its own patterns.
  void openDialogEntriesAsWritten_data() {
    QTest::addColumn<bool>("russian");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("Russian") << true
                             << QStringList{QString::fromUtf8("Все файлы(*.mp4;*.m4a;*.aac;*.h264;*.264;*.avc;*.m4v)"),
                                            QString::fromUtf8("Видеофайл (*.mp4;*.h264;*.264;*.avc;*.m4v)"),
                                            QString::fromUtf8("A\u0443\u0434\u0438\u043e(*.m4a;*.aac)")};
    QTest::newRow("English") << false
                             << QStringList{"All Supported (*.mp4;*.m4a;*.aac;*.264;*.h264;*.avc;*.m4v)",
                                            "Video (*.mp4;*.264;*.h264;*.avc;*.m4v)", "Sound (*.m4a;*.aac)"};
  }
  void openDialogEntriesAsWritten() {
    QFETCH(bool, russian);
    QFETCH(QStringList, entries);
    muxer::MuxerWindow window(russian, job::ToolPaths::ForProgramDir("/p/"), "/p/k.ini");
    QStringList shown;
    QList<QStringList> patterns;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog != nullptr);
      auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
      for (int i = 0; i < types->count(); ++i) {
        shown << types->itemText(i);
        types->setCurrentIndex(i);
        emit types->activated(i);  // as a user's choice in the list
        patterns << dialog->findChild<QFileSystemModel*>()->nameFilters();
      }
      dialog->reject();
    });
    Press(&window, "add");
    QCOMPARE(shown, entries);
    QCOMPARE(patterns[0].size(), 7);
    QCOMPARE(patterns[1], (russian ? QStringList{"*.mp4", "*.h264", "*.264", "*.avc", "*.m4v"}
                                   : QStringList{"*.mp4", "*.264", "*.h264", "*.avc", "*.m4v"}));
    QCOMPARE(patterns[2], (QStringList{"*.m4a", "*.aac"}));
    QVERIFY(window.entries().isEmpty());
  }

  void windowTextsAndLayout() {
    muxer::MuxerWindow english(false, job::ToolPaths::ForProgramDir("/p/"), "/p/k.ini");
    QCOMPARE(english.size(), QSize(232, 81));
    QCOMPARE(english.windowTitle(), QString("mp4 Muxer"));
    QCOMPARE(english.findChild<QPushButton*>("mux")->text(), QString("Mux"));
    QVERIFY(english.windowFlags() & Qt::WindowStaysOnTopHint);
    muxer::MuxerWindow russian(true, job::ToolPaths::ForProgramDir("/p/"), "/p/k.ini");
    QCOMPARE(russian.windowTitle(), QString::fromUtf8("mp4 Муксер"));
    QCOMPARE(russian.findChild<QPushButton*>("add")->text(), QString::fromUtf8("Добавить"));
  }

  void addDeleteAndKeys() {
    ScriptedMuxer window(true, job::ToolPaths::ForProgramDir("/p/"), "/p/k.ini");
    window.answers = {"/c/one.264", "/c/film.m4v", "", "/c/two.AAC", "/c/three.mp4"};
    for (int i = 0; i < 5; ++i) Press(&window, "add");
    QCOMPARE(Shown(&window), (QStringList{"one.264", "two.AAC", "three.mp4"}));
    QCOMPARE(window.entries(), (QStringList{"/c/one.264", "/c/two.AAC", "/c/three.mp4"}));

    List(&window)->clearSelection();
    Press(&window, "delete");
    QTest::keyClick(List(&window), Qt::Key_Delete);
    QCOMPARE(window.entries().size(), 3);

    List(&window)->setCurrentRow(1);
    Press(&window, "delete");
    QCOMPARE(window.entries(), (QStringList{"/c/one.264", "/c/three.mp4"}));
    QCOMPARE(Shown(&window), (QStringList{"one.264", "three.mp4"}));

    List(&window)->setCurrentRow(0);
    QTest::keyClick(List(&window), Qt::Key_Backspace);
    QCOMPARE(window.entries(), QStringList{"/c/three.mp4"});

    window.addEntry("/c/four.h264");
    QTest::keyClick(List(&window), Qt::Key_F5);
    QVERIFY(window.entries().isEmpty());
    QCOMPARE(List(&window)->count(), 0);
  }

  void dropsTakeTheFirstFileOnly() {
    muxer::MuxerWindow window(true, job::ToolPaths::ForProgramDir("/p/"), "/p/k.ini");
    QList<QUrl> five;
    for (const char* name : {"a.mp4", "b.m4a", "c.aac", "d.264", "e.avc"}) five << QUrl::fromLocalFile(QString("/c/") + name);
    Drop(&window, five);
    QCOMPARE(window.entries(), QStringList{"/c/a.mp4"});
    Drop(&window, {QUrl::fromLocalFile("/c/song.mp3"), QUrl::fromLocalFile("/c/b.m4a")});
    QCOMPARE(window.entries(), QStringList{"/c/a.mp4"});
  }

  void closingEmptiesTheLists() {
    muxer::MuxerWindow window(true, job::ToolPaths::ForProgramDir("/p/"), "/p/k.ini");
    window.showCentredOn(nullptr);
    window.addEntry("/c/a.mp4");
    QVERIFY(window.close());
    QVERIFY(window.isHidden());
    QVERIFY(window.entries().isEmpty());
    QCOMPARE(List(&window)->count(), 0);
  }

  void buildUsesTheFirstTwoEntries() {
    StandInProgram program;
    QTemporaryDir clips;
    const QString video = clips.filePath("clip.264"), audio = clips.filePath("clip.m4a");
    Touch(video);
    Touch(clips.filePath("clip_muxed.mp4"));  // taken: the build must not overwrite it
    muxer::MuxerWindow window(false, job::ToolPaths::ForProgramDir(program.dir()), program.ini());
    window.addEntry(video);
    window.addEntry(audio);
    window.addEntry(clips.filePath("extra.aac"));
    Press(&window, "mux");

    const QString output = clips.filePath("clip1_muxed.mp4");
    QCOMPARE(program.recordedArgs(), (QStringList{"-add", video + "#1", "-add", audio, "-new", output,
                                                  "-itags", "tool=Kelvarion GUI _muxed"}));
    QVERIFY(QFileInfo(output).size() > 0);
    QVERIFY(window.entries().isEmpty());
    QCOMPARE(List(&window)->count(), 0);
    QCOMPARE(platform::IniFile(program.ini()).ReadString("Meta", "PathMuxed", ""), output.toStdString());
  }

  void buildWithOneEntryDoesNothing() {
    StandInProgram program;
    muxer::MuxerWindow window(false, job::ToolPaths::ForProgramDir(program.dir()), program.ini());
    window.addEntry("/c/clip.264");
    Press(&window, "mux");
    QVERIFY(!QFile::exists(program.argsFile()));
    QCOMPARE(window.entries().size(), 1);
    QCOMPARE(platform::IniFile(program.ini()).ReadString("Meta", "PathMuxed", "none"), std::string("none"));
  }

  // A build that fails shows why, leaves no file behind and records
  // nothing: the last good build stays the one the right click reveals.
  void failedBuildShowsWhyAndRecordsNothing_data() {
    QTest::addColumn<bool>("toolThere");
    QTest::addColumn<QByteArray>("behaviour");
    QTest::addColumn<QStringList>("details");  // lines the details hold
    QTest::newRow("no tool") << false << QByteArray()
                             << QStringList{"The program could not be started.", "/tools/MP4Box: No such file or directory"};
    QTest::newRow("tool fails with a message")
        << true << QByteArray("fail")
        << QStringList{"Exit code: 1", "Last lines of output:",
                       "  Error importing clip.264: Corrupted Data in file/stream"};
    QTest::newRow("tool writes nothing") << true << QByteArray("silent") << QStringList{"Exit code: 0", "No output file: "};
  }
  void failedBuildShowsWhyAndRecordsNothing() {
    QFETCH(bool, toolThere);
    QFETCH(QByteArray, behaviour);
    QFETCH(QStringList, details);
    StandInProgram program;
    if (!toolThere) QVERIFY(QFile::remove(program.root.filePath("tools/MP4Box")));
    qputenv("STANDIN_MP4BOX", behaviour);
    QTemporaryDir clips;
    const QString video = clips.filePath("clip.264"), audio = clips.filePath("clip.m4a");
    Touch(video);
    Touch(audio);
    platform::IniFile(program.ini()).WriteString("Meta", "PathMuxed", "/earlier/good_muxed.mp4");
    QList<desktop::MessageRequest> boxes;
    desktop::SetMessageHandler([&](const desktop::MessageRequest& request) {
      boxes << request;
      return QMessageBox::Ok;
    });
    muxer::MuxerWindow window(false, job::ToolPaths::ForProgramDir(program.dir()), program.ini());
    window.addEntry(video);
    window.addEntry(audio);
    Press(&window, "mux");
    desktop::SetMessageHandler({});
    qunsetenv("STANDIN_MP4BOX");

    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].icon, QMessageBox::Critical);
    QCOMPARE(boxes[0].text, QString("The file could not be muxed."));
    QVERIFY2(boxes[0].details.startsWith("Command: \"" + program.root.filePath("tools/MP4Box") + "\" -add"),
             qPrintable(boxes[0].details));
    for (QString line : details) {
      line.replace("/tools/", program.root.filePath("tools/"));
      QVERIFY2(boxes[0].details.contains(line), qPrintable(boxes[0].details));
    }
    QVERIFY(!QFile::exists(clips.filePath("clip_muxed.mp4")));
    QVERIFY(window.entries().isEmpty());
    QCOMPARE(platform::IniFile(program.ini()).ReadString("Meta", "PathMuxed", ""), std::string("/earlier/good_muxed.mp4"));
  }

  void escapeClosesTheWindow() {
    muxer::MuxerWindow window(true, job::ToolPaths::ForProgramDir("/p/"), "/p/k.ini");
    window.showCentredOn(nullptr);
    window.addEntry("/c/a.mp4");
    List(&window)->setFocus();
    QTest::keyClick(List(&window), Qt::Key_Escape);
    QVERIFY(window.isHidden());
    QVERIFY(window.entries().isEmpty());
  }

  void rightClickWithAMissingOutputDoesNothing() {
    QTemporaryDir dir;
    const std::string ini = dir.filePath("k.ini").toStdString();
    platform::IniFile(ini).WriteString("Meta", "PathMuxed", dir.filePath("gone.mp4").toStdString());
    muxer::MuxerWindow window(false, job::ToolPaths::ForProgramDir("/p/"), ini);
    window.addEntry("/c/a.mp4");
    QTest::mouseClick(List(&window)->viewport(), Qt::RightButton);
    QCOMPARE(window.entries(), QStringList{"/c/a.mp4"});
    // What the click asks for: nothing for a missing file, a folder or no name.
    QVERIFY(!desktop::RevealInFileManager(dir.filePath("gone.mp4").toStdString()));
    QVERIFY(!desktop::RevealInFileManager(dir.path().toStdString()));
    QVERIFY(!desktop::RevealInFileManager(""));
  }
};

QTEST_MAIN(MuxerWindowTest)
#include "muxer_window_test.moc"
