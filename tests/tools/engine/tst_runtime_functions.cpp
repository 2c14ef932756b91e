// Runtime functions: scripts run for each frame (ScriptClip, FrameEvaluate,
// ConditionalFilter, ConditionalSelect) pick the right frame for the right
// number, ConditionalReader's values reach them, and the measures of frames
// match ffmpeg's signalstats frame by frame.
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

  // Averages, extremes (with 10% left out at either end, as signalstats's
  // YLOW and YHIGH) and differences from the frame before.
  void measuresMatchSignalstats() {
    QStringList measures = {"AverageLuma()", "AverageChromaU()", "AverageChromaV()", "AverageLuma(last, 1)",
                            "YPlaneMin()", "YPlaneMax()", "YPlaneMin(last, 10)", "YPlaneMax(last, 10)",
                            "YDifferenceFromPrevious()", "UDifferenceFromPrevious()", "VPlaneMinMaxDifference()"};
    media_.script("avg.avs", "AviSource(\"clip.avi\")\nWriteFile(\"avg.txt\", \"" +
                                 measures.join("\", \"Chr(32)\", \"") + "\")\n");
    const ToolRun run = RunTool({"-y4mp", media_.path("avg.avs")}, media_.dir());
    QVERIFY2(run.exitCode == 0, run.err.constData());
    const QStringList ours = QString(media_.read("avg.txt")).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(ours.size(), kFrames);

    QProcess ffprobe;
    ffprobe.setWorkingDirectory(media_.dir());
    ffprobe.start("ffprobe", {"-v", "error", "-f", "lavfi", "-i", "movie=clip.avi,signalstats", "-show_entries",
                              "frame_tags=lavfi.signalstats.YAVG,lavfi.signalstats.UAVG,lavfi.signalstats.VAVG,"
                              "lavfi.signalstats.YMIN,lavfi.signalstats.YMAX,lavfi.signalstats.YLOW,"
                              "lavfi.signalstats.YHIGH,lavfi.signalstats.YDIF,lavfi.signalstats.UDIF,"
                              "lavfi.signalstats.VMIN,lavfi.signalstats.VMAX",
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
      QCOMPARE(values.size(), measures.size());
      const auto near = [&](int i, double expected, double tolerance) {
        return qAbs(values[i].toDouble() - expected) <= tolerance;
      };
      QVERIFY2(near(0, theirs["YAVG"][n], 0.01), qPrintable(ours[n]));
      QVERIFY2(near(1, theirs["UAVG"][n], 0.01), qPrintable(ours[n]));
      QVERIFY2(near(2, theirs["VAVG"][n], 0.01), qPrintable(ours[n]));
      // The offset reads the next frame, the last frame standing for those past it.
      QVERIFY2(near(3, theirs["YAVG"][std::min(n + 1, kFrames - 1)], 0.01), qPrintable(ours[n]));
      QVERIFY2(near(4, theirs["YMIN"][n], 0) && near(5, theirs["YMAX"][n], 0), qPrintable(ours[n]));
      QVERIFY2(near(6, theirs["YLOW"][n], 1) && near(7, theirs["YHIGH"][n], 1), qPrintable(ours[n]));
      QVERIFY2(near(8, theirs["YDIF"][n], 0.01) && near(9, theirs["UDIF"][n], 0.01), qPrintable(ours[n]));
      QVERIFY2(near(10, theirs["VMAX"][n] - theirs["VMIN"][n], 0), qPrintable(ours[n]));
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
    // The operators' documented names.
    ComparesFrames(sources + "ConditionalFilter(a, a, b, \"current_frame\", \"lessthan\", \"3\")", "",
                   [&](int n) { return pick(n < 3, n); });
    ComparesFrames(sources + "ConditionalFilter(a, a, b, \"current_frame\", \"GreaterThan\", \"6\")", "",
                   [&](int n) { return pick(n > 6, n); });
    ComparesFrames(sources + "ConditionalFilter(a, a, b, \"current_frame\", \"equals\", \"4\")", "",
                   [&](int n) { return pick(n == 4, n); });
    // The one-expression form takes a bool; `last` in it is the test
    // clip (b), not source1 (a), whose pictures differ on every frame.
    ComparesFrames(sources + "ConditionalFilter(a, a, b, \"current_frame % 2 == 0\")", "",
                   [&](int n) { return pick(n % 2 == 0, n); });
    ComparesFrames(sources + "ConditionalFilter(b, a, b, \"AverageLuma() == AverageLuma(b)\")", "",
                   [&](int n) { return pick(true, n); });
    ComparesFrames(sources + "ConditionalFilter(b, a, b, \"AverageLuma() == AverageLuma(a)\")", "",
                   [&](int n) { return pick(false, n); });
  }

  // ConditionalSelect shows the source the expression numbers.
  void conditionalSelectPicksASource() {
    const QString sources = "a = AviSource(\"clip.avi\")\nb = AviSource(\"other.avi\")\n";
    ComparesFrames(sources + "ConditionalSelect(a, \"current_frame % 3\", a, b, a.Invert())", "", [](int n) {
      const char* kSources[] = {"AviSource(\"clip.avi\")", "AviSource(\"other.avi\")", "AviSource(\"clip.avi\").Invert()"};
      return QString(kSources[n % 3]) + QString(".Trim(%1, -1)").arg(n);
    });
  }

  // ConditionalReader's values reach the runtime scripts placed before it,
  // frame by frame: single frames, ranges, later lines overruling earlier
  // ones, OFFSET, the default, and interpolation.
  void conditionalReaderSetsVariables() {
    const QString source = "AviSource(\"clip.avi\")";
    media_.write("flags.txt", "# frames to invert\n; comments of every kind\nType Bool\nDefault False\n\n"
                              "2 True\nR 4 6 yes\n5 F\n");
    ComparesFrames(source + ".ScriptClip(\"flip ? Invert() : last\").ConditionalReader(\"flags.txt\", \"flip\")", source,
                   [](int n) { return QString(n == 2 || n == 4 || n == 6 ? ".Invert()" : "") + QString(".Trim(%1, -1)").arg(n); });
    // The documented replacement of ApplyRange: ConditionalFilter on a bool.
    ComparesFrames("a = " + source + "\nb = a.FlipVertical()\n"
                   "ConditionalFilter(a, a, b, \"MyVar\", \"==\", \"False\").ConditionalReader(\"flags.txt\", \"MyVar\")",
                   source, [](int n) { return QString(n == 2 || n == 4 || n == 6 ? ".FlipVertical()" : "") +
                                              QString(".Trim(%1, -1)").arg(n); });
    media_.write("levels.txt", "TYPE int\nDEFAULT -1\nOFFSET 1\nI 0 4 0 40\n3 7\nR 6 9 99\n");
    media_.write("names.txt", "Type string\nDefault\nR 1 2 a \"quoted\" string\n");
    media_.script("cr.avs", source + ".WriteFile(\"cr.txt\", \"level\", \"Chr(32)\", \"name\")\n"
                                     "ConditionalReader(\"levels.txt\", \"level\").ConditionalReader(\"names.txt\", \"na\", "
                                     "condvarsuffix=\"me\")\n");
    const ToolRun run = RunTool({"-y4mp", media_.path("cr.avs")}, media_.dir());
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(QString(media_.read("cr.txt")).split('\n', Qt::SkipEmptyParts),
             QStringList({"-1 ", "0 a \"quoted\" string", "10 a \"quoted\" string", "20 ", "7 ", "40 ", "-1 ", "99 "}));
  }

  void conditionalReaderRefusals_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");
    QTest::newRow("no type") << "Default 3\n" << "line 1: the TYPE line must come first";
    QTest::newRow("unknown type") << "Type double\n" << "line 1: unknown TYPE \"double\"";
    QTest::newRow("two types") << "Type int\nType float\n" << "line 2: a second TYPE line";
    QTest::newRow("bad value") << "Type int\n\n4 four\n" << "line 3: \"four\" is not an int";
    QTest::newRow("bad bool") << "Type bool\n4 maybe\n" << "line 2: \"maybe\" is not a bool";
    QTest::newRow("backwards range") << "Type int\nR 5 2 1\n" << "line 2: the range ends before it starts";
    QTest::newRow("interpolated bools") << "Type bool\nI 1 2 true false\n" << "only ints and floats can be interpolated";
    QTest::newRow("stray word") << "Type float\nX 1 2\n" << "line 2: \"x\" is neither a frame number";
    QTest::newRow("trailing words") << "Type float\n1 2.5 3.5\n" << "line 2: \"3.5\" follows the value";
    QTest::newRow("empty") << "" << "the file has no TYPE line";
  }
  void conditionalReaderRefusals() {
    QFETCH(QString, file);
    QFETCH(QString, message);
    media_.write("bad.txt", file.toUtf8());
    const QString error = EvaluationError("AviSource(\"clip.avi\").ConditionalReader(\"bad.txt\", \"v\")", media_.dir());
    QVERIFY2(error.startsWith("t.avs, line 1: ConditionalReader: ") && error.contains(message), qPrintable(error));
  }

  void conditionalReaderFiles() {
    const QString clip = "AviSource(\"clip.avi\")";
    QString error = EvaluationError(clip + ".ConditionalReader(\"none.txt\", \"v\")", media_.dir());
    QVERIFY2(error.contains("cannot open") && error.contains("none.txt"), qPrintable(error));
    error = EvaluationError(clip + ".ConditionalReader(\"" + media_.dir() + "\", \"v\")", media_.dir());
    QVERIFY2(error.contains("is not a regular file"), qPrintable(error));
    media_.write("ok.txt", "Type int\n");
    error = EvaluationError(clip + ".ConditionalReader(\"ok.txt\", \"v\", true)", media_.dir());
    QVERIFY2(error.contains("show is not supported"), qPrintable(error));
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
                         << "a RGB32 clip has no Y channel";
    QTest::newRow("RGB measure of YUV") << clip + ".ScriptClip(\"RGBDifferenceToNext() > 0 ? last : last\")"
                                        << "a YV12 clip has no R channel";
    QTest::newRow("threshold") << clip + ".ScriptClip(\"YPlaneMax(last, 101) > 0 ? last : last\")"
                               << "threshold must be from 0 to 100";
    QTest::newRow("ConditionalSelect of a bool") << "ConditionalSelect(" + clip + ", \"true\", " + clip + ")"
                                                 << "gives a bool, not an int";
    QTest::newRow("ConditionalSelect past its sources") << "ConditionalSelect(" + clip + ", \"current_frame\", " + clip +
                                                              ", " + clip + ")"
                                                       << "gives 2, but the sources are numbered 0 to 1";
    QTest::newRow("ConditionalSelect of other sizes") << "ConditionalSelect(" + clip + ", \"0\", " + clip + ", " + clip +
                                                            ".Crop(0, 0, 32, 32))"
                                                     << "the sources must have the same size";
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
