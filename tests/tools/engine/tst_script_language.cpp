// The script language: values, operators, names, the implicit `last`,
// function calls, WriteFileStart, frame-rate fractions and error messages.
#include "media_fixture.h"
#include "tools/engine/media.h"
#include "tools/engine/script.h"

#include <QDir>
#include <QtTest>

namespace {

avs::Value Run(const QString& text, const QString& dir = QDir::tempPath() + "/") {
  avs::Interpreter interp;
  return interp.RunText(text.toStdString(), "t.avs", dir.toStdString());
}

QString ErrorOf(const QString& text, const QString& dir = QDir::tempPath() + "/") {
  try {
    Run(text, dir);
  } catch (const avs::ScriptError& e) {
    return QString::fromStdString(e.what());
  }
  return "no error";
}

}  // namespace

class ScriptLanguageTest : public QObject {
  Q_OBJECT

 private slots:
  void numbers_data() {
    QTest::addColumn<QString>("expr");
    QTest::addColumn<bool>("isInt");
    QTest::addColumn<double>("expected");
    QTest::newRow("integer division truncates") << "7/2" << true << 3.0;
    QTest::newRow("negative division toward zero") << "-7/2" << true << -3.0;
    QTest::newRow("modulo") << "854%4" << true << 2.0;
    QTest::newRow("a float makes it float") << "7.0/2" << false << 3.5;
    QTest::newRow("float on the right") << "7/2.0" << false << 3.5;
    QTest::newRow("precedence") << "2+3*4-6/3" << true << 12.0;
    QTest::newRow("parentheses") << "(2+3)*4" << true << 20.0;
    QTest::newRow("scaled height stays integer") << "480*480/854" << true << 269.0;
    QTest::newRow("unary minus") << "-(3-5)" << true << 2.0;
    QTest::newRow("hexadecimal") << "$FF" << true << 255.0;
    QTest::newRow("float modulo") << "7.5%2" << false << 1.5;
  }
  void numbers() {
    QFETCH(QString, expr);
    QFETCH(bool, isInt);
    QFETCH(double, expected);
    avs::Value v = Run(expr);
    QCOMPARE(v.isInt(), isInt);
    QCOMPARE(v.asFloat(), expected);
  }

  void logicAndComparison_data() {
    QTest::addColumn<QString>("expr");
    QTest::addColumn<bool>("expected");
    QTest::newRow("and") << "3 > 2 && 2 >= 2" << true;
    QTest::newRow("or") << "1 == 2 || 2 != 2" << false;
    QTest::newRow("not") << "!(1 < 2)" << false;
    QTest::newRow("int against float") << "2 == 2.0" << true;
    QTest::newRow("strings ignore case") << "\"Rec709\" == \"REC709\"" << true;
    QTest::newRow("string order") << "\"abc\" < \"abd\"" << true;
    QTest::newRow("short-circuit and") << "false && 1/0 == 1" << false;
    QTest::newRow("short-circuit or") << "true || 1/0 == 1" << true;
    QTest::newRow("less or equal") << "480 <= 479" << false;
    QTest::newRow("not equal spelled <>") << "1 <> 2" << true;
  }
  void logicAndComparison() {
    QFETCH(QString, expr);
    QFETCH(bool, expected);
    avs::Value v = Run(expr);
    QVERIFY(v.isBool());
    QCOMPARE(v.asBool(), expected);
  }

  void stringsAndStatements() {
    QCOMPARE(QString::fromStdString(Run("\"ab\" + \"cd\"").asString()), QString("abcd"));
    // The triple form carries double quotes, as in paths that hold them.
    QCOMPARE(QString::fromStdString(Run("\"\"\"C:\\a\"b.avi\"\"\"").asString()), QString("C:\\a\"b.avi"));
    QCOMPARE(Run("x = 5 # a comment\nX + 1").asInt(), int64_t{6});
    QCOMPARE(Run("a = 1 +\\\n 2\na").asInt(), int64_t{3});
    QCOMPARE(Run("a = 1\n\\ + 2\na").asInt(), int64_t{3});
    QCOMPARE(Run("/* block\ncomment */ 4").asInt(), int64_t{4});
    QCOMPARE(Run("W=853\nW=(W==853)?852:W\nW").asInt(), int64_t{852});
    QCOMPARE(Run("true ? 1 : 1/0").asInt(), int64_t{1});
    QCOMPARE(Run("x = 1\nreturn x + 1\nx + 5").asInt(), int64_t{2});
    QCOMPARE(QString::fromStdString(Run("String(2.5) + String(3) + String(true)").asString()), QString("2.5000003true"));
  }

  void implicitLastAndMethodSyntax() {
    // A bare clip becomes `last`; functions without a clip use it.
    QCOMPARE(Run("v = BlankClip(width=320, height=240)\nv\nW=Width\nW").asInt(), int64_t{320});
    QCOMPARE(Run("BlankClip(width=320, height=240)\nSpline64Resize(160, 120)\nHeight").asInt(), int64_t{120});
    QCOMPARE(Run("v = BlankClip(width=320, height=240)\nv.Spline64Resize(160, 120).Width").asInt(), int64_t{160});
    QCOMPARE(Run("v = BlankClip(width=320, height=240)\nHeight(v)").asInt(), int64_t{240});
    // An assignment as the last line leaves the script's value at `last`.
    avs::Value v = Run("BlankClip(width=64, height=48)\nx = 1");
    QVERIFY(v.isClip());
    QCOMPARE(v.asClip()->info().width, 64);
    // Names of functions and variables ignore case.
    QCOMPARE(Run("V = blankclip(WIDTH=320)\nv.WIDTH").asInt(), int64_t{320});
  }

  void clipProperties() {
    avs::Value v = Run("BlankClip(length=50, width=320, height=240, pixel_type=\"YV12\", fps=24000, "
                       "fps_denominator=1001, audio_rate=48000, channels=2)");
    const avs::ClipInfo& info = v.asClip()->info();
    QCOMPARE(info.fps.num, int64_t{24000});
    QCOMPARE(info.fps.den, int64_t{1001});
    QCOMPARE(info.sampleCount, int64_t{100100});  // 50 frames of 1001/24000 s at 48000 Hz
    QCOMPARE(Run("BlankClip(pixel_type=\"RGB24\").IsRGB").asBool(), true);
    QCOMPARE(Run("BlankClip(pixel_type=\"YV12\").IsRGB").asBool(), false);
    QCOMPARE(Run("BlankClip(channels=0).HasAudio").asBool(), false);
    QCOMPARE(Run("BlankClip(audio_rate=32000).AudioRate").asInt(), int64_t{32000});
    QCOMPARE(Run("BlankClip(length=10).Trim(2, 5).FrameCount").asInt(), int64_t{4});
    QCOMPARE(Run("BlankClip(length=10).Trim(2, -3).FrameCount").asInt(), int64_t{3});
    QCOMPARE(Run("BlankClip(length=10).Trim(2, 0).FrameCount").asInt(), int64_t{8});
    QCOMPARE(Run("BlankClip(length=10).Trim(0, 2000000000).FrameCount").asInt(), int64_t{10});
    // Sound shorter than the picture: padded to the frames kept unless
    // pad_audio is false.
    QString shortSound = "AudioDub(BlankClip(length=10, fps=10), BlankClip(length=5, fps=10, audio_rate=1000))";
    QCOMPARE(Run(shortSound + ".Trim(2, 7).AudioLength").asInt(), int64_t{600});
    QCOMPARE(Run(shortSound + ".Trim(2, 7, pad_audio=false).AudioLength").asInt(), int64_t{300});
    QCOMPARE(Run("BlankClip(width=8192, height=16).Spline64Resize(8192, 8192).Height").asInt(), int64_t{8192});
    QCOMPARE(Run("BlankClip(width=352, height=480).Crop(2, 0, -2, 0).Width").asInt(), int64_t{348});
    QCOMPARE(Run("BlankClip(width=352, height=480).Crop(2, 4, 100, -6).Height").asInt(), int64_t{470});
    QCOMPARE(Run("BlankClip(pixel_type=\"RGB24\").ConvertToYV12(matrix=\"Rec709\").IsYV12").asBool(), true);
    QCOMPARE(Run("BlankClip(audio_rate=96000).ResampleAudio(44100).AudioRate").asInt(), int64_t{44100});
    // A clip without sound passes ResampleAudio unchanged, even with rate 0.
    QCOMPARE(Run("v = BlankClip(channels=0)\nv.ResampleAudio(v.AudioRate).HasAudio").asBool(), false);
  }

  void frameRates_data() {
    QTest::addColumn<QString>("call");
    QTest::addColumn<qint64>("num");
    QTest::addColumn<qint64>("den");
    QTest::newRow("23.976") << "AssumeFPS(23.976)" << qint64(2997) << qint64(125);
    QTest::newRow("25.000") << "AssumeFPS(25.000)" << qint64(25) << qint64(1);
    QTest::newRow("29.970") << "AssumeFPS(29.970)" << qint64(2997) << qint64(100);
    QTest::newRow("30.000") << "AssumeFPS(30.000)" << qint64(30) << qint64(1);
    QTest::newRow("12.500") << "AssumeFPS(12.500)" << qint64(25) << qint64(2);
    QTest::newRow("119.880") << "AssumeFPS(119.880)" << qint64(2997) << qint64(25);
    QTest::newRow("probe text of ntsc film") << "AssumeFPS(23.976024)" << qint64(24000) << qint64(1001);
    QTest::newRow("numerator and denominator") << "AssumeFPS(30000, 1001)" << qint64(30000) << qint64(1001);
    QTest::newRow("integer") << "AssumeFPS(50)" << qint64(50) << qint64(1);
    QTest::newRow("ntsc_round_film") << "AssumeFPS(\"ntsc_round_film\")" << qint64(2997) << qint64(125);
    QTest::newRow("film") << "AssumeFPS(\"film\")" << qint64(24) << qint64(1);
    QTest::newRow("pal_film") << "AssumeFPS(\"pal_film\")" << qint64(25) << qint64(1);
    QTest::newRow("ntsc_round_video") << "AssumeFPS(\"ntsc_round_video\")" << qint64(2997) << qint64(100);
    QTest::newRow("pal_double") << "AssumeFPS(\"pal_double\")" << qint64(50) << qint64(1);
    QTest::newRow("ntsc_double") << "AssumeFPS(\"ntsc_double\")" << qint64(60000) << qint64(1001);
  }
  void frameRates() {
    QFETCH(QString, call);
    QFETCH(qint64, num);
    QFETCH(qint64, den);
    avs::Value v = Run("BlankClip(audio_rate=48000)." + call);
    QCOMPARE(v.asClip()->info().fps.num, num);
    QCOMPARE(v.asClip()->info().fps.den, den);
    // Only the frame rate changes; the sound is left as it is.
    QCOMPARE(v.asClip()->info().sampleRate, 48000);
    QCOMPARE(v.asClip()->info().frameCount, int64_t{240});
  }

  // A rounded rate that the clip's exact rate already rounds to keeps the
  // exact rate, so probed NTSC sources do not drift against their sound.
  void roundedRateKeepsExactNtsc_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<qint64>("num");
    QTest::addColumn<qint64>("den");
    QTest::newRow("23.976 on ntsc film") << "BlankClip(fps=24000, fps_denominator=1001).AssumeFPS(23.976)" << qint64(24000) << qint64(1001);
    QTest::newRow("preset on ntsc film") << "BlankClip(fps=24000, fps_denominator=1001).AssumeFPS(\"ntsc_round_film\")" << qint64(24000) << qint64(1001);
    QTest::newRow("29.970 on ntsc video") << "BlankClip(fps=30000, fps_denominator=1001).AssumeFPS(29.970)" << qint64(30000) << qint64(1001);
    QTest::newRow("23.976 on 25 fps") << "BlankClip(fps=25).AssumeFPS(23.976)" << qint64(2997) << qint64(125);
    QTest::newRow("exact fraction wins") << "BlankClip(fps=24000, fps_denominator=1001).AssumeFPS(2997, 125)" << qint64(2997) << qint64(125);
  }
  void roundedRateKeepsExactNtsc() {
    QFETCH(QString, script);
    QFETCH(qint64, num);
    QFETCH(qint64, den);
    avs::Value v = Run(script);
    QCOMPARE(v.asClip()->info().fps.num, num);
    QCOMPARE(v.asClip()->info().fps.den, den);
  }

  void writeFileStart() {
    MediaFolder folder;
    // Relative names land in the script's folder, whatever the working one.
    QString dir = folder.dir();
    Run("v = BlankClip(fps=24000, fps_denominator=1001)\n"
        "WriteFileStart(v, \"fps.txt\", \"Framerate(v)\")\n"
        "WriteFileStart(v, \"audio.txt\", \"HasAudio(v)\")\n"
        "WriteFileStart(v, \"none.txt\", \"HasAudio(v.KillAudio)\")\n"
        "WriteFileStart(v, \"joined.txt\", \"v.Width\", \"\"\" \"x\" \"\"\", \"7/2\")\n",
        dir);
    QCOMPARE(folder.read("fps.txt"), QByteArray("23.976024\n"));
    QCOMPARE(folder.read("audio.txt"), QByteArray("true\n"));
    QCOMPARE(folder.read("none.txt"), QByteArray("false\n"));
    QCOMPARE(folder.read("joined.txt"), QByteArray("640x3\n"));
    Run("WriteFileStart(BlankClip(), \"joined.txt\", \"1\", append=true)", dir);
    QCOMPARE(folder.read("joined.txt"), QByteArray("640x3\n1\n"));
  }

  void errorsNameFileAndLine_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown function") << "x = 1\nFooBar(1)" << "t.avs, line 2: there is no function named FooBar";
    QTest::newRow("unknown name") << "\n\nW = Widht + 1" << "t.avs, line 3: I don't know what 'Widht' means";
    QTest::newRow("unclosed parenthesis") << "x = (1 + 2\n" << "t.avs, line 2: expected ')'";
    QTest::newRow("unclosed string") << "x = 1\ny = \"abc" << "t.avs, line 2: a string is not closed";
    QTest::newRow("stray character") << "x = 1 @ 2" << "t.avs, line 1: unexpected character '@'";
    QTest::newRow("trailing tokens") << "x = 1 2" << "t.avs, line 1: unexpected '2'";
    QTest::newRow("division by zero") << "x = 0\ny = 5 / x" << "t.avs, line 2: division by zero";
    QTest::newRow("argument type") << "BlankClip()\nSpline64Resize(\"a\", 2)"
                                   << "t.avs, line 2: Spline64Resize: target_width must be an int, not a string";
    QTest::newRow("unknown named argument") << "BlankClip()\nConvertToYV12(matrx=\"Rec709\")"
                                            << "t.avs, line 2: ConvertToYV12 has no argument named matrx";
    QTest::newRow("unknown matrix") << "BlankClip()\nConvertToYV12(matrix=\"Rec2020\")"
                                    << "t.avs, line 2: ConvertToYV12: unknown matrix";
    QTest::newRow("too many arguments") << "BlankClip()\nCrop(1, 2, 3, 4, true, 6)"
                                        << "t.avs, line 2: Crop: too many arguments";
    QTest::newRow("no clip for a filter") << "Spline64Resize(100, 100)" << "t.avs, line 1: Spline64Resize needs a clip";
    QTest::newRow("odd YV12 width") << "BlankClip(pixel_type=\"YV12\")\nSpline64Resize(101, 100)"
                                    << "t.avs, line 2: Spline64Resize: YV12 needs an even width";
    QTest::newRow("absurd size") << "BlankClip()\nSpline64Resize(1000000, 100)"
                                 << "t.avs, line 2: Spline64Resize: the size 1000000x100 is out of range";
    QTest::newRow("one step over the largest side") << "BlankClip(width=8192, height=16)\nSpline64Resize(8194, 16)"
                                                   << "t.avs, line 2: Spline64Resize: the size 8194x16 is out of range";
    QTest::newRow("crop outside") << "BlankClip(width=100)\nCrop(50, 0, 60, 0)" << "t.avs, line 2: Crop: the area";
    QTest::newRow("odd YV12 crop") << "BlankClip(pixel_type=\"YV12\")\nCrop(1, 0, 0, 0)"
                                   << "t.avs, line 2: Crop: YV12 can only be cropped by even numbers";
    QTest::newRow("unknown preset") << "BlankClip()\nAssumeFPS(\"pal_fast\")"
                                    << "t.avs, line 2: AssumeFPS: unknown frame rate name";
    QTest::newRow("trim beyond the end") << "BlankClip(length=10)\nTrim(20, 30)" << "t.avs, line 2: Trim: no frame";
    QTest::newRow("missing media") << "\nAviSource(\"no-such.avi\")" << "t.avs, line 2: cannot open";
    QTest::newRow("missing import") << "Import(\"no-such.avs\")" << "t.avs, line 1: Import: cannot open the script";
    QTest::newRow("missing image") << "ImageSource(\"none%04d.png\", 0, 2000000000, 25)"
                                   << "t.avs, line 1: ImageSource: cannot open the image";
    QTest::newRow("bad image pattern") << "ImageSource(\"a%s.png\", 0, 5, 25)"
                                       << "t.avs, line 1: ImageSource: the pattern";
    QTest::newRow("deep parentheses") << "x = 1\ny = " + QString(100000, '(') + "1"
                                      << "t.avs, line 2: the expression is nested too deeply";
    QTest::newRow("long operator chain") << "y = 1" + QString("+1").repeated(100000)
                                         << "t.avs, line 1: the expression is nested too deeply";
    QTest::newRow("long sign chain") << "y = " + QString("-").repeated(100000) + "1"
                                     << "t.avs, line 1: the expression is nested too deeply";
    QTest::newRow("condition not bool") << "x = 1 ? 2 : 3" << "t.avs, line 1: the condition before '?' is an int";
    QTest::newRow("clip arithmetic") << "x = BlankClip() * 2" << "t.avs, line 1: '*' cannot combine a clip and an int";
    QTest::newRow("clip minus clip") << "x = BlankClip() - BlankClip()" << "t.avs, line 1: '-' cannot combine a clip and a clip";
    QTest::newRow("sound of a silent file") << "BlankClip(channels=0)\nAudioDub(last, last)"
                                            << "t.avs, line 2: AudioDub: the second clip has no sound";
  }
  void errorsNameFileAndLine() {
    QFETCH(QString, script);
    QFETCH(QString, message);
    QString error = ErrorOf(script);
    QVERIFY2(error.startsWith(message), qPrintable(error));
  }

  void importResolvesAndRefusesLoops() {
    MediaFolder folder;
    QDir(folder.dir()).mkdir("lib");
    folder.script("lib/inner.avs", "x = 7\nBlankClip(width=200)\n");
    // Relative paths inside an imported script resolve against its folder.
    folder.script("lib/outer.avs", "Import(\"inner.avs\")\n");
    QString top = folder.script("top.avs", "v = Import(\"lib/outer.avs\")\nv.Width + x\n");
    avs::Interpreter interp;
    QCOMPARE(interp.RunFile(top.toStdString()).asInt(), int64_t{207});

    folder.script("self.avs", "x = 1\nImport(\"self.avs\")\n");
    QString selfError = ErrorOf("Import(\"self.avs\")", folder.dir());
    QVERIFY2(selfError.contains("self.avs, line 2: Import: self.avs imports itself"), qPrintable(selfError));
    folder.script("a.avs", "Import(\"b.avs\")\n");
    folder.script("b.avs", "\nImport(\"a.avs\")\n");
    QString loopError = ErrorOf("Import(\"a.avs\")", folder.dir());
    QVERIFY2(loopError.contains("b.avs, line 2: Import: a.avs imports itself"), qPrintable(loopError));
  }

  void scriptMustGiveAClip() {
    MediaFolder folder;
    QString path = folder.script("number.avs", "x = 1\nx + 1\n");
    try {
      avs::ClipReader::OpenScript(path.toStdString());
      QFAIL("a script whose value is a number was accepted");
    } catch (const avs::ScriptError& e) {
      QVERIFY2(QString(e.what()).contains("number.avs: the script's value is an int, not a clip"), e.what());
    }
  }

  // "+" joins clips and their sounds end to end; "++" first fits each
  // clip's sound to its frames.
  void splicing() {
    MediaFolder folder;
    const QString parts = "x = AudioDub(BlankClip(length=10, fps=10, channels=0), "
                          "BlankClip(length=4, fps=10, audio_rate=1000, pixel_type=\"YV12\"))\n"
                          "y = BlankClip(length=5, fps=10, audio_rate=1000)\n";
    auto unaligned = avs::ClipReader::OpenScript(folder.script("plus.avs", parts + "x + y\n").toStdString());
    QCOMPARE(unaligned->info().frameCount, int64_t{15});
    QCOMPARE(unaligned->info().sampleCount, int64_t{900});
    ReadBack back = ReadWholeClip(*unaligned);
    QCOMPARE(back.frames, int64_t{15});
    QCOMPARE(back.samples, int64_t{900});

    auto aligned = avs::ClipReader::OpenScript(folder.script("plusplus.avs", parts + "x ++ y ++ y\n").toStdString());
    QCOMPARE(aligned->info().frameCount, int64_t{20});
    QCOMPARE(aligned->info().sampleCount, int64_t{2000});
    back = ReadWholeClip(*aligned);
    QCOMPARE(back.frames, int64_t{20});
    QCOMPARE(back.samples, int64_t{2000});
    QCOMPARE(Run("AlignedSplice(BlankClip(length=3), BlankClip(length=4), BlankClip(length=5)).FrameCount").asInt(), int64_t{12});

    QString error = ErrorOf("a = BlankClip(width=100)\nb = a + BlankClip(width=200)");
    QVERIFY2(error.startsWith("t.avs, line 2: UnalignedSplice: the clips' pictures differ"), qPrintable(error));
    error = ErrorOf("BlankClip(fps=25) ++ BlankClip(fps=24)");
    QVERIFY2(error.startsWith("t.avs, line 1: AlignedSplice: the clips' frame rates differ"), qPrintable(error));
    error = ErrorOf("BlankClip() + BlankClip(channels=0)");
    QVERIFY2(error.startsWith("t.avs, line 1: UnalignedSplice: the clips' sounds differ"), qPrintable(error));
  }

  void blankClipStreams() {
    MediaFolder folder;
    QString path = folder.script("blank.avs",
                                 "BlankClip(length=12, width=64, height=48, pixel_type=\"YV12\", audio_rate=8000, "
                                 "channels=2, color=$FF0000)\nCrop(2, 2, -2, -2)\n");
    auto reader = avs::ClipReader::OpenScript(path.toStdString());
    ReadBack back = ReadWholeClip(*reader);
    QVERIFY2(back.problem.isEmpty(), qPrintable(back.problem));
    QCOMPARE(back.frames, int64_t{12});
    QCOMPARE(back.samples, reader->info().sampleCount);
    QCOMPARE(back.samples, int64_t{4000});
  }
};

QTEST_GUILESS_MAIN(ScriptLanguageTest)
#include "tst_script_language.moc"
