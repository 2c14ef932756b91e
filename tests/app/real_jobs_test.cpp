// Whole jobs through the main window with the real tools, on clips made
// with ffmpeg, their outputs checked with ffprobe.
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTimer>
#include <QJsonArray>
#include <QLineEdit>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "app/main_window.h"
#include "desktop/message_box.h"
#include "tests/app/no_actions.h"
#include "intake/frame_rate_chooser.h"

#include <unistd.h>

namespace {

// A program folder whose tools/ holds the real tools of this build.
class RealProgramFolder {
 public:
  // `name` is the program folder's own name inside a temporary folder.
  explicit RealProgramFolder(const QString& name = "program") : root_(dir_.filePath(name)) {
    QDir(root_).mkpath("tools/temp");
    QDir(root_).mkpath("media");
    const QString built = qEnvironmentVariable("KELVARION_BUILD_DIR") + "/tools/";
    // Hard links (or copies): a process started through one is known by the
    // link's own path, so that closing this test's program ends only the
    // tools it started, never those of another test or suite run from the
    // build's folder. A symbolic link would resolve to that folder.
    for (const char* tool : {"x264", "x264_64", "avs4x264mod", "avs2pipemod", "neroAacEnc", "MP4Box"}) {
      const QString copy = path(QString("tools/") + tool);
      if (::link(QFile::encodeName(built + tool).constData(), QFile::encodeName(copy).constData()) != 0)
        QFile::copy(built + tool, copy);
    }
  }
  std::string programDir() const { return root_.toStdString() + "/"; }
  QString path(const QString& relative) const { return QDir(root_).filePath(relative); }
  QString media(const QString& name) const { return path("media/" + name); }

  bool ffmpeg(const QStringList& args) const {
    QProcess p;
    p.setWorkingDirectory(path("media"));
    p.start("ffmpeg", QStringList{"-nostdin", "-loglevel", "error", "-y"} + args);
    return p.waitForFinished(120000) && p.exitCode() == 0;
  }

 private:
  QTemporaryDir dir_;
  QString root_;
};

QJsonObject Probe(const QString& file) {
  QProcess p;
  p.start("ffprobe", {"-v", "error", "-count_frames", "-show_streams", "-show_format", "-of", "json", file});
  p.waitForFinished(60000);
  return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

QJsonObject Stream(const QJsonObject& probe, const QString& type) {
  for (const QJsonValue& s : probe["streams"].toArray()) {
    if (s["codec_type"].toString() == type) return s.toObject();
  }
  return {};
}

QString Tag(const QJsonObject& probe, const QString& name) { return probe["format"]["tags"][name].toString(); }

}  // namespace

class RealJobsTest : public QObject {
  Q_OBJECT

  NoActions actions_;
  QStringList messages_;

  std::unique_ptr<app::MainWindow> Open(const RealProgramFolder& folder, const QStringList& arguments = {}) {
    app::StartupOptions options;
    options.paths = job::ToolPaths::ForProgramDir(folder.programDir());
    options.arguments = arguments;
    options.system64Bit = true;
    options.afterJobActions = &actions_;
    auto window = std::make_unique<app::MainWindow>(options);
    window->show();
    return window;
  }

  static void Tick(app::MainWindow& window, std::initializer_list<const char*> boxes) {
    for (QCheckBox* box : window.findChildren<QCheckBox*>()) {
      box->setChecked(std::find(boxes.begin(), boxes.end(), box->text()) != boxes.end());
    }
  }

  void RunJob(app::MainWindow& window, const QString& source) {
    messages_.clear();
    window.setSource(source);
    window.StartBtnClick();
    QTRY_COMPARE_WITH_TIMEOUT(window.driver().state(), job::JobState::Idle, 600000);
  }

 private slots:
  void init() {
    desktop::SetMessageHandler([this](const desktop::MessageRequest& r) {
      messages_ << r.text;
      return QMessageBox::Ok;
    });
  }

  void aviWithSoundInAllModes() {
    RealProgramFolder folder;
    QVERIFY(folder.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=1280x720:r=25:d=2", "-f", "lavfi", "-i",
                           "sine=f=440:r=96000:d=2", "-ac", "2", "-c:v", "mpeg4", "-q:v", "4", "-c:a", "pcm_s16le",
                           "clip.avi"}));
    auto window = Open(folder);
    for (QLineEdit* edit : window->findChildren<QLineEdit*>()) {
      if (edit->geometry().topLeft() == QPoint(8, 40)) edit->setText("Ann \"the\" Аня");
      if (edit->geometry().topLeft() == QPoint(160, 40)) edit->setText("Night: run");
    }
    Tick(*window, {"Preview", "Standard", "Deluxe"});
    RunJob(*window, folder.media("clip.avi"));
    QCOMPARE(messages_, QStringList{"All tasks are complete!"});

    struct Expect {
      const char* suffix;
      int width, height, rate;
    };
    for (const Expect& e : {Expect{"preview", 480, 270, 44100}, Expect{"standard", 768, 432, 48000},
                            Expect{"deluxe", 1280, 720, 48000}}) {
      const QString out = folder.media(QString("clip_%1.mp4").arg(e.suffix));
      const QJsonObject probe = Probe(out);
      const QJsonObject video = Stream(probe, "video");
      const QJsonObject audio = Stream(probe, "audio");
      QCOMPARE(video["codec_name"].toString(), QString("h264"));
      QCOMPARE(video["width"].toInt(), e.width);
      QCOMPARE(video["height"].toInt(), e.height);
      QCOMPARE(video["r_frame_rate"].toString(), QString("25/1"));
      QCOMPARE(video["nb_read_frames"].toString(), QString("50"));
      QCOMPARE(video["tags"]["handler_name"].toString(), QString("Kelvarion 4.0.0"));
      QCOMPARE(audio["codec_name"].toString(), QString("aac"));
      QCOMPARE(audio["sample_rate"].toString().toInt(), e.rate);
      QCOMPARE(audio["channels"].toInt(), 2);
      QVERIFY(qAbs(probe["format"]["duration"].toString().toDouble() - 2.0) < 0.1);
      QCOMPARE(Tag(probe, "artist"), QString("Ann \"the\" Аня"));
      QCOMPARE(Tag(probe, "title"), QString("Night: run"));
      QCOMPARE(Tag(probe, "encoder"), QString("Kelvarion GUI 4.0_%1").arg(e.suffix));
    }
    QCOMPARE(QDir(folder.path("tools/temp")).entryList(QDir::Files), QStringList());

    // A second job numbers its outputs and overwrites nothing.
    Tick(*window, {"Preview"});
    RunJob(*window, folder.media("clip.avi"));
    QVERIFY(QFile::exists(folder.media("clip1_preview.mp4")));
    window->close();
  }

  void silentAviAt23976() {
    RealProgramFolder folder;
    QVERIFY(folder.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240:r=24000/1001:d=2", "-c:v", "mpeg4", "silent.avi"}));
    auto window = Open(folder, {"debug"});
    Tick(*window, {"Deluxe"});
    RunJob(*window, folder.media("silent.avi"));
    QCOMPARE(messages_, QStringList{"All tasks are complete!"});
    const QJsonObject probe = Probe(folder.media("silent_deluxe.mp4"));
    QCOMPARE(Stream(probe, "video")["r_frame_rate"].toString(), QString("24000/1001"));
    QVERIFY(Stream(probe, "audio").isEmpty());
    QFile log(folder.path("tools/temp/DebugInfo.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray commands = log.readAll();
    QVERIFY(commands.contains("--keyint 240 --min-keyint 24 --no-fast-pskip --crf 17"));
    QVERIFY(!commands.contains("neroAacEnc"));
    window->close();
  }

  void scriptAndSoundSources() {
    RealProgramFolder folder;
    QVERIFY(folder.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240:r=30000/1001:d=1", "-f", "lavfi", "-i",
                           "sine=r=32000:d=1", "-c:v", "mpeg4", "-c:a", "pcm_s16le", "clip.avi"}));
    QFile avs(folder.media("user.avs"));
    QVERIFY(avs.open(QIODevice::WriteOnly));
    avs.write(("AviSource(\"" + folder.media("clip.avi") + "\").Trim(0, 19)\n").toUtf8());
    avs.close();
    auto window = Open(folder);
    Tick(*window, {"Preview"});
    RunJob(*window, folder.media("user.avs"));
    QCOMPARE(messages_, QStringList{"All tasks are complete!"});
    QJsonObject probe = Probe(folder.media("user_preview.mp4"));
    QCOMPARE(Stream(probe, "video")["r_frame_rate"].toString(), QString("30000/1001"));
    QCOMPARE(Stream(probe, "video")["nb_read_frames"].toString(), QString("20"));
    QCOMPARE(Stream(probe, "audio")["sample_rate"].toString(), QString("32000"));

    QVERIFY(folder.ffmpeg({"-f", "lavfi", "-i", "sine=r=96000:d=1", "-ac", "2", "song.wav"}));
    Tick(*window, {"Preview", "Deluxe"});
    RunJob(*window, folder.media("song.wav"));
    QCOMPARE(messages_, QStringList{"All tasks are complete!"});
    probe = Probe(folder.media("song_deluxe.m4a"));
    QCOMPARE(Stream(probe, "audio")["codec_name"].toString(), QString("aac"));
    QCOMPARE(Stream(probe, "audio")["sample_rate"].toString(), QString("48000"));
    QVERIFY(Stream(probe, "video").isEmpty());
    QVERIFY(QFile::exists(folder.media("song_preview.m4a")));
    window->close();
  }

  // The chooser asks for the rate and an optional sound; it is answered
  // as soon as it shows.
  void imageSequences() {
    RealProgramFolder folder;
    QVERIFY(folder.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=1", "shot%04d.png"}));
    QVERIFY(folder.ffmpeg({"-f", "lavfi", "-i", "sine=r=44100:d=1", "music.wav"}));
    auto window = Open(folder);
    Tick(*window, {"Preview"});
    QString wav;
    const auto answerChooser = [&] {
      QTimer::singleShot(200, [&] {
        auto* chooser = qobject_cast<intake::FrameRateChooser*>(QApplication::activeModalWidget());
        QVERIFY(chooser != nullptr);
        QCOMPARE(chooser->firstFrame(), 1);
        QCOMPARE(chooser->lastFrame(), 25);
        if (wav.isEmpty()) {
          chooser->detachWav();
        } else {
          chooser->attachWav(wav);
        }
        for (QPushButton* ok : chooser->findChildren<QPushButton*>()) ok->click();
      });
    };
    answerChooser();
    RunJob(*window, folder.media("shot0007.png"));
    QCOMPARE(messages_, QStringList{"All tasks are complete!"});
    QJsonObject probe = Probe(folder.media("shot0007_preview.mp4"));
    QCOMPARE(Stream(probe, "video")["nb_read_frames"].toString(), QString("25"));
    QCOMPARE(Stream(probe, "video")["r_frame_rate"].toString(), QString("25/1"));
    QVERIFY(Stream(probe, "audio").isEmpty());

    wav = folder.media("music.wav");
    answerChooser();
    RunJob(*window, folder.media("shot0007.png"));
    QCOMPARE(messages_, QStringList{"All tasks are complete!"});
    probe = Probe(folder.media("shot00071_preview.mp4"));
    QCOMPARE(Stream(probe, "audio")["sample_rate"].toString(), QString("44100"));
    window->close();
  }

  void vapourSynthAndSideCar() {
    RealProgramFolder folder;
    QVERIFY(folder.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=1", "-f", "lavfi", "-i",
                           "sine=r=48000:d=1", "-c:v", "mpeg4", "-c:a", "pcm_s16le", "clip.avi"}));
    QDir(folder.path("")).mkdir("bin");
    QFile vspipe(folder.path("bin/vspipe"));
    QVERIFY(vspipe.open(QIODevice::WriteOnly));
    // Renders the AVI that the script names, as the real one would.
    vspipe.write("#!/bin/sh\n"
                 "[ \"$1 $2\" = \"-c y4m\" ] || exit 2\n"
                 "exec ffmpeg -nostdin -loglevel error -i \"$(dirname \"$3\")/clip.avi\" -f yuv4mpegpipe "
                 "-pix_fmt yuv420p -\n");
    vspipe.close();
    QFile::setPermissions(vspipe.fileName(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", folder.path("bin").toUtf8() + ":" + savedPath);
    QFile vpy(folder.media("clip.vpy"));
    QVERIFY(vpy.open(QIODevice::WriteOnly));
    vpy.write(("import vapoursynth as vs\nclip = vs.core.avisource.AVISource(path=r\"" + folder.media("clip.avi") +
               "\")\nclip.set_output()\n").toUtf8());
    vpy.close();
    // A sound file beside the source is muxed as it is by Deluxe.
    QVERIFY(folder.ffmpeg({"-f", "lavfi", "-i", "sine=f=1000:r=22050:d=1", "-c:a", "aac", "clip.m4a"}));
    auto window = Open(folder);
    Tick(*window, {"Deluxe"});
    RunJob(*window, folder.media("clip.vpy"));
    qputenv("PATH", savedPath);
    QCOMPARE(messages_, QStringList{"All tasks are complete!"});
    const QJsonObject probe = Probe(folder.media("clip_deluxe.mp4"));
    QCOMPARE(Stream(probe, "video")["nb_read_frames"].toString(), QString("25"));
    QCOMPARE(Stream(probe, "audio")["sample_rate"].toString(), QString("22050"));
    window->close();
  }

  // Quotes, shell characters, backslashes and Cyrillic in the program
  // folder and in the source's name reach every tool unchanged.
  void awkwardPaths() {
    RealProgramFolder folder("prog \"q\" $HOME `id` \\b Тест");
    QVERIFY(folder.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=1", "-f", "lavfi", "-i",
                           "sine=r=48000:d=1", "-c:v", "mpeg4", "-c:a", "pcm_s16le", "клип \"1\" $x.avi"}));
    auto window = Open(folder);
    Tick(*window, {"Preview"});
    RunJob(*window, folder.media("клип \"1\" $x.avi"));
    QCOMPARE(messages_, QStringList{"All tasks are complete!"});
    const QJsonObject probe = Probe(folder.media("клип \"1\" $x_preview.mp4"));
    QCOMPARE(Stream(probe, "video")["nb_read_frames"].toString(), QString("25"));
    QCOMPARE(Stream(probe, "audio")["codec_name"].toString(), QString("aac"));
    window->close();
  }

  // Preview promises its size in tenths of a megabyte per minute of clip.
  void previewKeepsItsSizeOnNoise() {
    RealProgramFolder folder;
    const int seconds = 8;
    QVERIFY(folder.ffmpeg({"-f", "lavfi", "-i", QString("nullsrc=s=640x360:r=25:d=%1,geq=random(1)*255:128:128").arg(seconds),
                           "-f", "lavfi", "-i", QString("anoisesrc=r=48000:d=%1").arg(seconds), "-ac", "2",
                           "-c:v", "mpeg4", "-q:v", "2", "-c:a", "pcm_s16le", "noise.avi"}));
    auto window = Open(folder);
    Tick(*window, {"Preview"});
    RunJob(*window, folder.media("noise.avi"));
    QCOMPARE(messages_, QStringList{"All tasks are complete!"});
    const double promised = 40 / 10.0 * 1024 * 1000 * seconds / 60.0;  // 1 MB = 1024 x 8 kbit
    const double size = QFileInfo(folder.media("noise_preview.mp4")).size();
    qInfo("Preview on noise: %.0f bytes, %.3f of the promised %.0f", size, size / promised, promised);
    QVERIFY2(qAbs(size / promised - 1.0) < 0.15, qPrintable(QString("%1 bytes for %2").arg(size).arg(promised)));
    window->close();
  }
};

QTEST_MAIN(RealJobsTest)
#include "real_jobs_test.moc"
