// Text on frames: where Subtitle puts its text for each alignment and on
// which frames, how lines break, and what the frame-number, timecode and
// clock functions print, checked by the pixels the text changes and by
// the labels worked out by hand.
#include <QtTest>

#include <functional>

#include "media_fixture.h"
#include "tools/engine/functions/text_layout.h"
#include "tools/engine/reading.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/log.h>
}

namespace {

// The box of luma pixels brighter than the black background.
QRect DrawnBox(const AVFrame& frame) {
  int left = frame.width, top = frame.height, right = -1, bottom = -1;
  for (int y = 0; y < frame.height; ++y)
    for (int x = 0; x < frame.width; ++x)
      if (frame.data[0][y * frame.linesize[0] + x] > 40) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

// The pixels of a luma plane that pass `lit` (by default: brighter than
// black).
int Lit(const AVFrame& frame, const std::function<bool(int)>& lit = [](int luma) { return luma > 40; }) {
  int count = 0;
  for (int y = 0; y < frame.height; ++y)
    for (int x = 0; x < frame.width; ++x) count += lit(frame.data[0][y * frame.linesize[0] + x]);
  return count;
}

const char* const kBlack = "BlankClip(length=10, width=320, height=240, pixel_type=\"YV12\", fps=25)\n";

// A BDF font of 16 pixels with a space and an H drawn as a 6x10 block.
const char* const kBlockFont =
    "STARTFONT 2.1\nFONT -test-block-medium-r-normal--16-160-75-75-c-80-iso10646-1\nSIZE 16 75 75\n"
    "FONTBOUNDINGBOX 8 16 0 -4\nSTARTPROPERTIES 3\nPIXEL_SIZE 16\nFONT_ASCENT 12\nFONT_DESCENT 4\nENDPROPERTIES\n"
    "CHARS 2\nSTARTCHAR space\nENCODING 32\nSWIDTH 500 0\nDWIDTH 8 0\nBBX 1 1 0 0\nBITMAP\n00\nENDCHAR\n"
    "STARTCHAR H\nENCODING 72\nSWIDTH 500 0\nDWIDTH 8 0\nBBX 6 10 1 0\nBITMAP\n"
    "FC\nFC\nFC\nFC\nFC\nFC\nFC\nFC\nFC\nFC\nENDCHAR\nENDFONT\n";

}  // namespace

class TextFunctionsTest : public QObject {
  Q_OBJECT
  MediaFolder media_;

  QRect Box(const QString& call, int64_t frame = 0) {
    const avs::ClipPtr clip = EvaluateClip(kBlack + call, media_.dir());
    avs::Reading reading;
    return DrawnBox(*reading.Frame(*clip, frame));
  }

 private slots:
  void initTestCase() { av_log_set_level(AV_LOG_ERROR); }

  void alignmentPlacesTheText_data() {
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("where");
    QTest::newRow("no align: left, baseline at 18") << "Subtitle(\"Hxy\")" << "left top";
    QTest::newRow("7: top left corner") << "Subtitle(\"Hxy\", align=7)" << "left top";
    QTest::newRow("9: top right corner") << "Subtitle(\"Hxy\", align=9)" << "right top";
    QTest::newRow("2: bottom middle") << "Subtitle(\"Hxy\", align=2)" << "centre bottom";
    QTest::newRow("5: middle on the baseline") << "Subtitle(\"Hxy\", align=5)" << "centre top";
    QTest::newRow("x=-1, y=-1: the middle") << "Subtitle(\"Hxy\", x=-1, y=-1)" << "centre middle";
    QTest::newRow("3 at 300, 200: text ends there") << "Subtitle(\"Hxy\", 300, 200, align=3)" << "at 300 200";
    // AviSynth's order: ..., text_color, halo_color, align, spc, lsp.
    QTest::newRow("align given in its place") << "Subtitle(\"Hxy\", 300, 200, 0, 9, \"Arial\", 18, $FFFF00, 0, 3)"
                                              << "at 300 200";
    // Text places its text as Subtitle does.
    QTest::newRow("Text, no align") << "Text(\"Hxy\")" << "left top";
    QTest::newRow("Text, 9") << "Text(\"Hxy\", align=9)" << "right top";
    QTest::newRow("Text, 2") << "Text(\"Hxy\", align=2)" << "centre bottom";
    QTest::newRow("Text, 5") << "Text(\"Hxy\", align=5)" << "centre top";
    QTest::newRow("Text, x=-1, y=-1") << "Text(\"Hxy\", x=-1, y=-1)" << "centre middle";
    QTest::newRow("Text, 3 at 300, 200") << "Text(\"Hxy\", 300, 200, align=3)" << "at 300 200";
    QTest::newRow("Text, align in its place") << "Text(\"Hxy\", 300, 200, 0, 9, \"Terminus\", 18, $FFFF00, 0, 3)"
                                              << "at 300 200";
  }
  void alignmentPlacesTheText() {
    QFETCH(QString, call);
    QFETCH(QString, where);
    const QRect box = Box(call);
    QVERIFY2(box.isValid(), "nothing drawn");
    const QString got = QString("%1,%2 %3x%4").arg(box.x()).arg(box.y()).arg(box.width()).arg(box.height());
    if (where.startsWith("left")) QVERIFY2(box.left() >= 4 && box.left() <= 10, qPrintable(got));
    if (where.startsWith("right")) QVERIFY2(box.right() >= 306 && box.right() <= 316, qPrintable(got));
    if (where.startsWith("centre")) QVERIFY2(std::abs(box.center().x() - 160) <= 3, qPrintable(got));
    if (where.endsWith("top")) QVERIFY2(box.top() <= 6 && box.bottom() < 30, qPrintable(got));
    if (where.endsWith("bottom")) QVERIFY2(box.bottom() >= 232 && box.bottom() <= 239, qPrintable(got));
    if (where.endsWith("middle")) QVERIFY2(std::abs(box.center().y() - 120) <= 4, qPrintable(got));
    if (where == "at 300 200") QVERIFY2(std::abs(box.right() - 300) <= 3 && std::abs(box.bottom() - 200) <= 3, qPrintable(got));
  }

  void shownOnlyFromFirstToLastFrame() {
    for (const QString function : {"Subtitle", "Text"}) {
      const QString call = function + "(\"Hxy\", first_frame=3, last_frame=5)";
      for (int frame : {0, 2, 6, 9}) QVERIFY2(!Box(call, frame).isValid(), qPrintable(call + QString::number(frame)));
      for (int frame : {3, 4, 5}) QVERIFY2(Box(call, frame).isValid(), qPrintable(call + QString::number(frame)));
    }
    // Positionally: text, x, y, first_frame, last_frame.
    QVERIFY(!Box("Text(\"Hxy\", 8, 18, 2, 4)", 1).isValid());
    QVERIFY(Box("Text(\"Hxy\", 8, 18, 2, 4)", 4).isValid());
    QVERIFY(!Box("Text(\"Hxy\", 8, 18, 2, 4)", 5).isValid());
  }

  // Outside first_frame..last_frame the clip's own frames pass through,
  // shared rather than copied; inside, frames read out of order are the
  // ones read in order.
  void framesOutsideTheSpanAreTheClips() {
    const avs::ClipPtr clip = EvaluateClip(QString(kBlack) + "Subtitle(\"Hxy\", first_frame=3, last_frame=5)", media_.dir());
    const avs::ClipPtr source = EvaluateClip(kBlack, media_.dir());
    avs::Reading reading;
    for (int frame : {0, 2, 6, 9})
      QCOMPARE(reading.Frame(*clip, frame)->data[0], reading.Frame(clip->input(0), frame)->data[0]);
    const QByteArray forward = PictureBytes(*reading.Frame(*clip, 4));
    avs::Reading backwards;
    for (int frame : {5, 3, 4}) QVERIFY(DrawnBox(*backwards.Frame(*clip, frame)).isValid());
    QCOMPARE(PictureBytes(*backwards.Frame(*clip, 4)), forward);
    QCOMPARE(PictureBytes(*reading.Frame(*clip, 2)), PictureBytes(*reading.Frame(*source, 2)));
  }

  void linesBreakOnlyAsAsked() {
    for (const QString function : {"Subtitle", "Text"}) {
      const int oneLine = Box(function + "(\"Hxy\\nHxy\")").height();
      const int twoLines = Box(function + "(\"Hxy\\nHxy\", lsp=0)").height();
      const int realBreak = Box(function + "(\"Hxy\" + Chr(10) + \"Hxy\")").height();
      QVERIFY2(twoLines > oneLine * 3 / 2, qPrintable(function + QString(" %1 %2").arg(oneLine).arg(twoLines)));
      QCOMPARE(realBreak, twoLines);
    }
    QCOMPARE(avs::SubtitleLines("a\\nb\\\\nc", true), std::string("a\nb\\nc"));
    QCOMPARE(avs::SubtitleLines("a\\nb\r\nc", false), std::string("a\\nb\nc"));
  }

  void invisibleColoursDrawNothing() {
    QVERIFY(!Box("Subtitle(\"Hxy\", text_color=$FFFFFFFF, halo_color=$FF000000)").isValid());
    // The halo alone shows around a transparent text... in black on black:
    // a white halo makes it visible.
    QVERIFY(Box("Subtitle(\"Hxy\", text_color=$FF000000, halo_color=$00FFFFFF)").isValid());
  }

  void textIsCarriedLiterally() {
    // Graph syntax, option syntax and drawtext's own % sequences stay text.
    const QRect plain = Box("Subtitle(\"abcdefghijklmno\")");
    const QRect special = Box("Subtitle(\"a:b,c[d]e;f'g%{n}\\\\h\")");
    QVERIFY(plain.isValid() && special.isValid());
    QCOMPARE(avs::EscapeFilterOption("a:b'c\\d e"), std::string("a\\:b\\'c\\\\d\\ e"));
  }

  void frameNumbersFollowTheFieldOrder() {
    const QRect right = Box("ShowFrameNumber()");
    QVERIFY2(right.left() > 250 && right.height() > 200, "a column down the right side (bottom field first)");
    const QRect left = Box("AssumeTFF().ShowFrameNumber()");
    QVERIFY2(left.right() < 70, "down the left side for top field first");
    const QRect scrolled0 = Box("ShowFrameNumber(scroll=true)", 0), scrolled3 = Box("ShowFrameNumber(scroll=true)", 3);
    QVERIFY(scrolled0.height() < 30 && scrolled3.top() >= scrolled0.top() + 3 * 24 - 2);
  }

  void timecodeLabels() {
    const avs::TimecodeRate ntsc = *avs::SmpteRate(30000.0 / 1001);
    QCOMPARE(ntsc.nominal, 30);
    QCOMPARE(ntsc.drop, 2);
    QCOMPARE(avs::SmpteLabel(1799, ntsc), std::string("00:00:59:29"));
    QCOMPARE(avs::SmpteLabel(1800, ntsc), std::string("00:01:00:02"));
    QCOMPARE(avs::SmpteLabel(17981, ntsc), std::string("00:09:59:29"));
    QCOMPARE(avs::SmpteLabel(17982, ntsc), std::string("00:10:00:00"));
    QCOMPARE(avs::ParseTimecode("00:01:00:02", ntsc), std::optional<int64_t>(1800));
    QCOMPARE(avs::ParseTimecode("00:10:00:00", ntsc), std::optional<int64_t>(17982));
    QVERIFY(!avs::ParseTimecode("00:01:00:01", ntsc));  // a dropped label
    QVERIFY(!avs::ParseTimecode("00:00:00:30", ntsc));
    const avs::TimecodeRate pal = *avs::SmpteRate(25);
    QCOMPARE(pal.drop, 0);
    QCOMPARE(avs::SmpteLabel(25 * 3661 + 7, pal), std::string("01:01:01:07"));
    QVERIFY(!avs::SmpteRate(24.5));
    QCOMPARE(EvaluationError(QString(kBlack) + "AssumeFPS(24.5).ShowSMPTE()", media_.dir()).contains("ShowSMPTE"),
             true);
  }

  // What drawtext prints for the timecode and the clock equals the labels
  // worked out here: the same text drawn literally gives the same picture.
  void printedTimecodesMatchTheirLabels_data() {
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("frame");
    QTest::addColumn<QString>("label");
    QTest::newRow("29.97 just after a dropped minute") << "30000, 1001" << "ShowSMPTE(offset_f=1795)" << 5
                                                        << "00:01:00:02";
    QTest::newRow("25 with an offset") << "25, 1" << "ShowSMPTE(offset=\"01:00:00:00\")" << 7 << "01:00:00:07";
    QTest::newRow("clock at 25 fps") << "25, 1" << "ShowTime(offset_f=1500)" << 3 << "00:01:00.120";
  }
  void printedTimecodesMatchTheirLabels() {
    QFETCH(QString, rate);
    QFETCH(QString, call);
    QFETCH(int, frame);
    QFETCH(QString, label);
    const QString base = "BlankClip(length=10, width=320, height=240, pixel_type=\"YV12\").AssumeFPS(" + rate + ")\n";
    const avs::ClipPtr printed = EvaluateClip(base + call, media_.dir());
    const avs::ClipPtr literal =
        EvaluateClip(base + "Subtitle(\"" + label + "\", x=160, y=236, size=24, align=2)", media_.dir());
    avs::Reading reading;
    QCOMPARE(PictureBytes(*reading.Frame(*printed, frame)), PictureBytes(*reading.Frame(*literal, frame)));
  }

  // MessageClip fits its size to the text at 24 points; a given size is
  // kept with the text shrunk into it, or trimmed to the text with shrink.
  void messageClipSizes() {
    const avs::ClipPtr fitted = EvaluateClip("MessageClip(\"Hello\")", media_.dir());
    QCOMPARE(fitted->info().pixelFormat, AV_PIX_FMT_BGRA);
    QCOMPARE(fitted->info().frameCount, 240);
    const int width = fitted->info().width, height = fitted->info().height;
    QVERIFY2(width > 40 && width < 140 && height > 20 && height < 60, qPrintable(QString("%1x%2").arg(width).arg(height)));
    // A longer text makes a wider clip; a second line a taller one.
    QVERIFY(EvaluateClip("MessageClip(\"Hello, hello\")", media_.dir())->info().width > width + 40);
    QVERIFY(EvaluateClip("MessageClip(\"Hello\nhello\")", media_.dir())->info().height > height + 15);

    const avs::ClipPtr kept = EvaluateClip("MessageClip(\"Hello\", 320, 240)", media_.dir());
    QCOMPARE(kept->info().width, 320);
    QCOMPARE(kept->info().height, 240);
    const QString longText = "A message far too long for a clip two hundred pixels wide";
    const avs::ClipPtr squeezed = EvaluateClip("MessageClip(\"" + longText + "\", 200, 100)", media_.dir());
    QCOMPARE(squeezed->info().width, 200);
    const avs::ClipPtr trimmed = EvaluateClip("MessageClip(\"" + longText + "\", 200, 100, true)", media_.dir());
    QVERIFY(trimmed->info().width <= 200);
    QVERIFY(trimmed->info().height < 60);
  }

  // White text on the background colour, centred at the top.
  void messageClipColours() {
    const avs::ClipPtr clip =
        EvaluateClip("MessageClip(\"Hello\", 320, 240, bg_color=$0000FF, text_color=$FFFFFF)", media_.dir());
    avs::Reading reading;
    const avs::FrameRef frame = reading.Frame(*clip, 100);
    const uint8_t* corner = frame->data[0];
    QCOMPARE(int(corner[0]), 255);  // blue
    QCOMPARE(int(corner[2]), 0);
    int left = 320, right = -1, bottom = -1;
    for (int y = 0; y < 240; ++y)
      for (int x = 0; x < 320; ++x) {
        const uint8_t* p = frame->data[0] + y * frame->linesize[0] + 4 * x;
        if (p[1] > 200 && p[2] > 200) {
          left = std::min(left, x);
          right = std::max(right, x);
          bottom = std::max(bottom, y);
        }
      }
    QVERIFY(right > left);
    QVERIFY2(std::abs((left + right) / 2 - 160) <= 3, qPrintable(QString("%1..%2").arg(left).arg(right)));
    QVERIFY(bottom < 60);
  }

  // Info's lines start at the top left; the frame number line changes from
  // frame to frame, the rest does not.
  void infoShowsTheClip() {
    const avs::ClipPtr clip = EvaluateClip(QString(kBlack) + "Info()", media_.dir());
    avs::Reading reading;
    const QRect box = DrawnBox(*reading.Frame(*clip, 0));
    QVERIFY2(box.left() >= 2 && box.left() <= 8 && box.top() <= 6, qPrintable(QString("%1,%2").arg(box.left()).arg(box.top())));
    // Eleven or more lines at 15 pixels and above.
    QVERIFY(box.height() > 150);
    const avs::FrameRef first = reading.Frame(*clip, 0), later = reading.Frame(*clip, 7);
    const int rowBytes = first->linesize[0];
    // The first line (frame number) differs, a line further down does not.
    QVERIFY(std::memcmp(first->data[0], later->data[0], static_cast<std::size_t>(rowBytes * 15)) != 0);
    QVERIFY(std::memcmp(first->data[0] + rowBytes * 40, later->data[0] + rowBytes * 40, static_cast<std::size_t>(rowBytes * 100)) == 0);
    // align=9 puts each line against the right edge: the short first line
    // (the frame number) ends there and starts far from the left.
    const QRect right = Box("Info(align=9).Crop(0, 0, 0, 12)");
    QVERIFY2(right.right() >= 310 && right.left() > 150,
             qPrintable(QString("%1..%2").arg(right.left()).arg(right.right())));
  }

  // A sound alone is shown on a picture of its own that lasts as long.
  void infoOfASound() {
    const avs::ClipPtr clip = EvaluateClip("Tone(2).Info()", media_.dir());
    QVERIFY(clip->info().hasVideo);
    QCOMPARE(clip->info().frameCount, 48);
    QCOMPARE(clip->info().sampleCount, 96000);
  }

  // Text's font is monospaced, 18 pixels unless sized; Info_h keeps its
  // 20 pixels whatever the size; bold is heavier.
  void textFontAndSize() {
    QVERIFY(std::abs(Box("Text(\"iiiiW\")").right() - Box("Text(\"WWWWW\")").right()) <= 1);
    QVERIFY(Box("Subtitle(\"iiiiW\")").right() < Box("Subtitle(\"WWWWW\")").right() - 10);
    const QRect regular = Box("Text(\"Hxy\")");
    QVERIFY2(regular.height() >= 15 && regular.height() <= 22, qPrintable(QString::number(regular.height())));
    QCOMPARE(Box("Text(\"Hxy\", size=36)").height(), Box("Text(\"Hxy\", 8, 36, size=36)").height());
    QVERIFY(Box("Text(\"Hxy\", size=36)").height() > regular.height() * 3 / 2);
    QCOMPARE(Box("Text(\"Hxy\", font=\"Info_h\", size=40)"), Box("Text(\"Hxy\", size=20)"));
    const avs::ClipPtr bold = EvaluateClip(QString(kBlack) + "Text(\"Hxy\", bold=true)", media_.dir());
    const avs::ClipPtr plain = EvaluateClip(QString(kBlack) + "Text(\"Hxy\")", media_.dir());
    avs::Reading reading;
    QVERIFY(Lit(*reading.Frame(*bold, 0)) > Lit(*reading.Frame(*plain, 0)) * 11 / 10);
  }

  // text_color is never transparent; halo_color's alpha byte picks a halo
  // (00), a box (FF), both (FE), or neither.
  void textHaloAndBox() {
    QVERIFY(Box("Text(\"Hxy\", text_color=$FFFFFFFF)").isValid());
    QVERIFY(Box("Text(\"Hxy\", text_color=$000000, halo_color=$00FFFFFF)").isValid());
    QVERIFY(!Box("Text(\"Hxy\", text_color=$000000, halo_color=$80FFFFFF)").isValid());
    // On grey, in the grey: only a box darkens the picture.
    const QString grey = "BlankClip(length=2, width=320, height=240, pixel_type=\"YV12\", color=$808080)\n";
    auto darkened = [&](const QString& call) {
      avs::Reading reading;
      const avs::FrameRef frame = reading.Frame(*EvaluateClip(grey + call, media_.dir()), 0);
      return Lit(*frame, [](int luma) { return luma < 100; });
    };
    const int boxed = darkened("Text(\"Hxy\", text_color=$808080, halo_color=$FF00FF00)");
    QVERIFY2(boxed > 20 * 12, qPrintable(QString::number(boxed)));
    QCOMPARE(darkened("Text(\"Hxy\", text_color=$808080, halo_color=$00FF00FF)"), 0);
    // FE: the box and a halo in the halo's colour (bright green).
    QVERIFY(darkened("Text(\"Hxy\", text_color=$808080, halo_color=$FE00FF00)") > 0);
    QVERIFY(Box("Text(\"Hxy\", text_color=$000000, halo_color=$FE00FF00)").isValid());
    QVERIFY(!Box("Text(\"Hxy\", text_color=$000000, halo_color=$FF00FF00)").isValid());
  }

  // A BDF font file draws at its own pixel size: two 6x10 blocks 8 pixels
  // apart, whatever the size asked for.
  void textDrawsBdfFonts() {
    media_.write("block.bdf", kBlockFont);
    QCOMPARE(Box("Text(\"HH\", font=\"block.bdf\")").size(), QSize(14, 10));
    QCOMPARE(Box("Text(\"HH\", font_filename=\"block.bdf\", size=40)").size(), QSize(14, 10));
    // The halo a pixel around, and the box a little further.
    QCOMPARE(Box("Text(\"HH\", font=\"block.bdf\", text_color=$000000, halo_color=$00FFFFFF)").size(), QSize(16, 12));
    QVERIFY(Box("Text(\"HH\", font=\"block.bdf\", text_color=$000000, halo_color=$FEFFFFFF)").size() == QSize(16, 12));
    QCOMPARE(avs::BdfPixelSize(kBlockFont), std::optional<int>(16));
    QCOMPARE(avs::BdfPixelSize("SIZE 16 75 75\nPIXEL_SIZE 16\n"), std::optional<int>());
    QCOMPARE(avs::BdfPixelSize("STARTFONT 2.1\nSTARTCHAR a\nPIXEL_SIZE 16\n"), std::optional<int>());
  }

  void refusals() {
    QVERIFY(EvaluationError(QString(kBlack) + "Info(align=0)", media_.dir()).contains("align"));
    QVERIFY(EvaluationError(QString(kBlack) + "Subtitle(\"a\", align=10)", media_.dir()).contains("align"));
    QVERIFY(EvaluationError(QString(kBlack) + "Subtitle(\"a\", size=-3)", media_.dir()).contains("size"));
    QVERIFY(EvaluationError(QString(kBlack) + "ShowSMPTE(offset=\"1:2\")", media_.dir()).contains("timecode"));
    const QList<QPair<QString, QString>> text = {
        {"Text(12)", "Text: text must be a string, not an int"},
        {"Text(\"a\", size=\"big\")", "Text: size must be a number, not a string"},
        {"Text(\"a\", bold=1)", "Text: bold must be a bool"},
        {"Text(\"a\", align=0)", "align must be between 1 and 9"},
        {"Text(\"a\", size=0)", "size must be between 0 and 4096"},
        {"Text(\"a\", font=\"Arial\")", "font must be Terminus, Info_h or a BDF font file, not \"Arial\""},
        {"Text(\"a\", font=\"gone.bdf\")", "cannot open the font file"},
        {"Text(\"a\", font_filename=\"gone.ttf\")", "cannot open the font file"},
        {"Text(\"a\", font=\"t.avs\" + \".bdf\")", "cannot open the font file"},
    };
    for (const auto& [call, message] : text) {
      const QString error = EvaluationError(QString(kBlack) + call, media_.dir());
      QVERIFY2(error.contains(message), qPrintable(call + ": " + error));
    }
    media_.write("empty.bdf", "STARTFONT 2.1\nENDFONT\n");
    QVERIFY(EvaluationError(QString(kBlack) + "Text(\"a\", font=\"empty.bdf\")", media_.dir()).contains("pixel size"));
  }
};

QTEST_GUILESS_MAIN(TextFunctionsTest)
#include "tst_text_functions.moc"
