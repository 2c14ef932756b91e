// Runtime functions: scripts run for each frame (ScriptClip, FrameEvaluate,
// ConditionalFilter) pick the right frame for the right number, and the
// plane averages match ffmpeg's signalstats frame by frame.
#include "media_fixture.h"
#include "tools/engine/reading.h"

#include <QProcess>
#include <QtTest>

#include <functional>
#include <thread>

class RuntimeFunctionsTest : public QObject {
  Q_OBJECT

  MediaFolder media_;

  static constexpr int kFrames = 8;

  // Frame n of a script's clip, as bytes.
  QByteArray FrameOf(const QString& script, int64_t n) {
    const avs::ClipPtr clip = EvaluateClip(script, media_.dir());
    avs::Reading reading;
    return PictureBytes(*reading.Frame(*clip, n));
  }

  // Checks that frame n of `script` is frame expected(n) of `reference`,
  // for every frame, read in order.
  void ComparesFrames(const QString& script, const QString& reference, const std::function<QString(int)>& expected) {
    const avs::ClipPtr clip = EvaluateClip(script, media_.dir());
    QCOMPARE(clip->info().frameCount, kFrames);
    avs::Reading reading;
    for (int n = 0; n < kFrames; ++n) {
      const QString want = expected(n);
      QVERIFY2(PictureBytes(*reading.Frame(*clip, n)) == FrameOf(reference + want, 0),
               qPrintable(QString("frame %1, expected %2").arg(n).arg(want)));
    }
  }

  // The message reading every frame of a script gives, or "no error".
  QString ReadingError(const QString& script) {
    try {
      const avs::ClipPtr clip = EvaluateClip(script, media_.dir());
      avs::Reading reading;
      for (int64_t n = 0; n < clip->info().frameCount; ++n) reading.Frame(*clip, n);
    } catch (const avs::ScriptError& e) {
      return QString::fromStdString(e.what());
    }
    return "no error";
  }

 private slots:
  void initTestCase() {
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=64x48:r=25", "-f", "lavfi", "-i",
                           "sine=frequency=440:sample_rate=8000", "-frames:v", QString::number(kFrames), "-c:v",
                           "ffv1", "-pix_fmt", "yuv420p", "-c:a", "pcm_s16le", "-shortest", "clip.avi"}));
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "mandelbrot=s=64x48:r=25", "-frames:v", QString::number(kFrames),
                           "-c:v", "ffv1", "-pix_fmt", "yuv420p", "other.avi"}));
  }

  void averagesMatchSignalstats() {
    media_.script("avg.avs", "AviSource(\"clip.avi\")\n"
                             "WriteFile(\"avg.txt\", \"AverageLuma()\", \"\"\" \" \" \"\"\", \"AverageChromaU()\", "
                             "\"\"\" \" \" \"\"\", \"AverageChromaV()\", \"\"\" \" \" \"\"\", "
                             "\"AverageLuma(last, 1)\")\n");
    const ToolRun run = RunTool({"-y4mp", media_.path("avg.avs")}, media_.dir());
    QVERIFY2(run.exitCode == 0, run.err.constData());
    const QStringList ours = QString(media_.read("avg.txt")).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(ours.size(), kFrames);

    QProcess ffprobe;
    ffprobe.setWorkingDirectory(media_.dir());
    ffprobe.start("ffprobe", {"-v", "error", "-f", "lavfi", "-i", "movie=clip.avi,signalstats", "-show_entries",
                              "frame_tags=lavfi.signalstats.YAVG,lavfi.signalstats.UAVG,lavfi.signalstats.VAVG",
                              "-of", "default=nw=1"});
    QVERIFY(ffprobe.waitForFinished(30000));
    QMap<QString, QList<double>> theirs;
    for (const QString& line : QString(ffprobe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
      const QStringList parts = line.section("signalstats.", 1).split('=');
      if (parts.size() == 2) theirs[parts[0]] << parts[1].toDouble();
    }
    QCOMPARE(theirs["YAVG"].size(), kFrames);
    for (int n = 0; n < kFrames; ++n) {
      const QStringList values = ours[n].split(' ');
      QCOMPARE(values.size(), 4);
      QVERIFY2(qAbs(values[0].toDouble() - theirs["YAVG"][n]) < 0.01, qPrintable(ours[n]));
      QVERIFY2(qAbs(values[1].toDouble() - theirs["UAVG"][n]) < 0.01, qPrintable(ours[n]));
      QVERIFY2(qAbs(values[2].toDouble() - theirs["VAVG"][n]) < 0.01, qPrintable(ours[n]));
      // The offset reads the next frame, the last frame standing for those past it.
      QVERIFY2(qAbs(values[3].toDouble() - theirs["YAVG"][std::min(n + 1, kFrames - 1)]) < 0.01, qPrintable(ours[n]));
    }
  }

  void scriptClipShowsFrameNOfItsScriptsClip() {
    const QString source = "AviSource(\"clip.avi\")";
    // current_frame is the frame's own number: every third frame inverted.
    ComparesFrames(source + ".ScriptClip(\"current_frame % 3 == 0 ? Invert() : last\")", source,
                   [](int n) { return n % 3 == 0 ? QString(".Invert().Trim(%1, -1)").arg(n)
                                                 : QString(".Trim(%1, -1)").arg(n); });
    // The script's clip is read at the frame's number, not at its start:
    // frame n of Trim(n % 2, 0) is frame n + n % 2, clamped to the last.
    ComparesFrames(source + ".ScriptClip(\"Trim(current_frame % 2, 0)\")", source,
                   [](int n) { return QString(".Trim(%1, -1)").arg(std::min(n + n % 2, kFrames - 1)); });
    // Variables of the script as they stood at the call are seen, other
    // clips included; a multi-line script's value is its last line's.
    ComparesFrames("o = AviSource(\"other.avi\")\nlimit = 4\n" + source +
                       ".ScriptClip(\"\"\"\n  later = current_frame >= limit\n  later ? o : last\n\"\"\")",
                   "", [](int n) {
                     return QString(n >= 4 ? "AviSource(\"other.avi\")" : "AviSource(\"clip.avi\")") +
                            QString(".Trim(%1, -1)").arg(n);
                   });
    // FrameEvaluate runs its script and shows its input.
    ComparesFrames(source + ".FrameEvaluate(\"x = Invert()\")", source,
                   [](int n) { return QString(".Trim(%1, -1)").arg(n); });
  }

  void conditionalFilterChoosesPerFrame() {
    const QString sources = "a = AviSource(\"clip.avi\")\nb = AviSource(\"other.avi\")\n";
    const auto pick = [](bool first, int n) {
      return QString(first ? "AviSource(\"clip.avi\")" : "AviSource(\"other.avi\")") + QString(".Trim(%1, -1)").arg(n);
    };
    ComparesFrames(sources + "ConditionalFilter(a, a, b, \"current_frame\", \"<\", \"3\")", "",
                   [&](int n) { return pick(n < 3, n); });
    ComparesFrames(sources + "ConditionalFilter(a, a, b, \"current_frame\", \"=\", \"5\")", "",
                   [&](int n) { return pick(n == 5, n); });
    ComparesFrames(sources + "ConditionalFilter(a, a, b, \"current_frame\", \"<>\", \"5\")", "",
                   [&](int n) { return pick(n != 5, n); });
    // The one-expression form takes a bool; `last` in it is the test
    // clip (b), not source1 (a), whose pictures differ on every frame.
    ComparesFrames(sources + "ConditionalFilter(a, a, b, \"current_frame % 2 == 0\")", "",
                   [&](int n) { return pick(n % 2 == 0, n); });
    ComparesFrames(sources + "ConditionalFilter(b, a, b, \"AverageLuma() == AverageLuma(b)\")", "",
                   [&](int n) { return pick(true, n); });
    ComparesFrames(sources + "ConditionalFilter(b, a, b, \"AverageLuma() == AverageLuma(a)\")", "",
                   [&](int n) { return pick(false, n); });
  }

  void runtimeFailuresAreReported_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    const QString clip = "AviSource(\"clip.avi\")";
    QTest::newRow("no clip") << clip + ".ScriptClip(\"current_frame\")" << "gives an int, not a clip";
    QTest::newRow("size changed") << clip + ".ScriptClip(\"Crop(0, 0, 32, 32)\")" << "keep the size";
    QTest::newRow("script error") << clip + R"x(.FrameEvaluate("""Assert(current_frame < 5, "five")"""))x"
                                  << "five";
    QTest::newRow("no bool") << "ConditionalFilter(" + clip + ", " + clip + ", " + clip + ", \"current_frame\")"
                             << "not a bool";
    QTest::newRow("operator") << "ConditionalFilter(" + clip + ", " + clip + ", " + clip + ", \"1\", \"=<\", \"2\")"
                              << "unknown operator \"=<\"";
    QTest::newRow("sizes differ") << "ConditionalFilter(" + clip + ", " + clip + ", " + clip +
                                         ".Crop(0, 0, 32, 32), \"true\")"
                                  << "same size";
    QTest::newRow("outside") << clip + ".AverageLuma()" << "only be used inside ScriptClip";
    QTest::newRow("rgb") << clip + ".ConvertToRGB32().ScriptClip(\"AverageLuma() > 0 ? last : last\")"
                         << "needs an 8-bit planar YUV clip";
  }
  void runtimeFailuresAreReported() {
    QFETCH(QString, script);
    QFETCH(QString, message);
    const QString error = ReadingError(script);
    QVERIFY2(error.startsWith("t.avs, line 1") && error.contains(message), qPrintable(error));
  }

  // A runtime script that makes a runtime script without end stops with a
  // message on any thread: the evaluations nest across the interpreters of
  // the runtime scripts (once a stack overflow, on the reading thread of
  // x264 as on the main one).
  void runtimeScriptsNestWithinTheStack() {
    const QString script = "function f(clip c) { return ScriptClip(c, \"f(last)\") }\nAviSource(\"clip.avi\").f()";
    QString onMain = ReadingError(script), onThread;
    std::thread([&] { onThread = ReadingError(script); }).join();
    for (const QString& error : {onMain, onThread})
      QVERIFY2(error.startsWith("t.avs, line 1") && error.contains(" nest"), qPrintable(error));
    // Nesting that ends is no fault.
    const QString twice = R"x(AviSource("clip.avi").ScriptClip("""ScriptClip(last, "last")"""))x";
    QCOMPARE(ReadingError(twice), QString("no error"));
  }

  void soundComesFromTheSource() {
    const avs::ClipPtr chosen = EvaluateClip(
        "a = AviSource(\"clip.avi\")\nConditionalFilter(a.KillAudio(), a, a.KillAudio(), \"true\")", media_.dir());
    QVERIFY(chosen->info().hasAudio);
    QVERIFY(EvaluateClip("AviSource(\"clip.avi\").ScriptClip(\"last\")", media_.dir())->info().hasAudio);
  }
};

QTEST_GUILESS_MAIN(RuntimeFunctionsTest)
#include "tst_runtime_functions.moc"
