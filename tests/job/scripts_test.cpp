// The scripts of a job, the rates behind the encoder options, the frame-rate
// arithmetic and the reading of the probe's findings.
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>

#include "job/mode_record.h"
#include "job/scripts.h"

namespace {

settings::ModeSettings Preview(int level, int balance) {
  settings::ModeSettings s = settings::PreviewDefaults();
  s.rateLevel = static_cast<uint8_t>(level);
  s.balance = static_cast<uint8_t>(balance);
  return s;
}

settings::ModeSettings Standard(int level, int balance) {
  settings::ModeSettings s = settings::StandardDefaults();
  s.rateLevel = static_cast<uint8_t>(level);
  s.balance = static_cast<uint8_t>(balance);
  return s;
}

void Touch(const QString& path) { std::ofstream(path.toStdString()) << "x"; }

}  // namespace

class ScriptsTest : public QObject {
  Q_OBJECT

 private slots:
  void frameRates_data() {
    QTest::addColumn<double>("rate");
    QTest::addColumn<int>("fpsInt");
    QTest::addColumn<QString>("fpsArg");
    QTest::newRow("25") << 25.0 << 25 << "\"pal_film\"";
    QTest::newRow("23.976") << 23.976023976 << 24 << "\"ntsc_round_film\"";
    QTest::newRow("29.97") << 29.97002997 << 30 << "\"ntsc_round_video\"";
    QTest::newRow("30") << 30.0 << 30 << "30.000";
    QTest::newRow("24") << 24.0 << 24 << "\"film\"";
    QTest::newRow("50") << 50.0 << 50 << "\"pal_double\"";
    QTest::newRow("59.94") << 59.94005994 << 60 << "\"ntsc_double\"";
    QTest::newRow("8") << 8.0 << 8 << "8.000";
    QTest::newRow("119.88") << 119.88 << 120 << "119.880";
    QTest::newRow("12.5 to even") << 12.5 << 12 << "12.500";
    QTest::newRow("13.5 to even") << 13.5 << 14 << "13.500";
  }
  void frameRates() {
    QFETCH(double, rate);
    const job::FrameRate r = job::FrameRateFrom(rate);
    QTEST(int(r.fpsInt), "fpsInt");
    QTEST(QString::fromStdString(r.fpsArg), "fpsArg");
  }

  void rateTable_data() {
    QTest::addColumn<bool>("preview");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("balance");
    QTest::addColumn<QString>("x264End");
    QTest::addColumn<QString>("aac");
    QTest::newRow("P 10/1") << true << 10 << 1 << "--bitrate 82" << "-br 40960";
    QTest::newRow("P 40/3") << true << 40 << 3 << "--bitrate 481" << "-br 51200";
    QTest::newRow("P 50/5") << true << 50 << 5 << "--bitrate 608" << "-br 61440";
    QTest::newRow("S 5/1") << false << 5 << 1 << "--bitrate 593" << "-br 92160";
    QTest::newRow("S 15/3") << false << 15 << 3 << "--bitrate 1918" << "-br 133120";
    QTest::newRow("S 50/5") << false << 50 << 5 << "--bitrate 6657" << "-br 174080";
  }
  void rateTable() {
    QFETCH(bool, preview);
    QFETCH(int, level);
    QFETCH(int, balance);
    const job::EncoderOptions o =
        preview ? job::PreviewOptions(Preview(level, balance)) : job::StandardOptions(Standard(level, balance));
    QFETCH(QString, x264End);
    QVERIFY2(QString::fromStdString(o.x264Opts).endsWith(" " + x264End), o.x264Opts.c_str());
    QVERIFY(o.x264Opts.rfind(preview ? "--ratetol 100.0 --slow-firstpass --bframes 6 --bitrate "
                                     : "--ratetol 100.0 --slow-firstpass --bitrate ", 0) == 0);
    QTEST(QString::fromStdString(o.aacOpts), "aac");
  }

  void qualityVariants() {
    settings::ModeSettings s = Standard(15, 3);
    s.deluxeSound = true;
    QCOMPARE(job::StandardOptions(s).aacOpts, std::string("-q 0.85"));
    s.sdDeluxe = true;
    QCOMPARE(job::StandardOptions(s).x264Opts, std::string("--no-fast-pskip --crf 17"));
    QCOMPARE(job::DeluxeOptions().aacOpts, std::string("-q 0.85"));
  }

  void previewScriptLineForLine() {
    const job::ScriptLines lines =
        job::PreviewScript("v = AviSource(\"/c/clip.avi\")", "\"pal_film\"", settings::PreviewDefaults());
    const job::ScriptLines expected = {"v = AviSource(\"/c/clip.avi\")",
                                       "R=(v.AudioRate>44100)?44100:v.AudioRate",
                                       "v = v.ResampleAudio(R)",
                                       "v = v.AssumeFPS(\"pal_film\")",
                                       "v",
                                       "W=480",
                                       "W=(W>v.Width)?v.Width:W",
                                       "H=W*v.Height/v.Width",
                                       "CW=(W%4)",
                                       "CH=(H%2)",
                                       "g = v.Spline64Resize(W-CW,H-CH)",
                                       "g = IsRGB(g) ? g.ConvertToYV12(matrix=\"Rec601\") : g",
                                       "g"};
    QCOMPARE(lines, expected);
  }

  void standardScriptAt848() {
    settings::ModeSettings s = settings::StandardDefaults();
    s.widthIndex = 2;
    job::ScriptLines lines = job::StandardScript("SRC", "30.000", s);
    QCOMPARE(lines.size(), std::size_t(16));
    QCOMPARE(lines[1], std::string("R=(v.AudioRate>48000)?48000:v.AudioRate"));
    QCOMPARE(lines[3], std::string("v = v.AssumeFPS(30.000)"));
    QCOMPARE(lines[5], std::string("W=853"));
    QCOMPARE(lines[8], std::string("W=(W==853)?852:W"));
    QCOMPARE(lines[9], std::string("H=(H==479)?480:H"));
    QCOMPARE(lines[13], std::string("g = IsRGB(g) ? (g.Height >= 720 && g.Width >= 1280 ? "
                                    "g.ConvertToYV12(matrix=\"Rec709\") : g.ConvertToYV12(matrix=\"Rec601\") ) : g"));
    QCOMPARE(lines[15], std::string("(g.Width>848)?g.Crop(2,0,-2,0):last"));
    // The crop follows the chosen width even when the width is kept.
    s.newWidth = false;
    lines = job::StandardScript("SRC", "30.000", s);
    QCOMPARE(lines[5], std::string("W=Width"));
    QCOMPARE(lines.back(), std::string("(g.Width>848)?g.Crop(2,0,-2,0):last"));
    s.widthIndex = 4;
    s.newWidth = true;
    lines = job::StandardScript("SRC", "30.000", s);
    QCOMPARE(lines[5], std::string("W=1280"));
    QCOMPARE(lines.size(), std::size_t(15));
  }

  void storedWidthIndexIsHeldInTheList() {
    settings::ModeSettings s = settings::PreviewDefaults();
    s.widthIndex = 7;
    QCOMPARE(job::ChosenWidth(s), std::string("480"));
    s.widthIndex = -3;
    QCOMPARE(job::ChosenWidth(s), std::string("320"));
  }

  void deluxeScript() {
    const job::ScriptLines lines = job::DeluxeScript("SRC", "\"film\"");
    QCOMPARE(lines.size(), std::size_t(15));
    QCOMPARE(lines[5], std::string("W=v.Width"));
    QCOMPARE(lines.back(), std::string("g"));
  }

  void sourceLines() {
    job::Sequence seq{"/f/shot%04d.png", 1, 250, "25.000", ""};
    QCOMPARE(job::ModeSourceLine("/c/a.avi", "true", "", seq), std::string("v = AviSource(\"/c/a.avi\")"));
    QCOMPARE(job::ModeSourceLine("/c/a.avs", "true", "", seq), std::string("v = Import(\"/c/a.avs\")"));
    QCOMPARE(job::ModeSourceLine("/c/a.vpy", "true", "/c/a.avi", seq),
             std::string("v = AudioDub(avisource(\"/c/a.vpy\"), wavsource(\"/c/a.avi\"))"));
    QCOMPARE(job::ModeSourceLine("/c/a.vpy", "false", "/c/a.avi", seq), std::string("v = AviSource(\"/c/a.vpy\")"));
    QCOMPARE(job::ModeSourceLine("/c/a.vpy", "", "/c/a.avi", seq), std::string());
    QCOMPARE(job::ModeSourceLine("/f/shot0001.png", "", "", seq),
             std::string("v = ImageSource(\"/f/shot%04d.png\", 1, 250, 25.000)"));
    seq.wavPath = "/m/s.wav";
    QCOMPARE(job::ModeSourceLine("/f/shot0001.png", "", "", seq),
             std::string("v = AudioDub(ImageSource(\"/f/shot%04d.png\", 1, 250, 25.000), wavsource(\"/m/s.wav\"))"));
    // A path with a double quote travels in the triple-quoted form.
    QCOMPARE(job::ModeSourceLine("/c/say \"hi\".avi", "", "", seq),
             std::string("v = AviSource(\"\"\"/c/say \"hi\".avi\"\"\")"));
  }

  void probeAndWavScripts() {
    const job::Sequence none;
    QCOMPARE(job::ProbeScript("/c/a.avi", "", false, none),
             (job::ScriptLines{"v = Avisource(\"/c/a.avi\")", "WriteFileStart(v, \"fps.txt\", \"Framerate(v)\")",
                               "WriteFileStart(v, \"audio.txt\", \"HasAudio(v)\")"}));
    QCOMPARE(job::ProbeScript("/c/a.vpy", "/c/real.avi", true, none)[0], std::string("v = AviSource(\"/c/real.avi\")"));
    QCOMPARE(job::ProbeScript("/c/a.vpy", "/c/real.avi", false, none)[0], std::string("v = AviSource(\"/c/a.vpy\")"));
    QCOMPARE(job::WavScript("/m/song.wav"),
             (job::ScriptLines{"v = WavSource(\"/m/song.wav\")", "R=(v.AudioRate>48000)?48000:v.AudioRate",
                               "v.ResampleAudio(R)"}));
  }

  void numbersFromTheProbe() {
    QCOMPARE(job::ParseRate("23.976024\n"), 23.976024);
    QCOMPARE(job::ParseRate(" 25 "), 25.0);
    try {
      job::ParseRate("abc");
      QFAIL("a word is no rate");
    } catch (const job::ProbeError& e) {
      QCOMPARE(QString(e.what()), QString("'abc' is not a valid floating point value"));
    }
    QVERIFY_THROWS_EXCEPTION(job::ProbeError, job::ParseRate(""));
    QVERIFY_THROWS_EXCEPTION(job::ProbeError, job::ParseRate("25,000"));
    QCOMPARE(job::FrameNumberOf("shot0017.png", "shot"), 17);
    try {
      job::FrameNumberOf("shot_final.png", "shot");
      QFAIL("not a number");
    } catch (const job::ProbeError& e) {
      QCOMPARE(QString(e.what()), QString("'_final' is not a valid integer value"));
    }
  }

  void vpyAviSearch() {
    const auto exists = [](const std::string& p) { return p == "/c/clip.avi" || p == "/c/other.avi"; };
    QCOMPARE(job::FindVpyAviPath("import vapoursynth as vs\nclip = core.avisource.AVISource(path=r\"/c/clip.avi\")\n",
                                 exists),
             std::string("/c/clip.avi"));
    QCOMPARE(job::FindVpyAviPath("c = core.avisource.AVISource(r'/c/other.avi')\n", exists), std::string("/c/other.avi"));
    // An upper-case extension is not cut, and a commented call is not seen.
    QVERIFY(!exists(job::FindVpyAviPath("c = core.avisource.AVISource(r\"/c/CLIP.AVI\")\n", exists)));
    QCOMPARE(job::FindVpyAviPath("#c = core.avisource.AVISource(r\"/c/clip.avi\")\nx = 1\n", exists), std::string());
    // The path= form naming no file gives way to the second form.
    QCOMPARE(job::FindVpyAviPath("a = AVISource(path=r\"/c/gone.avi\")\nb = AVISource(r\"/c/other.avi\")", exists),
             std::string("/c/other.avi"));
  }

  void sequenceScan() {
    QTemporaryDir dir;
    for (const char* name : {"shot0003.png", "shot0001.png", "shot0002.png", "Shot0004.png", "shot0005.jpg", "x.png"}) {
      Touch(dir.filePath(name));
    }
    const job::SequenceScan scan = job::ScanSequence(dir.filePath("shot0002.png").toStdString());
    QCOMPARE(scan.prefix, std::string("shot"));
    QCOMPARE(scan.digits, 4);
    QCOMPARE(scan.pattern, dir.filePath("shot%04d.png").toStdString());
    QCOMPARE(scan.names, (std::vector<std::string>{"shot0001.png", "shot0002.png", "shot0003.png"}));

    const job::SequenceScan digitsOnly = job::ScanSequence(dir.filePath("0001.png").toStdString());
    QCOMPARE(digitsOnly.prefix, std::string());
    QCOMPARE(digitsOnly.pattern, dir.filePath("%04d.png").toStdString());
    const job::SequenceScan noDigits = job::ScanSequence(dir.filePath("shot.png").toStdString());
    QCOMPARE(noDigits.digits, 0);
    QVERIFY(QString::fromStdString(noDigits.pattern).endsWith("shot%00d.png"));
  }

  void percentInFolderOrPrefixIsText() {
    QTemporaryDir parent;
    QVERIFY(QDir(parent.path()).mkdir("100%d"));
    const QString folder = parent.filePath("100%d");
    Touch(folder + "/a%s_01.png");
    const job::SequenceScan scan = job::ScanSequence((folder + "/a%s_01.png").toStdString());
    QCOMPARE(scan.prefix, std::string("a%s_"));
    QCOMPARE(scan.pattern, (parent.filePath("100%%d") + "/a%%s_%02d.png").toStdString());
    QCOMPARE(scan.names, std::vector<std::string>{"a%s_01.png"});
  }

  void fillWmSetsEveryRecord() {
    QTemporaryDir dir;
    const std::string source = dir.filePath("clip.avi").toStdString();
    Touch(dir.filePath("clip.avi"));
    Touch(dir.filePath("clip_preview.mp4"));
    job::ModeRecords records;
    records[job::kPreview].settings = settings::PreviewDefaults();
    records[job::kStandard].settings = settings::StandardDefaults();
    records[job::kStandard].settings.sdDeluxe = true;
    job::JobInputs in;
    in.sourcePath = source;
    in.ticked[job::kStandard] = true;
    in.ticked[job::kDeluxe] = true;
    in.fpsArg = "\"pal_film\"";
    in.hasAudioText = "true";
    job::FillWM(records, in);
    QCOMPARE(int(records[job::kPreview].passesLeft), 0);
    QCOMPARE(int(records[job::kStandard].passesLeft), 1);
    QCOMPARE(int(records[job::kDeluxe].passesLeft), 1);
    QCOMPARE(records[job::kPreview].outName, dir.filePath("clip1_preview.mp4").toStdString());
    QCOMPARE(records[job::kStandard].outName, dir.filePath("clip_standard.mp4").toStdString());
    QCOMPARE(records[job::kDeluxe].outName, dir.filePath("clip_deluxe.mp4").toStdString());
    QCOMPARE(records[job::kDeluxe].script.front(), "v = AviSource(\"" + source + "\")");
    QCOMPARE(records[job::kStandard].x264Opts, std::string("--no-fast-pskip --crf 17"));
  }
};

QTEST_APPLESS_MAIN(ScriptsTest)
#include "scripts_test.moc"
