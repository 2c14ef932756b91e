// Scripts of the kind users write with the language's features (user
// functions, try/catch, loops, Eval, Apply, Import of a library), after
// examples in AviSynth's documentation, run through avs2pipemod: each must
// give the frame count, size, rate and sound expected, and frames identical
// to those of a plain script that makes the same clip without the feature.
#include "media_fixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QtTest>

namespace {

struct Example {
  const char* name;
  const char* script;
  const char* plain;  // the same clip, made directly
  int frames, width, height;
  const char* fps;
};

const char kLibrary[] =
    "function MakeBars(int frames) {\n"
    "  BlankClip(length=frames, width=320, height=240, pixel_type=\"YV12\", color=$00FF00)\n"
    "}\n"
    "function HalfSize(clip c) { c.BilinearResize(c.Width / 2, c.Height / 2) }\n";

const Example kExamples[] = {
    {"optional argument",
     "# After AviSynth's documentation, \"User defined script functions\": an\n"
     "# optional, named argument that Default fills in.\n"
     "function CutBorders(clip c, int \"border\") {\n"
     "  border = Default(border, 16)\n"
     "  c.Crop(0, border, 0, -border)\n"
     "}\n"
     "BlankClip(length=12, width=320, height=240, pixel_type=\"YV12\", color=$336699)\n"
     "CutBorders(border=20)\n",
     "BlankClip(length=12, width=320, height=240, pixel_type=\"YV12\", color=$336699).Crop(0, 20, 0, -20)\n", 12, 320,
     200, "24/1"},
    {"try and catch",
     "# From AviSynth's documentation, \"Control structures\": try..catch falls\n"
     "# back to another clip when a source cannot be opened.\n"
     "try {\n"
     "  AviSource(\"missing_file_001.avi\")\n"
     "} catch(err_msg) {\n"
     "  BlankClip(length=10, width=160, height=120, pixel_type=\"YV12\")\n"
     "}\n",
     "BlankClip(length=10, width=160, height=120, pixel_type=\"YV12\")\n", 10, 160, 120, "24/1"},
    {"Eval",
     "# From AviSynth's documentation, \"Control functions\", Eval: a call built\n"
     "# from a string of settings.\n"
     "BlankClip(length=8, width=640, height=480, pixel_type=\"YV12\", color=$FF8000)\n"
     "settings = \"352, 288\"\n"
     "Eval( \"BicubicResize(\" + settings + \")\" )\n",
     "BlankClip(length=8, width=640, height=480, pixel_type=\"YV12\", color=$FF8000).BicubicResize(352, 288)\n", 8, 352,
     288, "24/1"},
    {"Apply",
     "# From AviSynth's documentation, \"Control functions\", Apply: the same\n"
     "# call as the Eval example, by the function's name.\n"
     "BlankClip(length=8, width=640, height=480, pixel_type=\"YV12\", color=$FF8000)\n"
     "Apply(\"BicubicResize\", 352, 288)\n",
     "BlankClip(length=8, width=640, height=480, pixel_type=\"YV12\", color=$FF8000).BicubicResize(352, 288)\n", 8, 352,
     288, "24/1"},
    {"Import of a library",
     "# After AviSynth's documentation, \"Import\": helper functions kept in a\n"
     "# library script and imported by a relative path.\n"
     "Import(\"lib/helpers.avsi\")\n"
     "MakeBars(24).HalfSize()\n",
     "BlankClip(length=24, width=320, height=240, pixel_type=\"YV12\", color=$00FF00).BilinearResize(160, 120)\n", 24, 160,
     120, "24/1"},
    {"for loop",
     "# After AviSynth+'s documentation of the for statement: a clip joined\n"
     "# from pieces made in a loop.\n"
     "c = BlankClip(length=1, width=64, height=64, pixel_type=\"YV12\")\n"
     "for (i = 1, 4) {\n"
     "  c = c + BlankClip(length=i, width=64, height=64, pixel_type=\"YV12\", color=i * $202020)\n"
     "}\n"
     "c\n",
     "b = BlankClip(length=1, width=64, height=64, pixel_type=\"YV12\")\n"
     "b + BlankClip(length=1, width=64, height=64, pixel_type=\"YV12\", color=$202020) + "
     "BlankClip(length=2, width=64, height=64, pixel_type=\"YV12\", color=$404040) + "
     "BlankClip(length=3, width=64, height=64, pixel_type=\"YV12\", color=$606060) + "
     "BlankClip(length=4, width=64, height=64, pixel_type=\"YV12\", color=$808080)\n",
     11, 64, 64, "24/1"},
    {"while and if",
     "# After AviSynth+'s documentation of while and if..else.\n"
     "n = 0\n"
     "total = BlankClip(length=2, width=64, height=48, pixel_type=\"YV12\")\n"
     "while (n < 3) {\n"
     "  if (n % 2 == 0) {\n"
     "    total = total + BlankClip(length=2, width=64, height=48, pixel_type=\"YV12\", color=$FFFFFF)\n"
     "  } else {\n"
     "    total = total + BlankClip(length=3, width=64, height=48, pixel_type=\"YV12\")\n"
     "  }\n"
     "  n = n + 1\n"
     "}\n"
     "total\n",
     "k = BlankClip(length=2, width=64, height=48, pixel_type=\"YV12\")\n"
     "w = BlankClip(length=2, width=64, height=48, pixel_type=\"YV12\", color=$FFFFFF)\n"
     "k + w + BlankClip(length=3, width=64, height=48, pixel_type=\"YV12\") + w\n",
     9, 64, 48, "24/1"},
    {"recursion",
     "# After AviSynth's documentation, \"User defined script functions\": a\n"
     "# function that calls itself.\n"
     "function Repeat(clip c, int times) {\n"
     "  return times <= 1 ? c : c + Repeat(c, times - 1)\n"
     "}\n"
     "BlankClip(length=3, width=96, height=64, pixel_type=\"YV12\", color=$804020).Repeat(4)\n",
     "c = BlankClip(length=3, width=96, height=64, pixel_type=\"YV12\", color=$804020)\nc + c + c + c\n", 12, 96, 64,
     "24/1"},
    {"global counter and Select",
     "# From AviSynth's documentation, \"Control functions\": Eval increments a\n"
     "# global, and Select picks a clip by it.\n"
     "global my_counter = 0\n"
     "increment = 2\n"
     "dummy = Eval(\"global my_counter = my_counter + \" + String(increment))\n"
     "Select(my_counter, BlankClip(length=5, width=32, height=32, pixel_type=\"YV12\", color=$FF0000), \\\n"
     "       BlankClip(length=5, width=32, height=32, pixel_type=\"YV12\", color=$00FF00), \\\n"
     "       BlankClip(length=5, width=32, height=32, pixel_type=\"YV12\", color=$0000FF))\n",
     "BlankClip(length=5, width=32, height=32, pixel_type=\"YV12\", color=$0000FF)\n", 5, 32, 32, "24/1"},
    {"continued lines",
     "# From AviSynth's documentation, \"AviSynth Syntax\": one statement over\n"
     "# several lines, joined by backslashes at either end.\n"
     "BlankClip(length=100, width=320, height=240, pixel_type=\"YV12\") \\\n"
     "  .Trim(10, 59) \\\n"
     "  .Crop(8, 8, -8, -8)\n"
     "\\ .AssumeFPS(25)\n",
     "BlankClip(length=100, width=320, height=240, pixel_type=\"YV12\").Trim(10, 59).Crop(8, 8, -8, -8).AssumeFPS(25)\n",
     50, 304, 224, "25/1"},
};

// -info's lines other than the script's name.
QByteArray InfoOf(const QString& script) {
  ToolRun run = RunTool({"-info", script});
  if (run.exitCode != 0) return "failed: " + run.err;
  QList<QByteArray> lines = run.out.split('\n');
  lines.removeFirst();
  return lines.join('\n');
}

QByteArray FramesHash(const QString& script) {
  ToolRun run = RunTool({"-y4mp", script});
  if (run.exitCode != 0) return "failed: " + run.err;
  return QCryptographicHash::hash(run.out, QCryptographicHash::Md5).toHex();
}

}  // namespace

class RealScriptsTest : public QObject {
  Q_OBJECT

  MediaFolder media_;

 private slots:
  void initTestCase() {
    QDir(media_.dir()).mkdir("lib");
    media_.script("lib/helpers.avsi", kLibrary);
  }

  void examples_data() {
    QTest::addColumn<int>("index");
    for (int i = 0; i < int(std::size(kExamples)); ++i) QTest::newRow(kExamples[i].name) << i;
  }
  void examples() {
    QFETCH(int, index);
    const Example& e = kExamples[index];
    const QString script = media_.script(QString("example%1.avs").arg(index), e.script);
    const QString plain = media_.script(QString("plain%1.avs").arg(index), e.plain);
    const QByteArray info = InfoOf(script);
    QVERIFY2(info.contains("v:frames          " + QByteArray::number(e.frames) + "\n"), info.constData());
    QVERIFY2(info.contains("v:width           " + QByteArray::number(e.width) + "\n"), info.constData());
    QVERIFY2(info.contains("v:height          " + QByteArray::number(e.height) + "\n"), info.constData());
    QVERIFY2(info.contains(QByteArray("v:fps             ") + e.fps + "\n"), info.constData());
    // Everything else -info reports, the sound included, matches too.
    QCOMPARE(info, InfoOf(plain));
    const QByteArray frames = FramesHash(script);
    QVERIFY2(!frames.startsWith("failed"), frames.constData());
    QCOMPARE(frames, FramesHash(plain));
  }
};

QTEST_GUILESS_MAIN(RealScriptsTest)
#include "tst_real_scripts.moc"
