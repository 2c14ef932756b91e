// The script language: values, operators, names, the implicit `last`,
// function calls, user functions, blocks, Eval and Import, WriteFileStart,
// frame-rate fractions, error messages, and scripts that try to hang or crash.
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
    // Comparisons chain: each operand with the next, all of them holding.
    QTest::newRow("chain of equals") << "640 == 640 == 640.0 == 640" << true;
    QTest::newRow("chain broken in the middle") << "5 == 5 == 6 == 6" << false;
    QTest::newRow("chain of orders") << "1 < 2 <= 2 < 3" << true;
    QTest::newRow("chain out of order") << "1 < 3 > 2" << true;
    QTest::newRow("chain stops at the first false") << "2 < 1 < 1/0" << false;
    QTest::newRow("chain of strings") << "\"a\" < \"B\" < \"c\"" << true;
    QTest::newRow("chain in a conjunction") << "1 < 2 < 3 && 3 > 2 > 1" << true;
    QTest::newRow("parenthesised chain compared") << "(1 < 2 < 3) == true" << true;
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
    QTest::newRow("trim ending before it starts") << "BlankClip(length=10)\nTrim(6, 3)" << "t.avs, line 2: Trim: no frame";
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

  // Typed, optional ("quoted") and named parameters, Default and Defined,
  // calls before the definition, recursion and scopes.
  void userFunctions_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("expected");
    QTest::newRow("optional and named") << "function f(int a, int \"b\") { b = Default(b, 10)\n return a * 100 + b }\n"
                                           "String(f(1)) + \" \" + String(f(2, 3)) + \" \" + String(f(4, b=5))"
                                        << "110 203 405";
    QTest::newRow("defined after use") << "x = g(2)\nfunction g(int n) { n * 3 }\nString(x)" << "6";
    QTest::newRow("Defined sees a missing argument") << "function d(string \"s\") { Defined(s) }\nString(d()) + String(d(\"x\"))"
                                                     << "falsetrue";
    QTest::newRow("an int for a float parameter") << "function h(float x) { IsInt(x) }\nString(h(2))" << "false";
    QTest::newRow("untyped and val parameters") << "function k(x, val y) { String(x) + String(y) }\nk(\"s\", 1)" << "s1";
    QTest::newRow("recursion") << "function fact(int n) { return n <= 1 ? 1 : n * fact(n - 1) }\nString(fact(10))" << "3628800";
    QTest::newRow("called without parentheses") << "function five() { 5 }\nString(five + 1)" << "6";
    QTest::newRow("as a method") << "function twice(string s) { s + s }\n\"ab\".twice" << "abab";
    QTest::newRow("a later definition wins") << "function v() { 1 }\nfunction v() { 2 }\nString(v())" << "2";
    QTest::newRow("names ignore case") << "function MyF(int N) { n + 1 }\nString(myf(1))" << "2";
    QTest::newRow("globals are seen") << "global g = 5\nfunction f() { g * 2 }\nString(f())" << "10";
    QTest::newRow("a function sets a global") << "function f() {\n global n = 7\n return 0\n}\nf()\nString(n)" << "7";
    QTest::newRow("a local hides a global") << "global g = 1\nfunction f() {\n g = 2\n return g\n}\nString(f()) + String(g)" << "21";
    QTest::newRow("no value without an expression") << "function f() { x = 1 }\nString(Defined(f()))" << "false";
    QTest::newRow("user function shadows a built-in") << "function Trim(string s) { \"mine\" }\nTrim(\"x\")" << "mine";
    QTest::newRow("defined inside a function, global before it runs")
        << "function outer() {\n function inner(int n) { n * 2 }\n return inner(3)\n}\nString(inner(4)) + String(outer())" << "86";
    QTest::newRow("defined inside a block that never runs") << "if (false) {\n function f() { 7 }\n}\nString(f())" << "7";
    QTest::newRow("an untyped first parameter left out takes last")
        << "function n(last, int \"add\") { FrameCount + Default(add, 0) }\nBlankClip(length=9)\nString(n(add=1))" << "10";
    QTest::newRow("multi-line definition") << "function Add(int a,\n\\ int b)\n{\n  a + b\n}\nString(Add(2, 3))" << "5";
  }
  void userFunctions() {
    QFETCH(QString, script);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(Run(script).toText()), expected);
  }

  // Inside a function `last` is its own: the caller's is not seen, a bare
  // clip sets it, and a clip parameter left out takes the caller's `last`.
  void lastInsideFunctions() {
    QCOMPARE(Run("function f(clip c) {\n c\n Trim(0, 9)\n}\nBlankClip(length=100)\nf().FrameCount").asInt(), int64_t{10});
    QCOMPARE(Run("function f(clip c) { c.Trim(0, 4) }\nBlankClip(length=100).f.FrameCount").asInt(), int64_t{5});
    QString error = ErrorOf("function f() { Trim(0, 9) }\nBlankClip(length=100)\nf()");
    QVERIFY2(error.startsWith("t.avs, line 1: Trim needs a clip"), qPrintable(error));
    error = ErrorOf("a = 5\nfunction f() { a }\nf()");
    QVERIFY2(error.startsWith("t.avs, line 2: I don't know what 'a' means"), qPrintable(error));
    error = ErrorOf("function f() {\n z = 1\n return z\n}\nf()\nz");
    QVERIFY2(error.startsWith("t.avs, line 6: I don't know what 'z' means"), qPrintable(error));
    error = ErrorOf("function h(int x) { x }\nh(\"a\")");
    QVERIFY2(error.startsWith("t.avs, line 2: h: x must be an int, not a string"), qPrintable(error));
    error = ErrorOf("function h(int x) { x }\nh(1, 2)");
    QVERIFY2(error.startsWith("t.avs, line 2: h: too many arguments"), qPrintable(error));
    error = ErrorOf("function h(int x) {\n x + \"a\"\n}\nh(1)");
    QVERIFY2(error.startsWith("t.avs, line 2: '+' cannot combine an int and a string"), qPrintable(error));
  }

  // Arrays: literals, indexes and keys, the Array functions (each giving a
  // new array), and array parameters of user functions.
  void arrays_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("expected");
    const QString built = "a = []\na = ArrayAdd(a, [1, 2])\na = ArrayIns(a, 3, 0)\na = ArrayAdd(a, \"s1\")\n"
                          "a = ArrayAdd(a, \"s2\")\na = ArrayDel(a, 2)\na = ArraySet(a, \"g\", 1, 0)\n"
                          "a = ArrayAdd(a, \"h\", 1)\na = ArrayAdd(a, [10, 11, 12], 1)\na = ArrayDel(a, 1, 3, 0)\n";
    QTest::newRow("built step by step") << built + "String(a[0]) + a[1, 0] + a[1, 2] + String(a[1, 3, 1]) + a[2] + "
                                                   "String(ArraySize(a)) + String(ArraySize(a[1]))"
                                        << "3gh12s234";
    QTest::newRow("a change leaves the original") << "a = [1, 2]\nb = ArraySet(a, 5, 0)\nString(a[0]) + String(b[0])"
                                                  << "15";
    QTest::newRow("empty and nested literals") << "e = []\nn = [[], [[]]]\nString(ArraySize(e)) + String(ArraySize(n[1, 0]))"
                                               << "00";
    QTest::newRow("mixed types") << "t = [99, 1.0, \"str\", true]\nString(IsInt(t[0])) + String(IsFloat(t[1])) + t[2] + "
                                    "String(t[3])"
                                 << "truetruestrtrue";
    QTest::newRow("chained and method indexes") << "a = [[1, 2], [3, 4]]\nString(a[1][0] + a.ArrayGet(1, 1) + a[0, 1])"
                                                << "9";
    QTest::newRow("dictionary keys ignore case") << "d = [[\"one\", 1], [\"two\", [5, 6]]]\nString(d[\"TWO\"][1] + "
                                                    "ArrayGet(d, \"one\"))"
                                                 << "7";
    QTest::newRow("insert at the end appends") << "a = ArrayIns([1], 2, 1)\nString(a[1])" << "2";
    QTest::newRow("a literal over lines") << "a = [1,\n 2,\n 3]\nString(ArraySize(a))" << "3";
    QTest::newRow("IsArray") << "String(IsArray([1])) + String(IsArray(1)) + String(Defined([]))" << "truefalsetrue";
    QTest::newRow("array parameter gathers values") << "function f(int_array n) { ArraySize(n) }\nString(f(1, 2, 3)) + "
                                                       "String(f()) + String(f([4, 5]))"
                                                    << "302";
    QTest::newRow("array parameter stops at another type") << "function f(int_array n, string s) { String(ArraySize(n)) "
                                                              "+ s }\nf(1, 2, \"x\")"
                                                           << "2x";
    QTest::newRow("val_array takes an array as one value") << "function f(val_array \"v\") { ArraySize(v) }\n"
                                                              "String(f([1, 2, 3])) + String(f(1, 2)) + String(f(v=[1, 2, 3]))"
                                                           << "123";
    QTest::newRow("optional array left out is undefined") << "function f(array \"v\") { Defined(v) }\nString(f())"
                                                          << "false";
    QTest::newRow("array followed by a parameter") << "function s(array x, int n) {\n t = 0\n for (i = 0, n - 1) { t = t + "
                                                      "x[i] }\n return t\n}\nString(s([1, 2, 4], 2))"
                                                   << "3";
    QTest::newRow("float array takes ints as floats") << "function f(float_array x) { IsFloat(x[0]) && !IsInt(x[0]) }\n"
                                                         "String(f(1, 2))"
                                                      << "true";
    QTest::newRow("val parameter takes an array") << "function r(val n) { IsArray(n) ? String(n[2, 1]) : n }\n"
                                                     "r([1, 2, [12, 13]]) + r(\"x\")"
                                                  << "13x";
    QTest::newRow("a built-in array parameter by name") << "String(Max(values=[3, 9, 4]))" << "9";
    QTest::newRow("sorted numbers") << "s = ArraySort([3, 1.5, -2, 1])\nString(s[0]) + \" \" + String(s[1]) + \" \" + "
                                       "String(s[2]) + \" \" + String(s[3])"
                                    << "-2 1 1.500000 3";
    QTest::newRow("sorted strings ignore case, equal ones keep their order")
        << "s = ArraySort([\"b\", \"A\", \"a\", \"C\"])\ns[0] + s[1] + s[2] + s[3]" << "AabC";
    QTest::newRow("sorted bools and an empty array") << "s = ArraySort([true, false, true])\nString(s[0]) + "
                                                        "String(ArraySize(ArraySort([])))"
                                                     << "false0";
    QTest::newRow("named colours") << "String(color_brown) + \" \" + String(color_aliceblue == $F0F8FF)" << "10824234 true";
  }
  void arrays() {
    QFETCH(QString, script);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(Run(script).toText()), expected);
  }

  void arrayFaults_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    QTest::newRow("index past the end") << "a = [1, 2]\nx = a[2]" << "t.avs, line 2: the index 2 is outside the array of 2 values";
    QTest::newRow("negative index") << "a = [1]\nx = ArrayGet(a, -1)" << "t.avs, line 2: ArrayGet: the index -1 is outside";
    QTest::newRow("missing key") << "d = [[\"a\", 1]]\nx = d[\"b\"]" << "t.avs, line 2: the array has no key \"b\"";
    QTest::newRow("index of a number") << "x = 5\ny = x[0]" << "t.avs, line 2: only an array can be indexed, not an int";
    QTest::newRow("float index") << "a = [1]\nx = a[0.5]" << "t.avs, line 2: an index must be an int or a string, not a float";
    QTest::newRow("empty index") << "a = [1]\nx = a[]" << "t.avs, line 2: an index is missing";
    QTest::newRow("delete past the end") << "a = ArrayDel([1], 1)" << "t.avs, line 1: ArrayDel: the index 1 is outside";
    QTest::newRow("insert past the end") << "a = ArrayIns([1], 0, 2)" << "t.avs, line 1: ArrayIns: the index 2 is outside";
    QTest::newRow("deep index of a flat array") << "a = ArraySet([1], 0, 0, 0)"
                                                << "t.avs, line 1: ArraySet: only an array can be indexed, not an int";
    QTest::newRow("sorting mixed types") << "a = ArraySort([1, \"a\"])"
                                         << "t.avs, line 1: ArraySort: cannot sort an int and a string together";
    QTest::newRow("sorting arrays") << "a = ArraySort([[1], [0]])" << "t.avs, line 1: ArraySort: sorts bools, numbers or strings, not an array";
    QTest::newRow("size of a number") << "n = ArraySize(3)" << "t.avs, line 1: ArraySize: needs an array, not an int";
    QTest::newRow("an array for a number") << "BlankClip(width=[64])" << "t.avs, line 1: BlankClip: width must be an int, not an array";
    QTest::newRow("a number where an array is named") << "function f(int_array \"n\") { 0 }\nf(n=3)"
                                                      << "t.avs, line 2: f: n must be an array, not an int";
    QTest::newRow("an array of the wrong type") << "function f(int_array n) { 0 }\nf([\"a\"])"
                                                << "t.avs, line 2: f: each n must be an int, not a string";
    QTest::newRow("at least one value") << "function f(int_array_nz n) { 0 }\nf()" << "t.avs, line 2: f needs an int for n";
    QTest::newRow("arrays do not compare") << "x = [1] == [1]" << "t.avs, line 1: '==' cannot combine an array and an array";
    QTest::newRow("unclosed literal") << "x = [1, 2" << "t.avs, line 1: expected ']'";
    QTest::newRow("nesting without end") << "a = []\nwhile (true) { a = [a] }" << "t.avs, line 2: arrays may nest at most 100 deep";
    QTest::newRow("nesting by ArrayAdd") << "a = []\nwhile (true) { a = ArrayAdd([], a) }"
                                         << "t.avs, line 2: ArrayAdd: arrays may nest at most 100 deep";
    QTest::newRow("growing without end") << "a = []\nwhile (true) { a = ArrayAdd(a, a) }" << "arrays may nest";
    QTest::newRow("appending without end") << "a = []\nwhile (true) { a = ArrayAdd(a, 1) }" << "the script runs too long";
    QTest::newRow("deep literal") << "x = " + QString(100000, '[') << "t.avs, line 1: the expression is nested too deeply";
  }
  void arrayFaults() {
    QFETCH(QString, script);
    QFETCH(QString, message);
    const QString error = ErrorOf(script);
    QVERIFY2(error.startsWith(message) || (!message.startsWith("t.avs") && error.contains(message)), qPrintable(error));
  }

  void blocks_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("expected");
    QTest::newRow("for sums") << "x = 0\nfor (i = 1, 10) { x = x + i }\nString(x) + \" \" + String(i)" << "55 11";
    QTest::newRow("for with a step") << "s = \"\"\nfor (i = 10, 1, -3) {\n s = s + String(i) + \",\"\n}\ns" << "10,7,4,1,";
    QTest::newRow("for with a float step") << "n = 0\nfor (x = 0, 1, 0.25) { n = n + 1 }\nString(n)" << "5";
    QTest::newRow("for that does not run") << "n = 0\nfor (i = 5, 1) { n = n + 1 }\nString(n)" << "0";
    QTest::newRow("for whose body moves on") << "n = 0\nfor (i = 1, 10) {\n i = i + 4\n n = n + 1\n}\nString(n)" << "2";
    QTest::newRow("while") << "i = 0\nwhile (i < 5) { i = i + 1 }\nString(i)" << "5";
    QTest::newRow("if else chain") << "function s(int n) {\n if (n > 0) { return \"pos\" } else if (n < 0) { return \"neg\" } "
                                      "else { return \"zero\" }\n}\ns(3) + s(-3) + s(0)"
                                   << "posnegzero";
    QTest::newRow("else on the next line") << "x = 1\nif (x == 2) {\n y = \"a\"\n}\nelse\n{\n y = \"b\"\n}\ny" << "b";
    QTest::newRow("if without else") << "y = \"a\"\nif (false) { y = \"b\" }\ny" << "a";
    QTest::newRow("return from a loop") << "function first(int n) {\n for (i = 1, 100) {\n  if (i * i >= n) { return i }\n }\n "
                                           "return -1\n}\nString(first(50))"
                                        << "8";
    QTest::newRow("try catches") << "try {\n x = 1 / 0\n} catch (err) {\n x = err\n}\nx" << "t.avs, line 2: division by zero";
    QTest::newRow("try without error") << "x = 1\ntry { x = 2 } catch (err) { x = 3 }\nString(x)" << "2";
    QTest::newRow("catch on the next line") << "try {\n Assert(false, \"no\")\n}\ncatch (e) { x = e }\nx" << "t.avs, line 2: no";
    QTest::newRow("nested try") << "try {\n try { Foo() } catch (a) { Bar() }\n} catch (b) { x = b }\nx"
                                << "t.avs, line 2: there is no function named Bar";
    QTest::newRow("a block's clip becomes last") << "if (true) {\n BlankClip(width=32)\n}\nString(Width)" << "32";
  }
  void blocks() {
    QFETCH(QString, script);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(Run(script).toText()), expected);
  }

  void blockFaults_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    QTest::newRow("if on an int") << "if (1) { x = 1 }" << "t.avs, line 1: the condition of 'if' is an int, not a bool";
    QTest::newRow("while on a string") << "while (\"a\") { x = 1 }" << "t.avs, line 1: the condition of 'while' is a string";
    QTest::newRow("for step 0") << "for (i = 1, 5, 0) { }" << "t.avs, line 1: the step of 'for' is 0";
    QTest::newRow("for over text") << "for (i = \"a\", 5) { }" << "t.avs, line 1: the start, end and step of 'for' must be numbers";
    QTest::newRow("unclosed block") << "if (true) {\n x = 1\n" << "t.avs, line 3: a '{' block is not closed";
    QTest::newRow("try without catch") << "try { x = 1 }\ny = 2" << "t.avs, line 2: expected 'catch'";
    QTest::newRow("parameter named twice") << "function f(int a, int a) { a }" << "t.avs, line 1: f has two parameters named a";
    QTest::newRow("global without value") << "global x" << "t.avs, line 1: expected '=' after the global's name";
  }
  void blockFaults() {
    QFETCH(QString, script);
    QFETCH(QString, message);
    const QString error = ErrorOf(script);
    QVERIFY2(error.startsWith(message), qPrintable(error));
  }

  // A message shows what it quotes whole: every byte of a string, whole
  // UTF-8 characters, and bytes that are no text as escapes; none is cut
  // at a NUL or in the middle of a character.
  void messagesReadWhole_data() {
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("the end of the script") << QByteArray("x = 1 +") << QByteArray("t.avs, line 1: unexpected end of the script");
    QTest::newRow("a character of two bytes") << QByteArray("x = \xC2\xAB") << QByteArray("unexpected character '\xC2\xAB'");
    QTest::newRow("a character of three bytes") << QByteArray("x = 1 \xE2\x88\x92 1")
                                                << QByteArray("unexpected character '\xE2\x88\x92'");
    QTest::newRow("a lead byte alone") << QByteArray("x = \xC2") << QByteArray("unexpected character '\\xC2'");
    QTest::newRow("a NUL inside a string") << QByteArray("Assert(false, \"a\0b\")", 20)
                                           << QByteArray("t.avs, line 1: a\\0b");
    QTest::newRow("a control character") << QByteArray("Assert(false, \"a\" + Chr(27) + \"[2J\")")
                                         << QByteArray("t.avs, line 1: a\\x1B[2J");
    QTest::newRow("half a character") << QByteArray("Assert(false, LeftStr(\"\xD0\x96\xD0\x96\", 3))")
                                      << QByteArray("t.avs, line 1: \xD0\x96\\xD0");
    QTest::newRow("a long token") << QByteArray("x = 1 ") + QByteArray(70, 'a')
                                  << QByteArray("unexpected '") + QByteArray(60, 'a') + "...'";
  }
  void messagesReadWhole() {
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, message);
    QByteArray error = "no error";
    try {
      avs::Interpreter interp;
      interp.RunText(script.toStdString(), "t.avs", QDir::tempPath().toStdString() + "/");
    } catch (const avs::ScriptError& e) {
      error = e.what();
    }
    QVERIFY2(error.contains(message), error.constData());
    QCOMPARE(QString::fromUtf8(error).toUtf8(), error);  // valid UTF-8 throughout
  }

  // __END__, nested comments, joined lines and quote runs.
  void textOfScripts() {
    QCOMPARE(Run("1\n__END__\nx = (((\n").asInt(), int64_t{1});
    QCOMPARE(Run("x = [* a [* nested *] comment *] 4\nx").asInt(), int64_t{4});
    QCOMPARE(Run("x = 1 + \\ # a comment after the join\n 2\nx").asInt(), int64_t{3});
    QCOMPARE(Run("x = 1\n  \\ + 2\n\\ + 3\nx").asInt(), int64_t{6});
    QCOMPARE(Run("x = Max(1,\n\\ 5)\nx").asInt(), int64_t{5});
    QCOMPARE(Run("\"\"\"a\"\"\"\"").asString(), std::string("a\""));
    QCOMPARE(Run("\"\"\"\"quoted\"\"\"\"\"").asString(), std::string("\"quoted\"\""));
    QCOMPARE(Run("\"\"\"\"\"\"").asString(), std::string(""));
    QCOMPARE(Run("\"two\nlines\"").asString(), std::string("two\nlines"));
    QCOMPARE(Run("x = \"a\n\"\ny = 1 +\\\n 1\ny").asInt(), int64_t{2});
    QCOMPARE(Run("x = 1.\nIsFloat(x) && !IsInt(x)").asBool(), true);
    QCOMPARE(Run("yes && !no").asBool(), true);
    QString error = ErrorOf("x = 1 \\ + 2");
    QVERIFY2(error.startsWith("t.avs, line 1: a '\\' may only begin or end a line"), qPrintable(error));
    error = ErrorOf("x = 1\ny = 2 +\n3");
    QVERIFY2(error.startsWith("t.avs, line 2: unexpected end of the line"), qPrintable(error));
    error = ErrorOf("x = [* open\n");
    QVERIFY2(error.startsWith("t.avs, line 1: a [* comment is not closed"), qPrintable(error));
  }

  // Ints are 32-bit and wrap around as in AviSynth; no quotient traps.
  void integerArithmetic_data() {
    QTest::addColumn<QString>("expr");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("sum wraps") << "2147483647 + 1" << qint64(-2147483647 - 1);
    QTest::newRow("difference wraps") << "-2147483647 - 2" << qint64(2147483647);
    QTest::newRow("product wraps") << "65536 * 65536" << qint64(0);
    QTest::newRow("product keeps low bits") << "65537 * 65537" << qint64(131073);
    QTest::newRow("most negative by -1") << "(-2147483647 - 1) / -1" << qint64(-2147483647 - 1);
    QTest::newRow("remainder by -1") << "(-2147483647 - 1) % -1" << qint64(0);
    QTest::newRow("negating the most negative") << "-(-2147483647 - 1)" << qint64(-2147483647 - 1);
    QTest::newRow("32-bit hex is signed") << "$FFFFFFFF" << qint64(-1);
    QTest::newRow("remainder keeps the dividend's sign") << "-7 % 3" << qint64(-1);
    QTest::newRow("a linear congruential step") << "1103515245 * 12345 + 12345" << qint64(-740551042);
  }
  void integerArithmetic() {
    QFETCH(QString, expr);
    QFETCH(qint64, expected);
    avs::Value v = Run(expr);
    QVERIFY(v.isInt());
    QCOMPARE(v.asInt(), expected);
  }

  void evalApplyAssertSelect() {
    QCOMPARE(Run("Eval(\"1 + 2\")").asInt(), int64_t{3});
    QCOMPARE(Run("settings = \"320, 240\"\nBlankClip()\nEval(\"BicubicResize(\" + settings + \")\")\nWidth").asInt(), int64_t{320});
    QCOMPARE(Run("u = Eval(\"x = 5\")\nString(Defined(u)) + String(x)").asString(), std::string("false5"));
    QCOMPARE(Run("Eval(\"function sq(int n) { n * n }\")\nsq(7)").asInt(), int64_t{49});
    QCOMPARE(Run("global c = 1\nEval(\"global c = c + 1\")\nc").asInt(), int64_t{2});
    QCOMPARE(Run("Apply(\"Max\", 1, 5, 3)").asInt(), int64_t{5});
    QCOMPARE(Run("BlankClip()\nApply(\"BicubicResize\", 352, 288).Height").asInt(), int64_t{288});
    QString error = ErrorOf("x = 1\nEval(\"y = 2\nFoo(\", \"MyCode\")");
    QVERIFY2(error.startsWith("MyCode, line 2: "), qPrintable(error));
    error = ErrorOf("x = 1\nEval(\"Foo()\")");
    QVERIFY2(error.startsWith("t.avs, line 2, in Eval, line 1: there is no function named Foo"), qPrintable(error));
    error = ErrorOf("\nAssert(1 > 2, \"one is not more than two\")");
    QVERIFY2(error.startsWith("t.avs, line 2: one is not more than two"), qPrintable(error));
    error = ErrorOf("Assert(false)");
    QVERIFY2(error.startsWith("t.avs, line 1: Assert: assertion failed"), qPrintable(error));
    QCOMPARE(Run("Assert(true, \"fine\")\n4").asInt(), int64_t{4});
    QCOMPARE(Run("Select(2, BlankClip(width=16), BlankClip(width=32), BlankClip(width=48)).Width").asInt(), int64_t{48});
    // A script that ends with a call that gives nothing gives `last`.
    QVERIFY(Run("BlankClip()\nAssert(true)").isClip());
  }

  // An .avsi library: its functions, its relative paths and its variables.
  void importOfLibraries() {
    MediaFolder folder;
    QDir(folder.dir()).mkpath("lib/more");
    folder.script("lib/more/deep.avsi", "function Deep() { 40 }\n");
    folder.script("lib/helpers.avsi", "Import(\"more/deep.avsi\")\nfunction Helper(clip c, int \"w\") {\n"
                                      "  w = Default(w, 64)\n  c.BilinearResize(w, w / 2)\n}\nlibraryValue = Deep() + 2\n");
    QString top = folder.script("top.avs", "Import(\"lib/helpers.avsi\")\nBlankClip()\nHelper(w=libraryValue * 2).Width\n");
    avs::Interpreter interp;
    QCOMPARE(interp.RunFile(top.toStdString()).asInt(), int64_t{84});
    folder.script("bad.avsi", "function Broken() {\n  NoSuch()\n}\n");
    QString error = ErrorOf("Import(\"bad.avsi\")\nBroken()", folder.dir());
    QVERIFY2(error.startsWith("bad.avsi, line 2: there is no function named NoSuch"), qPrintable(error));
  }

  // Scripts that would hang or crash the tools end with a message.
  void hostileScripts_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    QTest::newRow("endless while") << "x = 0\nwhile (true) { x = x + 1 }" << "the script runs too long";
    QTest::newRow("huge for") << "n = 0\nfor (i = 0, 2147483647) { n = n + 1 }" << "the script runs too long";
    QTest::newRow("for to the largest int ends") << "for (i = 2147483646, 2147483647) { }\nx = i\nAssert(false, \"ended\")" << "ended";
    QTest::newRow("endless recursion") << "function r(int n) { r(n + 1) }\nr(0)" << "user functions call each other more than 1000 levels deep";
    QTest::newRow("exponential recursion") << "function fib(int n) { n < 2 ? n : fib(n - 1) + fib(n - 2) }\nfib(40)" << "the script runs too long";
    QTest::newRow("doubling string") << "s = \"x\"\nwhile (true) { s = s + s }" << "'+' would make a string longer than 16 MiB";
    QTest::newRow("growing string") << "s = FillStr(1000000, \"x\")\nwhile (true) { t = s + s }" << "the script runs too long";
    QTest::newRow("try does not stop the budget") << "while (true) {\n try { while (true) { } } catch (e) { }\n}" << "the script runs too long";
    QTest::newRow("deep blocks") << QString("if (true) {\n").repeated(1000) << "is nested too deeply";
    QTest::newRow("Eval of itself") << "function e() { Eval(\"e()\") }\ne()" << "deep";
  }
  void hostileScripts() {
    QFETCH(QString, script);
    QFETCH(QString, message);
    const QString error = ErrorOf(script);
    QVERIFY2(error.startsWith("t.avs, line ") && error.contains(message), qPrintable(error));
  }

  void plugins_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    QTest::newRow("LoadPlugin") << "LoadPlugin(\"C:\\plugins\\mvtools2.dll\")"
                                << "t.avs, line 1: LoadPlugin: cannot load mvtools2.dll: plugins cannot be loaded here";
    QTest::newRow("LoadCPlugin") << "\nLoadCPlugin(\"/usr/lib/libmvtools2.so\")"
                                 << "t.avs, line 2: LoadCPlugin: cannot load libmvtools2.so: plugins cannot be loaded here";
    QTest::newRow("Load_Stdcall_Plugin") << "Load_Stdcall_Plugin(\"eedi3.dll\")"
                                         << "t.avs, line 1: Load_Stdcall_Plugin: cannot load eedi3.dll";
    QTest::newRow("LoadVirtualDubPlugin") << "LoadVirtualDubPlugin(\"msu.vdf\", \"MSU\", 0)"
                                          << "t.avs, line 1: LoadVirtualDubPlugin: cannot load msu.vdf";
    QTest::newRow("LoadVFAPIPlugin") << "LoadVFAPIPlugin(\"tmpg.vfp\", \"TMPG\")" << "t.avs, line 1: LoadVFAPIPlugin: cannot load tmpg.vfp";
    QTest::newRow("AddAutoloadDir") << "AddAutoloadDir(\"C:\\plugins\")"
                                    << "t.avs, line 1: AddAutoloadDir: cannot load plugins from C:\\plugins: plugins cannot be loaded here";
    QTest::newRow("QTGMC") << "BlankClip()\nQTGMC(Preset=\"Slow\")" << "t.avs, line 2: QTGMC comes from a plugin; plugins cannot be loaded here";
    QTest::newRow("a method") << "BlankClip().nnedi3(field=1)" << "t.avs, line 1: nnedi3 comes from a plugin";
    QTest::newRow("MaskTools") << "BlankClip()\nmt_lut(\"x 2 *\")" << "t.avs, line 2: mt_lut comes from a plugin";
    QTest::newRow("a source") << "DGSource(\"a.dgi\")" << "t.avs, line 1: DGSource comes from a plugin";
    QTest::newRow("without parentheses") << "BlankClip()\nQTGMC" << "t.avs, line 2: QTGMC comes from a plugin";
    QTest::newRow("a core function not built") << "BlankClip()\nSinPowerResize(64, 48)"
                                               << "t.avs, line 2: SinPowerResize is one of AviSynth's own functions, but it is not supported here";
    QTest::newRow("unknown stays unknown") << "BlankClip()\nMyFilter(3)" << "t.avs, line 2: there is no function named MyFilter";
  }
  void plugins() {
    QFETCH(QString, script);
    QFETCH(QString, message);
    const QString error = ErrorOf(script);
    QVERIFY2(error.startsWith(message), qPrintable(error));
  }

  void pluginNamesDoNotHideScripts() {
    QCOMPARE(Run("FunctionExists(\"QTGMC\")").asBool(), false);
    QCOMPARE(Run("function QTGMC(clip c) { c.Trim(0, 9) }\nBlankClip()\nQTGMC().FrameCount").asInt(), int64_t{10});
    QCOMPARE(Run("try { LoadPlugin(\"x.dll\") } catch (e) { ok = 1 }\nok").asInt(), int64_t{1});
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
