// The script functions: maths, bit operations, text, conversions, clip
// properties, the tests of values, version and script names, the settings
// that change nothing here, and WriteFile with its kin.
#include "media_fixture.h"
#include "tools/engine/reading.h"
#include "tools/engine/script.h"

#include <QDir>
#include <QRegularExpression>
#include <QtTest>

#include <sys/stat.h>

namespace {

avs::Value Run(const QString& text, const QString& dir = QDir::tempPath() + "/") {
  avs::Interpreter interp;
  return interp.RunText(text.toStdString(), "t.avs", dir.toStdString());
}

QString ErrorOf(const QString& text) {
  try {
    Run(text);
  } catch (const avs::ScriptError& e) {
    return QString::fromStdString(e.what());
  }
  return "no error";
}

QString TypeOf(const avs::Value& v) {
  if (v.isBool()) return "bool";
  if (v.isInt()) return "int";
  if (v.isFloat()) return "float";
  if (v.isString()) return "string";
  if (v.isClip()) return "clip";
  return "nothing";
}

}  // namespace

class ScriptFunctionsTest : public QObject {
  Q_OBJECT

 private slots:
  // Each expression's type and its value as String() writes it.
  void values_data() {
    QTest::addColumn<QString>("expr");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("text");
    // maths
    QTest::newRow("Sin") << "Sin(Pi() / 2)" << "float" << "1.000000";
    QTest::newRow("Cos") << "Cos(Pi())" << "float" << "-1.000000";
    QTest::newRow("Tan") << "Tan(Pi() / 4)" << "float" << "1.000000";
    QTest::newRow("Asin") << "Asin(1)" << "float" << "1.570796";
    QTest::newRow("Acos") << "Acos(0.5)" << "float" << "1.047198";
    QTest::newRow("Atan") << "Atan(1)" << "float" << "0.785398";
    QTest::newRow("Atan2 takes y first") << "Atan2(1, 0)" << "float" << "1.570796";
    QTest::newRow("Atan2 on the x axis") << "Atan2(0, -1)" << "float" << "3.141593";
    QTest::newRow("Pow takes the base first") << "Pow(2, 10)" << "float" << "1024.000000";
    QTest::newRow("Sqrt") << "Sqrt(2)" << "float" << "1.414214";
    QTest::newRow("Exp") << "Exp(1)" << "float" << "2.718282";
    QTest::newRow("Log") << "Log(Exp(2))" << "float" << "2.000000";
    QTest::newRow("Log10") << "Log10(1000)" << "float" << "3.000000";
    QTest::newRow("Pi") << "Pi" << "float" << "3.141593";
    QTest::newRow("Fmod") << "Fmod(7.5, 2)" << "float" << "1.500000";
    QTest::newRow("Fmod of a negative") << "Fmod(-7.5, 2)" << "float" << "-1.500000";
    QTest::newRow("Min of ints is an int") << "Min(3, 1, 2)" << "int" << "1";
    QTest::newRow("Min with a float") << "Min(3, 1.5)" << "float" << "1.500000";
    QTest::newRow("Max of ints") << "Max(2, 7, 4)" << "int" << "7";
    QTest::newRow("Max with a float is a float") << "Max(1, 2.0)" << "float" << "2.000000";
    QTest::newRow("Max of one") << "Max(-4)" << "int" << "-4";
    QTest::newRow("Abs of an int") << "Abs(-3)" << "int" << "3";
    QTest::newRow("Abs of a float") << "Abs(-3.5)" << "float" << "3.500000";
    QTest::newRow("Sign negative") << "Sign(-2.5)" << "int" << "-1";
    QTest::newRow("Sign zero") << "Sign(0)" << "int" << "0";
    QTest::newRow("Sign positive") << "Sign(0.001)" << "int" << "1";
    QTest::newRow("Round half up") << "Round(2.5)" << "int" << "3";
    QTest::newRow("Round negative") << "Round(-1.6)" << "int" << "-2";
    QTest::newRow("Round toward zero") << "Round(-1.2)" << "int" << "-1";
    QTest::newRow("Floor negative") << "Floor(-1.2)" << "int" << "-2";
    QTest::newRow("Ceil positive") << "Ceil(1.2)" << "int" << "2";
    QTest::newRow("Ceil negative") << "Ceil(-1.6)" << "int" << "-1";
    QTest::newRow("Int truncates") << "Int(-1.6)" << "int" << "-1";
    QTest::newRow("Int of an int") << "Int(7)" << "int" << "7";
    QTest::newRow("Float") << "Float(3)" << "float" << "3.000000";
    QTest::newRow("Frac") << "Frac(3.75)" << "float" << "0.750000";
    QTest::newRow("Frac keeps the sign") << "Frac(-1.75)" << "float" << "-0.750000";
    QTest::newRow("MulDiv rounds") << "MulDiv(3, 5, 2)" << "int" << "8";
    QTest::newRow("MulDiv in 64 bits") << "MulDiv(1000000, 1000000, 1000000)" << "int" << "1000000";
    QTest::newRow("MulDiv argument order") << "MulDiv(10, 3, 4)" << "int" << "8";
    QTest::newRow("Spline cubic") << "Spline(5, 0,0, 10,10, 20,0)" << "float" << "6.875000";
    QTest::newRow("Spline linear") << "Spline(5, 0,0, 10,10, 20,0, false)" << "float" << "5.000000";
    QTest::newRow("Spline second segment") << "Spline(15, 0,0, 10,10, 20,0, false)" << "float" << "5.000000";
    QTest::newRow("Spline at a point") << "Spline(10, 0,0, 10,10, 20,0)" << "float" << "10.000000";
    QTest::newRow("Rand of 1") << "Rand(1)" << "int" << "0";
    // bits
    QTest::newRow("BitAnd") << "BitAnd(12, 10)" << "int" << "8";
    QTest::newRow("BitOr") << "BitOr(12, 10)" << "int" << "14";
    QTest::newRow("BitXor") << "BitXor(12, 10)" << "int" << "6";
    QTest::newRow("BitNot") << "BitNot(0)" << "int" << "-1";
    QTest::newRow("BitLShift") << "BitLShift(1, 4)" << "int" << "16";
    QTest::newRow("BitShl into the sign") << "BitShl(1, 31)" << "int" << "-2147483648";
    QTest::newRow("BitRShiftA keeps the sign") << "BitRShiftA(-16, 2)" << "int" << "-4";
    QTest::newRow("BitRShiftL fills zeros") << "BitRShiftL(-16, 28)" << "int" << "15";
    QTest::newRow("BitRol") << "BitRol(BitShl(1, 31), 1)" << "int" << "1";
    QTest::newRow("BitRor") << "BitRor(1, 1)" << "int" << "-2147483648";
    QTest::newRow("BitTest") << "BitTest(5, 2)" << "bool" << "true";
    QTest::newRow("BitTst clear bit") << "BitTst(5, 1)" << "bool" << "false";
    QTest::newRow("BitSet") << "BitSet(1, 3)" << "int" << "9";
    QTest::newRow("BitClear") << "BitClear(15, 0)" << "int" << "14";
    QTest::newRow("BitChange") << "BitChange(5, 0)" << "int" << "4";
    // text
    QTest::newRow("LeftStr") << "LeftStr(\"AviSynth\", 3)" << "string" << "Avi";
    QTest::newRow("LeftStr longer than the text") << "LeftStr(\"ab\", 5)" << "string" << "ab";
    QTest::newRow("RightStr") << "RightStr(\"AviSynth\", 5)" << "string" << "Synth";
    QTest::newRow("RightStr longer than the text") << "RightStr(\"ab\", 5)" << "string" << "ab";
    QTest::newRow("MidStr counts from 1") << "MidStr(\"AviSynth\", 3, 2)" << "string" << "iS";
    QTest::newRow("MidStr to the end") << "MidStr(\"AviSynth\", 4)" << "string" << "Synth";
    QTest::newRow("MidStr past the end") << "MidStr(\"abc\", 4)" << "string" << "";
    QTest::newRow("FindStr counts from 1") << "FindStr(\"AviSynth\", \"Syn\")" << "int" << "4";
    QTest::newRow("FindStr first occurrence") << "FindStr(\"abcabc\", \"c\")" << "int" << "3";
    QTest::newRow("FindStr not found") << "FindStr(\"abc\", \"x\")" << "int" << "0";
    QTest::newRow("FindStr is case-sensitive") << "FindStr(\"abc\", \"B\")" << "int" << "0";
    QTest::newRow("RevStr") << "RevStr(\"abc\")" << "string" << "cba";
    QTest::newRow("StrLen") << "StrLen(\"abc\")" << "int" << "3";
    QTest::newRow("UCase") << "UCase(\"aBc1\")" << "string" << "ABC1";
    QTest::newRow("LCase") << "LCase(\"AbC1\")" << "string" << "abc1";
    QTest::newRow("Chr") << "Chr(65)" << "string" << "A";
    QTest::newRow("Ord") << "Ord(\"Ab\")" << "int" << "65";
    QTest::newRow("Ord of nothing") << "Ord(\"\")" << "int" << "0";
    QTest::newRow("Ord above 127") << "Ord(Chr(200))" << "int" << "200";
    QTest::newRow("FillStr") << "FillStr(3, \"ab\")" << "string" << "ababab";
    QTest::newRow("FillStr with spaces") << "FillStr(2) + \"|\"" << "string" << "  |";
    QTest::newRow("StrCmp less") << "StrCmp(\"a\", \"b\")" << "int" << "-1";
    QTest::newRow("StrCmp greater") << "StrCmp(\"b\", \"a\")" << "int" << "1";
    QTest::newRow("StrCmp minds case") << "StrCmp(\"a\", \"A\")" << "int" << "1";
    QTest::newRow("StrCmpi ignores case") << "StrCmpi(\"a\", \"A\")" << "int" << "0";
    QTest::newRow("ReplaceStr") << "ReplaceStr(\"a-b-c\", \"-\", \"+\")" << "string" << "a+b+c";
    QTest::newRow("ReplaceStr does not rescan") << "ReplaceStr(\"aaa\", \"a\", \"aa\")" << "string" << "aaaaaa";
    QTest::newRow("ReplaceStr minds case") << "ReplaceStr(\"aXa\", \"x\", \"y\")" << "string" << "aXa";
    QTest::newRow("ReplaceStr ignoring case") << "ReplaceStr(\"aXa\", \"x\", \"y\", true)" << "string" << "aya";
    QTest::newRow("TrimLeft") << "TrimLeft(\"  a \")" << "string" << "a ";
    QTest::newRow("TrimRight") << "TrimRight(\" a  \")" << "string" << " a";
    QTest::newRow("TrimAll") << "TrimAll(Chr(9) + \" a \" + Chr(10))" << "string" << "a";
    // conversions
    QTest::newRow("Value") << "Value(\"-2.7\")" << "float" << "-2.700000";
    QTest::newRow("Value of a leading number") << "Value(\" 12abc\")" << "float" << "12.000000";
    QTest::newRow("Value of no number") << "Value(\"abc\")" << "float" << "0.000000";
    QTest::newRow("HexValue") << "HexValue(\"FF00\")" << "int" << "65280";
    QTest::newRow("HexValue with $") << "HexValue(\"$ff\")" << "int" << "255";
    QTest::newRow("HexValue from a position") << "HexValue(\"xxFFzz\", 3)" << "int" << "255";
    QTest::newRow("HexValue of 32 bits") << "HexValue(\"FFFFFFFF\")" << "int" << "-1";
    QTest::newRow("Hex") << "Hex(255)" << "string" << "FF";
    QTest::newRow("Hex padded") << "Hex(255, 4)" << "string" << "00FF";
    QTest::newRow("Hex of a negative") << "Hex(-1)" << "string" << "FFFFFFFF";
    QTest::newRow("String of a float") << "String(2.5)" << "string" << "2.500000";
    QTest::newRow("String of a bool") << "String(1 < 2)" << "string" << "true";
    QTest::newRow("String with width") << "String(1.23, \"%5.1f\")" << "string" << "  1.2";
    QTest::newRow("String with precision") << "String(1.23, \"%1.3f\")" << "string" << "1.230";
    QTest::newRow("String of an int as float") << "String(24, \"%05.0f\")" << "string" << "00024";
    QTest::newRow("String of an int in hex") << "String(255, \"%x\")" << "string" << "ff";
    QTest::newRow("String of a float as int") << "String(7.9, \"%d\")" << "string" << "7";
    QTest::newRow("String with text around") << "String(7, \"frame %03d of 10\")" << "string" << "frame 007 of 10";
    QTest::newRow("String with a percent sign") << "String(50, \"%d%%\")" << "string" << "50%";
    // Format: in order, by number, by [name, value] pairs, by variable.
    QTest::newRow("Format in order") << "Format(\"{} {} {}\", \"AviSynth\", \"+\", 2020)" << "string" << "AviSynth + 2020";
    QTest::newRow("Format by number") << "Format(\"{0} {1} {0}\", \"Home\", \"sweet\")" << "string" << "Home sweet Home";
    QTest::newRow("Format by pairs") << "Format(\"max={max} min={MIN}\", [\"max\", 255], [\"min\", 0])" << "string"
                                     << "max=255 min=0";
    QTest::newRow("Format by variable") << "max_pixel_value = 255\nFormat(\"max={max_pixel_value}!\")" << "string"
                                        << "max=255!";
    QTest::newRow("Format's braces and spare values") << "Format(\"{{{}}}\", 1.5, 2)" << "string" << "{1.500000}";
    // The last convergent whose denominator stays within the limit.
    QTest::newRow("ContinuedNumerator of pi") << "ContinuedNumerator(Pi(), limit=5000)" << "int" << "355";
    QTest::newRow("ContinuedDenominator of pi") << "ContinuedDenominator(Pi(), limit=50)" << "int" << "7";
    QTest::newRow("ContinuedNumerator of a pair") << "ContinuedNumerator(355, 113, limit=50)" << "int" << "22";
    QTest::newRow("ContinuedDenominator reduces") << "ContinuedDenominator(30000, 1002)" << "int" << "167";
    QTest::newRow("ContinuedNumerator of a negative") << "ContinuedNumerator(-7, 2)" << "int" << "-7";
    QTest::newRow("ContinuedDenominator of a float's limit") << "ContinuedDenominator(29.97, 1000)" << "int" << "100";
    QTest::newRow("BitSetCount") << "BitSetCount(255, -1, 0)" << "int" << "40";
    QTest::newRow("BitRRotateL") << "BitRRotateL(1, 1)" << "int" << "-2147483648";
    QTest::newRow("IsVersionOrGreater") << "String(IsVersionOrGreater(2, 60)) + String(IsVersionOrGreater(3, 0))" << "string"
                                        << "truefalse";
    QTest::newRow("GetProcessInfo") << "GetProcessInfo()" << "int" << "64";
    QTest::newRow("StrToUtf8") << "StrFromUtf8(StrToUtf8(\"é\"))" << "string" << "é";
  }
  void values() {
    QFETCH(QString, expr);
    QFETCH(QString, type);
    QFETCH(QString, text);
    avs::Value v = Run(expr);
    QCOMPARE(TypeOf(v), type);
    QCOMPARE(QString::fromStdString(v.toText()), text);
  }

  void refusals_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    QTest::newRow("format for text") << "String(1, \"%s\")" << "t.avs, line 1: String: the format \"%s\" is not one";
    QTest::newRow("two conversions") << "String(1, \"%d %d\")" << "t.avs, line 1: String: the format \"%d %d\" is not one";
    QTest::newRow("star width") << "String(1, \"%*d\")" << "t.avs, line 1: String: the format";
    QTest::newRow("format of a string") << "String(\"x\", \"%d\")" << "t.avs, line 1: String: a format can only be used with a number";
    QTest::newRow("huge width") << "String(1, \"%999999999d\")" << "t.avs, line 1: String: the format \"%999999999d\" asks for too wide";
    QTest::newRow("huge precision") << "String(1.5, \"%.99999f\")" << "t.avs, line 1: String: the format \"%.99999f\" asks for too wide";
    QTest::newRow("negative length") << "LeftStr(\"a\", -1)" << "t.avs, line 1: LeftStr: the length is negative";
    QTest::newRow("MidStr from 0") << "MidStr(\"abc\", 0)" << "t.avs, line 1: MidStr: the start is counted from 1";
    QTest::newRow("negative fill") << "FillStr(-1)" << "t.avs, line 1: FillStr: the count is negative";
    QTest::newRow("huge fill") << "FillStr(20000000, \"x\")" << "t.avs, line 1: FillStr: the string would be longer than 16 MiB";
    QTest::newRow("MulDiv by zero") << "MulDiv(1, 2, 0)" << "t.avs, line 1: MulDiv: division by zero";
    QTest::newRow("Int of a huge float") << "Int(Pow(10, 300))" << "t.avs, line 1: Int: the value";
    QTest::newRow("Round of a huge float") << "Round(3000000000.0)" << "t.avs, line 1: Round: the value 3000000000.000000 does not fit in an int";
    QTest::newRow("Spline with one point") << "Spline(1, 0, 0)" << "t.avs, line 1: Spline: needs at least two points";
    QTest::newRow("Spline out of order") << "Spline(1, 5, 0, 2, 1)" << "t.avs, line 1: Spline: the points' x values must increase";
    QTest::newRow("Min of nothing") << "Min()" << "t.avs, line 1: Min: needs at least one number";
    QTest::newRow("Select out of range") << "Select(3, 1, 2, 3)" << "t.avs, line 1: Select: the index 3 is out of range";
    QTest::newRow("Select negative") << "Select(-1, 1)" << "t.avs, line 1: Select: the index -1 is out of range";
    QTest::newRow("Format past its values") << "Format(\"{} {}\", 1)" << "t.avs, line 1: Format: {} asks for a value beyond the 1 given";
    QTest::newRow("Format of an unknown name") << "Format(\"{nobody}\")" << "t.avs, line 1: Format: nothing is named nobody";
    QTest::newRow("Format's lone brace") << "Format(\"a}\")" << "t.avs, line 1: Format: a '}' stands alone";
    QTest::newRow("Format's open brace") << "Format(\"{a\")" << "t.avs, line 1: Format: a '{' is not closed";
    QTest::newRow("ContinuedNumerator limit 0") << "ContinuedNumerator(1.5, 0)" << "t.avs, line 1: ContinuedNumerator: limit must be 1";
    QTest::newRow("ContinuedNumerator over 0") << "ContinuedNumerator(1, 0)" << "t.avs, line 1: ContinuedNumerator: division by zero";
    QTest::newRow("log to a file") << "SetLogParams(\"log.txt\")" << "t.avs, line 1: SetLogParams: the log can only go to stderr";
    QTest::newRow("TCPSource") << "TCPSource(\"localhost\")" << "t.avs, line 1: TCPSource: serving and reading clips over the network";
    QTest::newRow("propGetInt") << "BlankClip()\npropGetInt(\"_Matrix\")" << "t.avs, line 2: propGetInt: frame properties are not supported";
    QTest::newRow("propSetString") << "BlankClip().propSetString(\"name\", \"x\")"
                                   << "t.avs, line 1: propSetString: frame properties are not supported";
  }
  void refusals() {
    QFETCH(QString, script);
    QFETCH(QString, message);
    const QString error = ErrorOf(script);
    QVERIFY2(error.startsWith(message), qPrintable(error));
  }

  void randomNumbers() {
    for (int i = 0; i < 50; ++i) {
      const int64_t r = Run("Rand(10)").asInt();
      QVERIFY(r >= 0 && r < 10);
      const int64_t n = Run("Rand(-5, false)").asInt();
      QVERIFY(n > -5 && n <= 0);
    }
    // Without a seed the numbers repeat from run to run of a script.
    QCOMPARE(Run("String(Rand()) + String(Rand())").asString(), Run("String(Rand()) + String(Rand())").asString());
    QCOMPARE(Run("Time(\"%Y\")").asString().size(), std::size_t{4});
  }

  void clipProperties_data() {
    QTest::addColumn<QString>("expr");
    QTest::addColumn<QString>("text");
    const QString film = "BlankClip(length=50, fps=24000, fps_denominator=1001, audio_rate=48000, channels=2)";
    QTest::newRow("AudioLengthF") << film + ".AudioLengthF" << "100100.000000";
    QTest::newRow("AudioDuration") << film + ".AudioDuration" << "2.085417";
    QTest::newRow("AudioDuration silent") << "BlankClip(channels=0).AudioDuration" << "0.000000";
    QTest::newRow("AudioBits") << film + ".AudioBits" << "16";
    QTest::newRow("IsAudioInt") << film + ".IsAudioInt" << "true";
    QTest::newRow("IsAudioFloat") << film + ".IsAudioFloat" << "false";
    QTest::newRow("FrameRateNumerator") << film + ".FrameRateNumerator" << "24000";
    QTest::newRow("FrameRateDenominator") << film + ".FrameRateDenominator" << "1001";
    QTest::newRow("IsYV12") << "BlankClip(pixel_type=\"YV12\").IsYV12" << "true";
    QTest::newRow("IsYV12 of RGB") << "BlankClip().IsYV12" << "false";
    QTest::newRow("IsYUY2") << "BlankClip(pixel_type=\"YUY2\").IsYUY2" << "true";
    QTest::newRow("IsPlanar YV12") << "BlankClip(pixel_type=\"YV12\").IsPlanar" << "true";
    QTest::newRow("IsPlanar Y8") << "BlankClip(pixel_type=\"Y8\").IsPlanar" << "true";
    QTest::newRow("IsPlanar RGB32") << "BlankClip().IsPlanar" << "false";
    QTest::newRow("IsInterleaved YUY2") << "BlankClip(pixel_type=\"YUY2\").IsInterleaved" << "true";
    QTest::newRow("IsInterleaved YV24") << "BlankClip(pixel_type=\"YV24\").IsInterleaved" << "false";
    QTest::newRow("IsFieldBased") << "BlankClip().IsFieldBased" << "false";
    QTest::newRow("IsFrameBased") << "BlankClip().IsFrameBased" << "true";
    QTest::newRow("GetParity bottom first") << "BlankClip().GetParity(1)" << "false";
    QTest::newRow("BitsPerComponent") << "BlankClip().BitsPerComponent" << "8";
    QTest::newRow("ComponentSize") << "BlankClip().ComponentSize" << "1";
    QTest::newRow("NumComponents RGB32") << "BlankClip().NumComponents" << "4";
    QTest::newRow("NumComponents YV12") << "BlankClip(pixel_type=\"YV12\").NumComponents" << "3";
    QTest::newRow("AudioLengthLo") << film + ".AudioLengthLo(1000)" << "100";
    QTest::newRow("AudioLengthHi") << film + ".AudioLengthHi(1000)" << "100";
    QTest::newRow("AudioLengthS") << film + ".AudioLengthS" << "100100";
    QTest::newRow("GetChannelMask of stereo") << film + ".GetChannelMask" << "3";
    QTest::newRow("IsChannelMaskKnown") << film + ".SetChannelMask(true, 3).IsChannelMaskKnown" << "false";
  }
  void clipProperties() {
    QFETCH(QString, expr);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(Run(expr).toText()), text);
  }

  void testsOfValues() {
    QCOMPARE(Run("IsInt(2) && !IsInt(2.0) && !IsInt(true)").asBool(), true);
    // An int counts as a float as well.
    QCOMPARE(Run("IsFloat(2) && IsFloat(2.5) && !IsFloat(\"2.5\")").asBool(), true);
    QCOMPARE(Run("IsString(\"a\") && !IsString(1) && IsBool(1 < 2) && !IsBool(0)").asBool(), true);
    QCOMPARE(Run("IsClip(BlankClip()) && !IsClip(\"c\")").asBool(), true);
    QCOMPARE(Run("Defined(Undefined()) || Defined()").asBool(), false);
    QCOMPARE(Run("x = Undefined()\nDefault(x, 5) + Default(2, 7)").asInt(), int64_t{7});
    QCOMPARE(Run("VarExist(\"y\")").asBool(), false);
    QCOMPARE(Run("y = 1\nVarExist(\"Y\")").asBool(), true);
    QCOMPARE(Run("NOP()").asInt(), int64_t{0});
    QCOMPARE(Run("Select(1, \"a\", \"b\", \"c\")").asString(), std::string("b"));
    QCOMPARE(Run("FunctionExists(\"trim\") && !FunctionExists(\"NoSuch\")").asBool(), true);
    MediaFolder folder;
    folder.write("here.txt", "x");
    QCOMPARE(Run("Exist(\"here.txt\") && !Exist(\"gone.txt\")", folder.dir()).asBool(), true);
  }

  void versionAndScriptNames() {
    QCOMPARE(Run("VersionNumber").asFloat(), 2.6);
    QVERIFY(Run("VersionString").asString().find("AviSynth") != std::string::npos);
    MediaFolder folder;
    QDir(folder.dir()).mkdir("lib");
    folder.script("lib/names.avsi", "inner = ScriptFile + \" \" + ScriptDir\n");
    const QString top = folder.script("top.avs", "Import(\"lib/names.avsi\")\nouter = ScriptName + \" \" + ScriptFile\n"
                                                 "outer + \"|\" + inner\n");
    avs::Interpreter interp;
    const QString canonical = QFileInfo(top).canonicalFilePath();
    const QString libDir = QFileInfo(folder.path("lib")).canonicalFilePath() + "/";
    QCOMPARE(QString::fromStdString(interp.RunFile(top.toStdString()).asString()),
             canonical + " top.avs|names.avsi " + libDir);
  }

  // SetWorkingDir moves where relative names are found; the settings that
  // only tune AviSynth change nothing and give what AviSynth gives.
  void settings() {
    MediaFolder folder;
    QDir(folder.dir()).mkdir("lib");
    folder.script("lib/seven.avsi", "7\n");
    QCOMPARE(Run("a = SetWorkingDir(\"lib\")\nb = SetWorkingDir(\"missing\")\nImport(\"seven.avsi\") * 100 + a * 10 + b",
                 folder.dir())
                 .asInt(),
             int64_t{699});
    QCOMPARE(Run("SetMemoryMax(512)").asInt(), int64_t{512});
    avs::Value v = Run("SetFilterMTMode(\"DEFAULT_MT_MODE\", 2)\nSetCacheMode(0)\nSetPlanarLegacyAlignment(true)\n"
                       "SetMemoryMax()\nSetGraphAnalysis(true)\nBlankClip(length=7)\nPrefetch(4)\nSetCacheHints(0, 2)");
    QVERIFY(v.isClip());
    QCOMPARE(v.asClip()->info().frameCount, int64_t{7});
  }

  // WriteFile writes a line for every frame read, WriteFileIf for those
  // whose condition holds, WriteFileEnd once when the clip is let go.
  void writeFiles() {
    MediaFolder folder;
    folder.write("each.txt", "old\n");
    const QString script = folder.script(
        "w.avs", "x = 7\nBlankClip(length=5, width=16, height=16)\n"
                 "WriteFile(\"each.txt\", \"current_frame\", \"\"\" \":\" \"\"\", \"x\")\n"
                 "WriteFileIf(\"if.txt\", \"current_frame % 2 == 0\", \"current_frame\", append=false)\n"
                 "WriteFileEnd(\"end.txt\", \"x * 2\")\n"
                 "WriteFile(\"fresh.txt\", \"current_frame\", append=false)\n");
    {
      auto reader = avs::ClipReader::OpenScript(script.toStdString());
      QCOMPARE(folder.read("fresh.txt"), QByteArray());
      ReadBack back = ReadWholeClip(*reader);
      QCOMPARE(back.frames, int64_t{5});
      QVERIFY(!QFile::exists(folder.path("end.txt")));
    }
    QCOMPARE(folder.read("each.txt"), QByteArray("old\n0:7\n1:7\n2:7\n3:7\n4:7\n"));
    QCOMPARE(folder.read("if.txt"), QByteArray("0\n2\n4\n"));
    QCOMPARE(folder.read("fresh.txt"), QByteArray("0\n1\n2\n3\n4\n"));
    QCOMPARE(folder.read("end.txt"), QByteArray("14\n"));
    QString error;
    try {
      Run("BlankClip()\nWriteFileIf(\"x.txt\")");
    } catch (const avs::ScriptError& e) {
      error = e.what();
    }
    QVERIFY2(error.startsWith("t.avs, line 2: WriteFileIf: needs a condition"), qPrintable(error));
  }

  // The writing functions write regular files only: a FIFO in the file's
  // place once blocked the probe until something read it, for ever.
  void writingFunctionsRefuseAnythingButAFile_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    QTest::newRow("WriteFileStart to a FIFO") << R"(WriteFileStart(BlankClip(), "fifo", "1"))"
                                              << "line 1: WriteFileStart: cannot write %1fifo: it is not a regular file";
    QTest::newRow("appending to a FIFO") << R"(WriteFileStart(BlankClip(), "fifo", "1", append=true))"
                                         << "WriteFileStart: cannot write %1fifo: it is not a regular file";
    QTest::newRow("WriteFile to a FIFO") << "BlankClip(length=2)\n" R"(WriteFile("fifo", "current_frame", append=false))"
                                         << "line 2: cannot write %1fifo: it is not a regular file";
    QTest::newRow("WriteFile to a FIFO, read") << "BlankClip(length=2)\n" R"(WriteFile("fifo", "current_frame"))"
                                               << "line 2: cannot write %1fifo: it is not a regular file";
    QTest::newRow("WriteFileStart to a folder") << R"(WriteFileStart(BlankClip(), "folder", "1"))"
                                                << "WriteFileStart: cannot write %1folder: it is not a regular file";
    QTest::newRow("a NUL in the name") << R"(WriteFileStart(BlankClip(), "a" + Chr(0) + "b", "1"))"
                                       << "holds a NUL character";
  }
  void writingFunctionsRefuseAnythingButAFile() {
    QFETCH(QString, script);
    QFETCH(QString, message);
    MediaFolder folder;
    QVERIFY(QDir(folder.dir()).mkdir("folder"));
    QCOMPARE(mkfifo(folder.path("fifo").toUtf8().constData(), 0600), 0);
    QString error = "no error";
    try {
      avs::Interpreter interp;
      const avs::Value clip = interp.RunText(script.toStdString(), "t.avs", folder.dir().toStdString());
      avs::Reading reading;
      reading.Frame(*clip.asClip(), 0);
    } catch (const avs::ScriptError& e) {
      error = QString::fromStdString(e.what());
    }
    QVERIFY2(error.contains(message.replace("%1", folder.dir())), qPrintable(error));
    // WriteFileEnd writes as its clip is let go, where nothing can report
    // a failure: it gives up on the FIFO instead of waiting.
    avs::Interpreter interp;
    interp.RunText("BlankClip()\n" R"(WriteFileEnd("fifo", "1"))", "t.avs", folder.dir().toStdString());
  }
};

QTEST_GUILESS_MAIN(ScriptFunctionsTest)
#include "tst_script_functions.moc"
