// Time functions: which source frame each output frame is, read from the
// pictures (frame n of the source is a flat luma 16 + 8n), and which source
// sample each output sample is (sample j of the source has the value j);
// fades and ChangeFPS against ffmpeg's fade and fps filters; dissolves,
// ConvertFPS's blended and switched frames, Animate and ApplyRange against
// the documented arithmetic.
#include <QtEndian>
#include <QtTest>
#include <cmath>
#include <functional>

#include "media_fixture.h"
#include "tools/engine/reading.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace {

constexpr int kFrames = 30;            // source frames, at 25 fps
constexpr int kSamplesPerFrame = 320;  // 8000 Hz mono
constexpr int kSamples = kFrames * kSamplesPerFrame;

QList<int> Range(int first, int last) {
  QList<int> r;
  for (int i = first; i <= last; ++i) r << i;
  return r;
}

// The luma of each frame's first pixel.
QList<int> Lumas(const avs::Clip& clip) {
  avs::Reading reading;
  QList<int> lumas;
  for (int64_t n = 0; n < clip.info().frameCount; ++n) lumas << reading.Frame(clip, n)->data[0][0];
  return lumas;
}

// The source frame each frame shows.
QList<int> SourceFrames(const avs::Clip& clip) {
  QList<int> frames;
  for (int luma : Lumas(clip)) frames << (luma - 16) / 8;
  return frames;
}

// `rows` times source frame k.
QList<int> Band(int k, int rows) { return QList<int>(rows, k); }

// The source frame each picture row of frame n shows, from the luma of its
// first pixel.
QList<int> RowSources(const avs::Clip& clip, int64_t n) {
  avs::Reading reading;
  avs::FrameRef frame = reading.Frame(clip, n);
  QList<int> rows;
  for (int y = 0; y < clip.info().height; ++y) rows << (frame->data[0][y * frame->linesize[0]] - 16) / 8;
  return rows;
}

QList<int> Samples(const avs::Clip& clip, int64_t start, int64_t count) {
  std::vector<int16_t> buffer(static_cast<std::size_t>(count));
  avs::Reading reading;
  reading.Samples(clip, buffer.data(), start, count);
  return QList<int>(buffer.begin(), buffer.end());
}

}  // namespace

class TimeFunctionsTest : public QObject {
  Q_OBJECT

  MediaFolder media_;

  avs::ClipPtr Eval(const QString& script) { return EvaluateClip(script, media_.dir()); }
  static QString Src() { return "AviSource(\"src.avi\")"; }
  // `tall`, 30 frames of 32x96 YV12 at 25 fps, frame k of luma and blue
  // 16 + 8k, built in the script.
  static QString Tall() {
    return "function Flat(int k) {\n v = 16 + 8 * k\n return BlankClip(length=1, width=32, height=96, fps=25, "
           "pixel_type=\"YV12\", audio_rate=0, color_yuv=v * 65536 + v * 256 + 128)\n}\n"
           "tall = Flat(0)\nfor (k = 1, 29) { tall = tall + Flat(k) }\n";
  }
  static QString Shift() { return "function Shift(clip c, int by) { return c.Trim(by, 0) }\n"; }

 private slots:
  void initTestCase() {
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "color=black:s=32x16:r=25,geq=lum='N*8+16':cb=128:cr=128", "-f",
                           "lavfi", "-i", "aevalsrc='n/32768':s=8000", "-frames:v", QString::number(kFrames), "-t",
                           "1.2", "-c:v", "ffv1", "-pix_fmt", "yuv420p", "-c:a", "pcm_s16le", "src.avi"}));
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=96x64:r=25", "-frames:v", "24", "-c:v", "ffv1", "-pix_fmt",
                           "yuv420p", "picture.avi"}));
    QVERIFY(media_.ffmpeg(
        {"-f", "lavfi", "-i", "aevalsrc='n/32768':s=8000", "-t", "1.2", "-c:a", "pcm_s16le", "sound.wav"}));
  }

  // The frames each function picks, in order, with the ends where an
  // off-by-one would show.
  void frameMaps_data() {
    QTest::addColumn<QString>("call");
    QTest::addColumn<QList<int>>("expected");
    QList<int> even, odd, every, duplicates, ranges, interleaved, looped, frozen, reversed, twice, fewer, doubled;
    for (int n = 0; n < kFrames; ++n) (n % 2 ? odd : even) << n;
    for (int g = 0; g < kFrames; g += 10) every << g + 3 << g + 6 << g + 7;
    for (int g = 0; g < kFrames; g += 4) duplicates << g << g + 1 << g + 2 << g + 3 << g + 3;
    duplicates = duplicates.mid(0, 37);  // the last group holds frames 28 and 29 only
    for (int g = 2; g < kFrames; g += 10) ranges << g << g + 1 << g + 2;
    for (int n = 0; n < kFrames; ++n) interleaved << n << kFrames - 1 - n;
    looped = Range(0, 4) + Range(2, 4) + Range(2, 29);
    frozen = Range(0, 4) + QList<int>{20, 20, 20} + Range(8, 29);
    for (int n = kFrames - 1; n >= 0; --n) reversed << n;
    for (int n = 0; n < 2 * kFrames; ++n) twice << n / 2;
    for (int n = 0; n < 24; ++n) fewer << n * 25 / 20;  // the frame on screen at n / 20 s
    QTest::newRow("SelectEven") << "SelectEven()" << even;
    QTest::newRow("SelectOdd") << "SelectOdd()" << odd;
    QTest::newRow("SelectEvery(10, 3, 6, 7)") << "SelectEvery(10, 3, 6, 7)" << every;
    QTest::newRow("SelectEvery with one offset left out") << "SelectEvery(9)" << QList<int>{0, 9, 18, 27};
    QTest::newRow("SelectEvery repeating the fourth") << "SelectEvery(4, 0, 1, 2, 3, 3)" << duplicates;
    QTest::newRow("SelectEvery in another order")
        << "SelectEvery(3, 2, 0)"
        << QList<int>{2, 0, 5, 3, 8, 6, 11, 9, 14, 12, 17, 15, 20, 18, 23, 21, 26, 24, 29, 27};
    QTest::newRow("SelectRangeEvery(10, 3, 2)") << "SelectRangeEvery(10, 3, 2)" << ranges;
    QTest::newRow("SelectRangeEvery by default") << "SelectRangeEvery()" << Range(0, 29);
    QTest::newRow("Interleave") << "Interleave(last, last.Reverse())" << interleaved;
    QTest::newRow("Interleave with a shorter clip")
        << "Interleave(last, last.Trim(0, 1))" << QList<int>{0, 0, 1, 1, 2, 1, 3, 1} + [] {
             QList<int> r;
             for (int n = 4; n < kFrames; ++n) r << n << 1;
             return r;
           }();
    QTest::newRow("Loop three times in place") << "Loop(3, 2, 4)" << looped;
    QTest::newRow("Loop none") << "Loop(0, 20, 29)" << Range(0, 19);
    QTest::newRow("Loop once") << "Loop(1, 20, 29)" << Range(0, 29);
    QTest::newRow("Loop twice, named") << "Loop(times=2)" << Range(0, 29) + Range(0, 29);
    QTest::newRow("Loop of an end past the clip") << "Loop(2, 28, 100)" << Range(0, 29) + Range(28, 29);
    QTest::newRow("Reverse") << "Reverse()" << reversed;
    QTest::newRow("FreezeFrame") << "FreezeFrame(5, 7, 20)" << frozen;
    QTest::newRow("DuplicateFrame") << "DuplicateFrame(3, 29, 3)"
                                    << Range(0, 3) + QList<int>{3, 3} + Range(4, 29) + QList<int>{29};
    QTest::newRow("DeleteFrame") << "DeleteFrame(15, 0, 29, 15)" << Range(1, 14) + Range(16, 28);
    QTest::newRow("ChangeFPS doubling") << "ChangeFPS(50)" << twice;
    QTest::newRow("ChangeFPS dropping") << "ChangeFPS(20, 1, true)" << fewer;
    QTest::newRow("ChangeFPS from a clip") << "ChangeFPS(last, BlankClip(fps=50))" << twice;
    QTest::newRow("ChangeFPS by name") << "ChangeFPS(\"pal_double\")" << twice;
    QTest::newRow("ChangeFPS float with linear") << "ChangeFPS(50.0, false)" << twice;
    QTest::newRow("Trim from the frame count") << "Trim(FrameCount, -1)" << QList<int>{29};
    QTest::newRow("Trim from past the end") << "Trim(100, 0)" << QList<int>{29};
    QTest::newRow("Trim to past the end") << "Trim(25, 100)" << Range(25, 29);
    QTest::newRow("Trim a count past the end") << "Trim(27, -10)" << Range(27, 29);
    QTest::newRow("Trim a count") << "Trim(0, -3)" << Range(0, 2);
    QTest::newRow("Trim to a named end") << "Trim(3, end=7)" << Range(3, 7);
    QTest::newRow("Trim to end 0") << "Trim(0, end=0)" << QList<int>{0};
    QTest::newRow("Trim a named length") << "Trim(3, length=7)" << Range(3, 9);
    QTest::newRow("Pulldown") << "Pulldown(1, 3)" << QList<int>{1, 3, 6, 8, 11, 13, 16, 18, 21, 23, 26, 28};
    QTest::newRow("Echo shows its first clip") << "Echo(last, last.Reverse()).Preroll(5, 1.0)" << Range(0, 29);
    QTest::newRow("Trim from a start alone") << "Trim(26)" << Range(26, 29);
  }
  void frameMaps() {
    QFETCH(QString, call);
    QFETCH(QList<int>, expected);
    avs::ClipPtr clip = Eval(Src() + "\n" + call);
    QCOMPARE(SourceFrames(*clip), expected);
  }

  // Rates and lengths the frame maps imply.
  void ratesAndLengths() {
    const avs::Rational selected = Eval(Src() + ".SelectEvery(10, 3, 6, 7)")->info().fps;  // 25 * 3 / 10
    QCOMPARE(selected.num, int64_t{15});
    QCOMPARE(selected.den, int64_t{2});
    avs::ClipPtr interleaved = Eval("Interleave(" + Src() + ", " + Src() + ", " + Src() + ")");
    QCOMPARE(interleaved->info().fps.num, int64_t{75});
    QCOMPARE(interleaved->info().frameCount, int64_t{90});
    avs::ClipPtr ntsc = Eval(Src() + ".ChangeFPS(30000, 1001)");
    QCOMPARE(ntsc->info().fps.num, int64_t{30000});
    QCOMPARE(ntsc->info().fps.den, int64_t{1001});
    QCOMPARE(ntsc->info().frameCount, int64_t{36});  // 1.2 s at 29.97 fps, rounded
    // Loop() repeats the whole clip ten million times.
    avs::ClipPtr endless = Eval(Src() + ".Loop()");
    QCOMPARE(endless->info().frameCount, int64_t{10'000'000} * kFrames);
    avs::Reading reading;
    QCOMPARE(static_cast<int>(reading.Frame(*endless, 123'456'789)->data[0][0]), 16 + 8 * (123'456'789 % kFrames));
    // A clip too long to loop so often is cut at the engine's limit, and
    // so is one whose sound would be longer than the engine holds.
    avs::ClipPtr longest = Eval("BlankClip(length=1000000, audio_rate=0).Loop()");
    QVERIFY(longest->info().frameCount <= avs::kMaxFrames);
    QVERIFY(longest->info().frameCount > avs::kMaxFrames - 1000000);
    avs::ClipPtr loudest = Eval("BlankClip(length=1000000).Loop()");
    QVERIFY(loudest->info().sampleCount <= avs::kMaxSamples);
    QVERIFY(loudest->info().sampleCount > avs::kMaxSamples - 1000000 * 1838);
    QVERIFY(EvaluationError("BlankClip(length=1000000).Loop(1000)", media_.dir())
                .contains("Loop: the looped clip would be too long"));
  }

  // AssumeFPS in each documented form, sync_audio straight after a rate
  // given alone, and AssumeScaledFPS.
  void assumedRates_data() {
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("num");
    QTest::addColumn<int>("den");
    QTest::addColumn<int>("sampleRate");
    QTest::newRow("a float") << "AssumeFPS(23.976)" << 2997 << 125 << 48000;
    QTest::newRow("a float and sync_audio") << "AssumeFPS(50.0, true)" << 50 << 1 << 96000;
    QTest::newRow("an int and sync_audio") << "AssumeFPS(10, true)" << 10 << 1 << 19200;
    QTest::newRow("a fraction and sync_audio") << "AssumeFPS(25, 2, true)" << 25 << 2 << 24000;
    QTest::newRow("a name and sync_audio") << "AssumeFPS(\"pal_double\", true)" << 50 << 1 << 96000;
    QTest::newRow("another clip's rate") << "AssumeFPS(BlankClip(fps=30), sync_audio=true)" << 30 << 1 << 57600;
    QTest::newRow("sync_audio by name") << "AssumeFPS(\"ntsc_film\", sync_audio=false)" << 24000 << 1001 << 48000;
    QTest::newRow("AssumeScaledFPS") << "AssumeScaledFPS(2, 3)" << 50 << 3 << 48000;
    QTest::newRow("AssumeScaledFPS with the sound") << "AssumeScaledFPS(multiplier=2, sync_audio=true)" << 50 << 1
                                                    << 96000;
  }
  void assumedRates() {
    QFETCH(QString, call);
    QFETCH(int, num);
    QFETCH(int, den);
    QFETCH(int, sampleRate);
    const avs::ClipInfo info = Eval("BlankClip(length=10, fps=25, audio_rate=48000)." + call)->info();
    QCOMPARE(info.fps.num, int64_t{num});
    QCOMPARE(info.fps.den, int64_t{den});
    QCOMPARE(info.sampleRate, sampleRate);
    QCOMPARE(info.frameCount, int64_t{10});
  }

  // The sound follows the frames where the function moves them, and stays
  // as it was where frames are only repeated or dropped.
  void soundOfPickedFrames() {
    avs::ClipPtr reversed = Eval(Src() + ".Reverse()");
    QCOMPARE(reversed->info().sampleCount, int64_t{kSamples});
    QCOMPARE(Samples(*reversed, 0, 3), (QList<int>{kSamples - 1, kSamples - 2, kSamples - 3}));
    QCOMPARE(Samples(*reversed, kSamples - 2, 2), (QList<int>{1, 0}));
    QCOMPARE(Samples(*reversed, 1000, 1), QList<int>{kSamples - 1001});

    // Frames 2..4 three times: the sound of frame 5 of the result is frame
    // 2's again.
    avs::ClipPtr looped = Eval(Src() + ".Loop(3, 2, 4)");
    QCOMPARE(looped->info().sampleCount, int64_t{36 * kSamplesPerFrame});
    QCOMPARE(Samples(*looped, 5 * kSamplesPerFrame - 1, 2),
             (QList<int>{5 * kSamplesPerFrame - 1, 2 * kSamplesPerFrame}));
    QCOMPARE(Samples(*looped, 11 * kSamplesPerFrame, 1), QList<int>{5 * kSamplesPerFrame});
    QCOMPARE(Samples(*looped, 36 * kSamplesPerFrame - 1, 1), QList<int>{kSamples - 1});

    avs::ClipPtr ranges = Eval(Src() + ".SelectRangeEvery(10, 3, 2)");
    QCOMPARE(ranges->info().sampleCount, int64_t{9 * kSamplesPerFrame});
    QCOMPARE(Samples(*ranges, 3 * kSamplesPerFrame - 1, 2),
             (QList<int>{5 * kSamplesPerFrame - 1, 12 * kSamplesPerFrame}));
    avs::ClipPtr rangesKeepSound = Eval(Src() + ".SelectRangeEvery(10, 3, 2, false)");
    QCOMPARE(rangesKeepSound->info().sampleCount, int64_t{kSamples});
    QCOMPARE(Samples(*rangesKeepSound, 3 * kSamplesPerFrame, 1), QList<int>{3 * kSamplesPerFrame});

    for (const char* unchanged :
         {"ChangeFPS(50)", "ChangeFPS(10)", "ConvertFPS(50)", "ConvertFPS(30, zone=8, vbi=4)", "DuplicateFrame(0)",
          "DeleteFrame(0)", "FreezeFrame(0, 9, 20)", "Interleave(AviSource(\"src.avi\"))", "SelectEvery(2, 1)",
          "SelectEven()", "SelectEvery(5, 0, 1, 2, 2, 3)"}) {
      avs::ClipPtr clip = Eval(Src() + "." + unchanged);
      QVERIFY2(clip->info().sampleCount == kSamples, unchanged);
      QVERIFY2(Samples(*clip, 4000, 2) == (QList<int>{4000, 4001}), unchanged);
    }
  }

  // ChangeFPS shows the frame on screen at each new frame's time, as
  // ffmpeg's fps filter does when it rounds times up; both make as many
  // frames as the running time holds.
  void changeFpsMatchesFfmpeg_data() {
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QString>("ffmpegRate");
    QTest::newRow("20") << "20"
                        << "20";
    QTest::newRow("30") << "30"
                        << "30";
    QTest::newRow("50") << "50"
                        << "50";
    QTest::newRow("ntsc film") << "24000, 1001"
                               << "24000/1001";
    QTest::newRow("float 12.5") << "12.5"
                                << "25/2";
  }
  void changeFpsMatchesFfmpeg() {
    QFETCH(QString, rate);
    QFETCH(QString, ffmpegRate);
    const QString out = "fps-" + QString::number(qHash(rate)) + ".raw";
    QVERIFY(media_.ffmpeg({"-i", "picture.avi", "-vf", "fps=fps=" + ffmpegRate + ":round=up", "-pix_fmt", "yuv420p",
                           "-f", "rawvideo", out}));
    const QByteArray theirs = media_.read(out);
    avs::ClipPtr clip = Eval("AviSource(\"picture.avi\").ChangeFPS(" + rate + ")");
    const int frameBytes = av_image_get_buffer_size(AV_PIX_FMT_YUV420P, 96, 64, 1);
    // The running time, 24 frames at 25 fps, in whole frames at the new
    // rate: rounded to the nearest, where ffmpeg keeps a part frame at the
    // end as a whole one.
    const avs::Rational fps = clip->info().fps;
    const double frames = 24.0 / 25.0 * static_cast<double>(fps.num) / static_cast<double>(fps.den);
    QCOMPARE(clip->info().frameCount, int64_t{std::lround(frames)});
    QCOMPARE(theirs.size() / frameBytes, static_cast<qsizetype>(std::ceil(frames)));
    avs::Reading reading;
    for (int64_t n = clip->info().frameCount - 1; n >= 0; --n)  // backwards, as a seeking reader would
      QVERIFY2(PictureBytes(*reading.Frame(*clip, n)) == theirs.mid(static_cast<qsizetype>(n) * frameBytes, frameBytes),
               qPrintable(QString("frame %1").arg(n)));
  }

  // FadeIn/FadeOut dissolve from/to a frame of the colour added at the end,
  // as ffmpeg's fade over num_frames + 1 frames of the padded clip does.
  void fadesMatchFfmpeg_data() {
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("pixelFormat");
    QTest::newRow("FadeIn") << "FadeIn(10)"
                            << "tpad=start=1,fade=t=in:s=0:n=11" << "yuv420p";
    QTest::newRow("FadeOut") << "FadeOut(10)"
                             << "tpad=stop=1,fade=t=out:s=13:n=11" << "yuv420p";
    QTest::newRow("FadeIn0") << "FadeIn0(6)"
                             << "tpad=start=1,fade=t=in:s=0:n=7,trim=start_frame=1" << "yuv420p";
    QTest::newRow("FadeOut2") << "FadeOut2(5)"
                              << "tpad=stop=2,fade=t=out:s=18:n=6" << "yuv420p";
    QTest::newRow("FadeIO") << "FadeIO(4)"
                            << "tpad=start=1:stop=1,fade=t=in:s=0:n=5,fade=t=out:s=20:n=5" << "yuv420p";
    // Deeper pictures fade to the same black, shifted to their depth.
    QTest::newRow("FadeIn of 10-bit") << "ConvertBits(10).FadeIn(10)"
                                      << "format=yuv420p10le,tpad=start=1,fade=t=in:s=0:n=11" << "yuv420p10le";
    QTest::newRow("FadeOut2 of 16-bit") << "ConvertBits(16).FadeOut2(5)"
                                        << "format=yuv420p16le,tpad=stop=2,fade=t=out:s=18:n=6" << "yuv420p16le";
  }
  void fadesMatchFfmpeg() {
    QFETCH(QString, call);
    QFETCH(QString, filter);
    QFETCH(QString, pixelFormat);
    const QString out = call.section('(', -2, -2).section('.', -1) + pixelFormat + ".raw";
    QVERIFY(media_.ffmpeg({"-i", "picture.avi", "-vf", filter, "-pix_fmt", pixelFormat, "-f", "rawvideo", out}));
    const QByteArray theirs = media_.read(out);
    avs::ClipPtr clip = Eval("AviSource(\"picture.avi\")." + call);
    const AVPixelFormat format = av_get_pix_fmt(qPrintable(pixelFormat));
    const int frameBytes = av_image_get_buffer_size(format, 96, 64, 1);
    QCOMPARE(clip->info().frameCount * frameBytes, int64_t{theirs.size()});
    // A level of 8 bits, in the format's own units.
    const int depth = av_pix_fmt_desc_get(format)->comp[0].depth, size = depth > 8 ? 2 : 1;
    auto sample = [size](const QByteArray& bytes, int i) {
      return size == 1 ? uint8_t(bytes[i]) : qFromLittleEndian<quint16>(bytes.constData() + 2 * i);
    };
    avs::Reading reading;
    for (int64_t n = 0; n < clip->info().frameCount; ++n) {
      const QByteArray ours = PictureBytes(*reading.Frame(*clip, n));
      const QByteArray ref = theirs.mid(static_cast<qsizetype>(n) * frameBytes, frameBytes);
      int worst = 0;
      for (int i = 0; i < frameBytes / size; ++i) worst = std::max(worst, std::abs(sample(ours, i) - sample(ref, i)));
      QVERIFY2(worst <= 1 << (depth - 8), qPrintable(QString("frame %1 differs by %2").arg(n).arg(worst)));
    }
  }

  // Frame counts, the colour and the faded sound, against the documented
  // arithmetic: overlap frame i of n keeps (n - i) / (n + 1) of the clip.
  void fadeEndsColourAndSound() {
    const QList<std::pair<QString, int>> counts = {{"FadeIn0(5)", 30},  {"FadeIn(5)", 31},   {"FadeIn2(5)", 32},
                                                   {"FadeOut0(5)", 30}, {"FadeOut2(5)", 32}, {"FadeIO0(5)", 30},
                                                   {"FadeIO(5)", 32},   {"FadeIO2(5)", 34},  {"FadeIn(0)", 31}};
    for (const auto& [call, count] : counts)
      QVERIFY2(Eval(Src() + "." + call)->info().frameCount == count, qPrintable(call));
    // Two frames of pure colour, then frame 0 with 1/6 of its picture.
    QList<int> lumas = Lumas(*Eval(Src() + ".FadeIn2(5, color=$FFFFFF)"));
    QCOMPARE(lumas.mid(0, 2), (QList<int>{235, 235}));
    QVERIFY(std::abs(lumas[2] - (235 * 5 + 16 + 3) / 6) <= 1);
    QCOMPARE(lumas[7], 16 + 8 * 5);
    // FadeOut0 keeps the frame count; its last frame is almost the colour.
    lumas = Lumas(*Eval(Src() + ".FadeOut0(4)"));
    QVERIFY(std::abs(lumas[29] - (16 * 4 + (16 + 8 * 29)) / 5) <= 1);
    QCOMPARE(lumas[25], 16 + 8 * 25);

    // FadeIn's sound: one frame of silence, then the first 5 frames' sound
    // rising, sample j of L times (j + 1) / (L + 1).
    avs::ClipPtr faded = Eval(Src() + ".FadeIn(5)");
    const int L = 5 * kSamplesPerFrame;
    QCOMPARE(faded->info().sampleCount, int64_t{kSamples + kSamplesPerFrame});
    QCOMPARE(Samples(*faded, 0, kSamplesPerFrame), QList<int>(kSamplesPerFrame, 0));
    for (int j : {0, 1, 799, 1598, 1599}) {
      const int got = Samples(*faded, kSamplesPerFrame + j, 1)[0];
      QVERIFY2(std::abs(got - std::lround(j * (j + 1.0) / (L + 1))) <= 1,
               qPrintable(QString("sample %1: %2").arg(j).arg(got)));
    }
    QCOMPARE(Samples(*faded, kSamplesPerFrame + L, 2), (QList<int>{L, L + 1}));
    // FadeOut's sound falls over the last 5 frames and ends in a frame of
    // silence.
    avs::ClipPtr out = Eval(Src() + ".FadeOut(5)");
    QCOMPARE(out->info().sampleCount, int64_t{kSamples + kSamplesPerFrame});
    const int from = kSamples - L;
    QCOMPARE(Samples(*out, from - 1, 1), QList<int>{from - 1});
    const int j = 1000;
    QVERIFY(std::abs(Samples(*out, from + j, 1)[0] - std::lround((from + j) * (L - j) / (L + 1.0))) <= 1);
    QCOMPARE(Samples(*out, kSamples, kSamplesPerFrame), QList<int>(kSamplesPerFrame, 0));

    // Sound alone: num_frames counts frames of fps (24 by default).
    avs::ClipPtr alone = Eval("WavSource(\"sound.wav\").FadeOut(12)");
    QCOMPARE(alone->info().sampleCount, int64_t{kSamples + 4333 - 4000});
    avs::ClipPtr alone50 = Eval("WavSource(\"sound.wav\").FadeOut0(10, fps=50)");
    QCOMPARE(alone50->info().sampleCount, int64_t{kSamples});
    QCOMPARE(Samples(*alone50, kSamples - 1600 - 1, 1), QList<int>{kSamples - 1601});
    QVERIFY(Samples(*alone50, kSamples - 1, 1)[0] < 10);
    // An overlap longer than the sounds covers them whole.
    avs::ClipPtr whole = Eval("s = WavSource(\"sound.wav\")\nDissolve(s, s, 2000000000, 0.000001)");
    QCOMPARE(whole->info().sampleCount, int64_t{kSamples});
  }

  // Dissolve blends the last `overlap` frames of one clip into the first
  // of the next, the sound likewise; more than two clips dissolve in turn.
  void dissolve() {
    avs::ClipPtr clip = Eval("a = " + Src() + "\nb = a.Reverse()\nDissolve(a, b, 4)");
    QCOMPARE(clip->info().frameCount, int64_t{2 * kFrames - 4});
    QList<int> lumas = Lumas(*clip);
    for (int i = 0; i < 4; ++i) {
      const double a = 16 + 8 * (26 + i), b = 16 + 8 * (29 - i), w = (i + 1) / 5.0;
      QVERIFY2(std::abs(lumas[26 + i] - a * (1 - w) - b * w) <= 1, qPrintable(QString("overlap %1").arg(i)));
    }
    QCOMPARE(lumas[25], 16 + 8 * 25);
    QCOMPARE(lumas[30], 16 + 8 * 25);  // b's frame 4
    QCOMPARE(clip->info().sampleCount, int64_t{2 * kSamples - 4 * kSamplesPerFrame});
    // Mid-overlap sound: a's sample 9000 and b's sample 9000 - 8320.
    const int L = 4 * kSamplesPerFrame, j = 9000 - (kSamples - L);
    const double w = (j + 1.0) / (L + 1), expected = 9000 * (1 - w) + (kSamples - 1 - j) * w;
    QVERIFY(std::abs(Samples(*clip, 9000, 1)[0] - expected) <= 1);

    avs::ClipPtr three = Eval("a = " + Src() + "\nDissolve(a, a, a, 10)");
    QCOMPARE(three->info().frameCount, int64_t{3 * kFrames - 20});
    avs::ClipPtr cut = Eval("a = " + Src() + "\nDissolve(a, a, 0)");
    QCOMPARE(SourceFrames(*cut), Range(0, 29) + Range(0, 29));
  }

  // ConvertFPS blends the two frames around each new frame's time in
  // proportion to their nearness; the sound is kept.
  void convertFpsBlends() {
    QList<int> lumas = Lumas(*Eval(Src() + ".ConvertFPS(50)"));
    QCOMPARE(lumas.size(), 60);
    for (int k = 0; k < 29; ++k) {
      QCOMPARE(lumas[2 * k], 16 + 8 * k);
      QCOMPARE(lumas[2 * k + 1], 16 + 8 * k + 4);
    }
    lumas = Lumas(*Eval(Src() + ".ConvertFPS(20)"));  // frame n at source position 1.25 n
    QCOMPARE(lumas.size(), 24);
    for (int n = 0; n < 23; ++n) QVERIFY2(std::abs(lumas[n] - (16 + 10.0 * n)) <= 1, qPrintable(QString::number(n)));
    QCOMPARE(Eval(Src() + ".ConvertFPS(30000, 1001)")->info().fps.den, int64_t{1001});
    // vbi only times the switch mode's switches.
    QCOMPARE(Eval(Src() + ".ConvertFPS(\"ntsc_round_film\", vbi=-5)")->info().fps.num, int64_t{2997});
    QCOMPARE(Eval(Src() + ".ConvertFPS(50, 3)")->info().frameCount, int64_t{20});  // exactly two thirds
  }

  // ConvertFPS's switch mode: each row shows the source frame on screen
  // when a screen scanning the output from the top draws that row. From 25
  // to 30 fps a source frame lasts 96 * 6 / 5 = 115.2 rows, so the switch
  // line moves down 19.2 rows a frame: frame n switches from source frame
  // n - 1 to n at row ceil(115.2 n) - 96 (n - 1), while it lies in frame n.
  void convertFpsSwitches() {
    avs::ClipPtr clip = Eval(Tall() + "tall.ConvertFPS(30, zone=0)");
    QCOMPARE(clip->info().frameCount, int64_t{36});
    QCOMPARE(clip->info().fps.num, int64_t{30});
    QCOMPARE(clip->info().fps.den, int64_t{1});
    QCOMPARE(RowSources(*clip, 0), Band(0, 96));
    const int switchRow[] = {0, 20, 39, 58, 77};
    for (int n = 1; n <= 4; ++n) QCOMPARE(RowSources(*clip, n), Band(n - 1, switchRow[n]) + Band(n, 96 - switchRow[n]));
    QCOMPARE(RowSources(*clip, 5), Band(4, 96));  // source frame 5 begins with frame 6
    QCOMPARE(RowSources(*clip, 6), Band(5, 96));
    // A chroma row of 4:2:0 over a switch at an odd row is the mean of both.
    avs::Reading reading;
    avs::FrameRef two = reading.Frame(*clip, 2);
    const auto blue = [&](int row) { return int{two->data[1][row * two->linesize[1]]}; };
    QCOMPARE((QList<int>{blue(18), blue(19), blue(20)}), (QList<int>{24, 28, 32}));

    // The zone: the 10 rows from the switch blend into the new frame,
    // (d + 1) / 11 of it d rows below the switch line.
    avs::ClipPtr zoned = Eval(Tall() + "tall.ConvertFPS(30, zone=10)");
    avs::FrameRef one = reading.Frame(*zoned, 1);
    for (int y = 0; y < 96; ++y) {
      const double expected = y < 20 ? 16 : y >= 30 ? 24 : 16 + 8 * (y - 19) / 11.0;
      QVERIFY2(std::abs(one->data[0][y * one->linesize[0]] - expected) <= 0.55, qPrintable(QString::number(y)));
    }

    // vbi blank lines are scanned before each frame's rows: with 24 of
    // them a source frame lasts 120 * 6 / 5 = 144 lines and frame n's rows
    // start at line 120 n + 24, so frame 1 is all source frame 1.
    avs::ClipPtr blanked = Eval(Tall() + "tall.ConvertFPS(30, zone=0, vbi=24)");
    QCOMPARE(RowSources(*blanked, 1), Band(1, 96));
    QCOMPARE(RowSources(*blanked, 2), Band(1, 24) + Band(2, 72));
    QCOMPARE(RowSources(*blanked, 4), Band(3, 72) + Band(4, 24));
    QCOMPARE(RowSources(*blanked, 5), Band(4, 96));
    // zone and vbi positional, after a float rate or an int fraction.
    for (const char* call : {"ConvertFPS(30.0, 0, 24)", "ConvertFPS(30, 1, 0, 24)"})
      QCOMPARE(RowSources(*Eval(Tall() + "tall." + call), 3), Band(2, 48) + Band(3, 48));

    // Down to 25 from 30 fps a source frame lasts 80 rows; down to 5 from
    // 25, 19.2 rows, so each frame shows five source frames.
    avs::ClipPtr slower = Eval(Tall() + "tall.AssumeFPS(30).ConvertFPS(25, zone=0)");
    QCOMPARE(slower->info().frameCount, int64_t{25});
    QCOMPARE(RowSources(*slower, 0), Band(0, 80) + Band(1, 16));
    QCOMPARE(RowSources(*slower, 4), Band(4, 16) + Band(5, 80));
    QCOMPARE(RowSources(*slower, 5), Band(6, 80) + Band(7, 16));
    avs::ClipPtr fifth = Eval(Tall() + "tall.ConvertFPS(5, zone=19)");
    QCOMPARE(fifth->info().frameCount, int64_t{6});
    QCOMPARE(RowSources(*Eval(Tall() + "tall.ConvertFPS(5, zone=0)"), 0),
             Band(0, 20) + Band(1, 19) + Band(2, 19) + Band(3, 19) + Band(4, 19));

    // The limits at their edges, on the 16-row source: a zone of the
    // 12 rows a source frame lasts at 20 fps, and a rate at which one
    // lasts exactly one line of 16 rows and 9 blank ones.
    QCOMPARE(Eval(Src() + ".ConvertFPS(20, zone=12)")->info().frameCount, int64_t{24});
    QCOMPARE(Eval(Src() + ".ConvertFPS(1, 1, 0, 9)")->info().frameCount, int64_t{1});
    QCOMPARE(Eval(Src() + ".ConvertFPS(30, zone=16)")->info().frameCount, int64_t{36});
  }

  // Animate moves numbers in a straight line between start_frame and
  // end_frame and holds them outside; the filter is looked up in the
  // script, user functions too.
  void animate() {
    const QString shift =
        "function Shift(clip c, int by, float also, string same) { return c.Trim(by + Round(also), 0) }\n";
    avs::ClipPtr clip = Eval(shift + Src() + ".Animate(2, 12, \"Shift\", 0, 0.0, \"s\", 5, 10.0, \"s\")");
    QList<int> expected;
    for (int n = 0; n < kFrames; ++n) {
      const int step = std::clamp(n - 2, 0, 10);
      const int by = (5 * step + 5) / 10, also = step;  // ints rounded half up
      expected << std::min(kFrames - 1, n + by + also);
    }
    QCOMPARE(SourceFrames(*clip), expected);
    // Equal ends: before the frame the start arguments, from it the end's.
    avs::ClipPtr jump = Eval(shift + Src() + ".Animate(5, 5, \"Shift\", 0, 0.0, \"s\", 3, 0.0, \"s\")");
    QCOMPARE(SourceFrames(*jump).mid(3, 4), (QList<int>{3, 4, 8, 9}));
    // A built-in filter, frames asked for out of order.
    avs::ClipPtr levels = Eval(Src() + ".Animate(0, 29, \"Levels\", 0, 1.0, 255, 0, 255, 0, 1.0, 255, 0, 0)");
    avs::Reading reading;
    QVERIFY(reading.Frame(*levels, 29)->data[0][0] <= 20);
    QVERIFY(std::abs(reading.Frame(*levels, 0)->data[0][0] - 16) <= 1);
  }

  // Without a clip before start_frame the arguments' first clip, the same
  // at both ends, is the filter's clip, else the script's last clip; the
  // result has the filter's frames and that clip's sound.
  void animateWithoutClip() {
    const QString pick = Shift() + "function Pick(clip a, clip b, int by) { return b.Trim(by, 0) }\n";
    // by moves from 0 to 10 over frames 2..12: frame n shows n + by.
    QList<int> expected;
    for (int n = 0; n < kFrames; ++n) expected << std::min(kFrames - 1, n + std::clamp(n - 2, 0, 10));
    avs::ClipPtr clip = Eval(pick + "c = " + Src() + "\nAnimate(2, 12, \"Shift\", c, 0, c, 10)");
    QCOMPARE(clip->info().frameCount, int64_t{kFrames});
    QCOMPARE(SourceFrames(*clip), expected);
    QCOMPARE(clip->info().sampleCount, int64_t{kSamples});
    QCOMPARE(Samples(*clip, 4000, 2), (QList<int>{4000, 4001}));
    QCOMPARE(SourceFrames(*Eval(pick + Src() + "\nAnimate(2, 12, \"Shift\", 0, 10)")), expected);
    // A clip beginning the arguments comes before the last clip.
    QCOMPARE(SourceFrames(*Eval(pick + "c = " + Src() + "\nc.Trim(5, 0)\nAnimate(2, 12, \"Shift\", c, 0, c, 10)")),
             expected);
    // A second clip stays an argument: Pick(a, b, by) is b from frame by,
    // b being the source from frame 3, and has b's 27 frames.
    avs::ClipPtr two = Eval(pick + "a = " + Src() + "\nb = a.Trim(3, 0)\nAnimate(0, 10, \"Pick\", a, b, 0, a, b, 10)");
    QCOMPARE(two->info().frameCount, int64_t{kFrames - 3});
    QCOMPARE(SourceFrames(*two).mid(0, 4), (QList<int>{3, 5, 7, 9}));
    QCOMPARE(SourceFrames(*two).mid(10, 2), (QList<int>{23, 24}));

    QVERIFY(EvaluationError("Animate(0, 9, \"Levels\", 0, 1.0, 255, 0, 255, 0, 1.0, 255, 0, 0)", media_.dir())
                .contains("Animate: needs a clip"));
    const QString twoClips = pick + "a = " + Src() + "\nb = a.Trim(3, 0)\n";
    QVERIFY(EvaluationError(twoClips + "Animate(0, 9, \"Shift\", a, 0, b, 10)", media_.dir())
                .contains("Animate: argument 1 is a clip, which cannot move"));
    QVERIFY(EvaluationError(twoClips + "Animate(0, 9, \"Pick\", a, b, 0, a, a, 10)", media_.dir())
                .contains("Animate: argument 2 is a clip, which cannot move"));
  }

  // ApplyRange filters frames start_frame to end_frame, both included, and
  // passes the others and the sound on.
  void applyRange() {
    avs::ClipPtr clip = Eval(Shift() + Src() + "\nApplyRange(3, 5, \"Shift\", 10)");
    QCOMPARE(clip->info().frameCount, int64_t{kFrames});
    QCOMPARE(SourceFrames(*clip).mid(0, 8), (QList<int>{0, 1, 2, 13, 14, 15, 6, 7}));
    QCOMPARE(Samples(*clip, 4000, 2), (QList<int>{4000, 4001}));
    QCOMPARE(SourceFrames(*Eval(Shift() + Src() + ".ApplyRange(4, 4, \"Shift\", 10)")).mid(3, 3),
             (QList<int>{3, 14, 5}));
    // A built-in filter; the range may run past the clip's end.
    const QString levels = "Levels(0, 1.0, 255, 255, 255)";
    const QList<int> lumas = Lumas(*Eval(Src() + ".ApplyRange(28, 40, \"Levels\", 0, 1.0, 255, 255, 255)"));
    QCOMPARE(lumas.size(), kFrames);
    QCOMPARE(lumas.mid(26, 2), (QList<int>{16 + 8 * 26, 16 + 8 * 27}));
    QCOMPARE(lumas.mid(28), Lumas(*Eval(Src() + "." + levels)).mid(28));
    QVERIFY(lumas[28] != 16 + 8 * 28);
  }

  // DirectShowSource's convertfps changes the rate by repeating frames;
  // framecount cuts the clip or holds its last frame.
  void directShowTiming() {
    avs::ClipPtr converted = Eval("DirectShowSource(\"src.avi\", fps=50, convertfps=true)");
    QCOMPARE(converted->info().fps.num, int64_t{50});
    QCOMPARE(SourceFrames(*converted).mid(0, 5), (QList<int>{0, 0, 1, 1, 2}));
    avs::ClipPtr relabelled = Eval("DirectShowSource(\"src.avi\", fps=50)");
    QCOMPARE(relabelled->info().frameCount, int64_t{kFrames});
    avs::ClipPtr longer = Eval("DirectShowSource(\"src.avi\", framecount=33)");
    QCOMPARE(SourceFrames(*longer).mid(28), (QList<int>{28, 29, 29, 29, 29}));
    QCOMPARE(Eval("DirectShowSource(\"src.avi\", framecount=10)")->info().frameCount, int64_t{10});
  }

  void refusals_data() {
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("message");
    QTest::newRow("SelectEvery step 0") << "SelectEvery(0, 0)"
                                        << "SelectEvery: the step";
    QTest::newRow("Trim with two ends") << "Trim(2, 5, end=6)" << "Trim: only one of the end, end= and length= may be given";
    QTest::newRow("Trim end before start") << "Trim(5, end=2)" << "Trim: end lies before the start";
    QTest::newRow("Trim length 0") << "Trim(5, length=0)" << "Trim: length must be above 0";
    QTest::newRow("AssumeFPS denominator of a string") << "AssumeFPS(25, \"1\")" << "the denominator cannot be a string";
    QTest::newRow("AssumeFPS sync_audio twice") << "AssumeFPS(25.0, true, sync_audio=false)" << "sync_audio is given twice";
    QTest::newRow("AssumeScaledFPS by 0") << "AssumeScaledFPS(0)" << "multiplier and divisor must be above 0";
    QTest::newRow("SelectEvery negative offset") << "SelectEvery(2, -1)"
                                                 << "SelectEvery: the offset -1";
    QTest::newRow("SelectOdd of one frame") << "Trim(0, -1).SelectOdd()"
                                            << "SelectOdd: no frame is selected";
    QTest::newRow("SelectRangeEvery longer than every") << "SelectRangeEvery(5, 6)"
                                                        << "SelectRangeEvery: length";
    QTest::newRow("Interleave of other sizes") << "Interleave(last, last.Crop(0, 0, 16, 16))"
                                               << "Interleave: the clips' pictures";
    QTest::newRow("Loop times -2") << "Loop(-2)"
                                   << "Loop: times";
    QTest::newRow("FreezeFrame source outside") << "FreezeFrame(0, 2, 30)"
                                                << "FreezeFrame: the source frame 30";
    QTest::newRow("DeleteFrame outside") << "DeleteFrame(30)"
                                         << "DeleteFrame: the frame 30 is outside";
    QTest::newRow("DeleteFrame of every frame") << "Trim(0, -2).DeleteFrame(0, 1)"
                                                << "DeleteFrame: no frame would be left";
    QTest::newRow("DuplicateFrame negative") << "DuplicateFrame(-1)"
                                             << "DuplicateFrame: the frame -1";
    QTest::newRow("ChangeFPS float with denominator") << "ChangeFPS(25.0, 2)"
                                                      << "ChangeFPS: a float frame rate";
    QTest::newRow("ChangeFPS unknown name") << "ChangeFPS(\"pal_slow\")"
                                            << "ChangeFPS: unknown frame rate name";
    QTest::newRow("ChangeFPS rate 0") << "ChangeFPS(0)"
                                      << "ChangeFPS: the frame rate 0/1";
    QTest::newRow("ConvertFPS below two thirds") << "ConvertFPS(16)"
                                                 << "ConvertFPS: the blend mode needs";
    QTest::newRow("ConvertFPS negative zone") << "ConvertFPS(30, zone=-1)"
                                              << "ConvertFPS: zone must be 0 or more";
    QTest::newRow("ConvertFPS zone taller than the picture") << "ConvertFPS(30, zone=17)"
                                                             << "ConvertFPS: zone, 17 lines, is taller";
    QTest::newRow("ConvertFPS positional zone taller") << "ConvertFPS(50.0, 80)"
                                                       << "ConvertFPS: zone, 80 lines, is taller";
    QTest::newRow("ConvertFPS zone longer than a source frame")
        << "ConvertFPS(20, zone=13)"
        << "ConvertFPS: zone, 13 lines, is longer than the 12 lines a source frame lasts";
    QTest::newRow("ConvertFPS negative vbi") << "ConvertFPS(30, zone=0, vbi=-1)"
                                             << "ConvertFPS: vbi must be between 0";
    QTest::newRow("ConvertFPS vbi taller than the picture") << "ConvertFPS(30, 1, 0, 17)"
                                                            << "ConvertFPS: vbi must be between 0";
    QTest::newRow("ConvertFPS source frame shorter than a line")
        << "ConvertFPS(1, 1, 0, 8)"
        << "ConvertFPS: the switch mode needs every source frame to last at least one line";
    QTest::newRow("ConvertFPS zone twice") << "ConvertFPS(30.0, 4, zone=4)"
                                           << "ConvertFPS: zone is given twice";
    QTest::newRow("ConvertFPS integer after vbi") << "ConvertFPS(30.0, 4, 2, 1)"
                                                  << "ConvertFPS: unexpected integer after vbi";
    QTest::newRow("Dissolve overlap too long") << "Dissolve(last, last.Trim(0, 3), 5)"
                                               << "Dissolve: the overlap is longer";
    QTest::newRow("Dissolve without overlap") << "Dissolve(last, last)"
                                              << "Dissolve: the overlap";
    QTest::newRow("Dissolve of other rates") << "Dissolve(last, last.AssumeFPS(30), 2)"
                                             << "Dissolve: the clips' frame rates";
    QTest::newRow("FadeOut of sound alone at a tiny fps") << "KillVideo().FadeOut(2000000000, fps=0.000001)"
                                                          << "FadeOut: the fade would be too long";
    QTest::newRow("FadeIn negative") << "FadeIn(-1)"
                                     << "FadeIn: num_frames";
    QTest::newRow("Animate odd arguments") << "Animate(0, 9, \"Levels\", 0, 1.0, 255, 0, 255)"
                                           << "Animate: the start and end";
    QTest::newRow("Animate different strings") << "Animate(0, 9, \"Subtitle\", \"a\", \"b\")"
                                               << "Animate: argument 1 is not a number";
    QTest::newRow("Animate clip changing") << "Animate(0, 9, \"Levels\", last, 0, 1.0, 255, 0, 255, "
                                              "last.Trim(1, 0), 0, 1.0, 255, 0, 255)"
                                           << "Animate: argument 1 is a clip, which cannot move";
    QTest::newRow("ApplyRange of another size") << "ApplyRange(0, 4, \"Crop\", 0, 0, 16, 16)"
                                                << "ApplyRange: Crop gives pictures of another size";
    QTest::newRow("ApplyRange ending before it starts") << "ApplyRange(5, 4, \"Levels\", 0, 1.0, 255, 0, 255)"
                                                        << "ApplyRange: end_frame 4 comes before start_frame 5";
    QTest::newRow("ApplyRange with a clip argument") << "ApplyRange(0, 4, \"Overlay\", last)"
                                                     << "ApplyRange: the arguments cannot hold a clip";
    QTest::newRow("Animate unknown filter") << "Animate(0, 9, \"NoSuchFilter\", 1, 2)"
                                            << "there is no function named NoSuchFilter";
    QTest::newRow("Trim ending before it starts") << "Trim(6, 3)"
                                                  << "Trim: no frame is left between 6 and 3";
  }
  void refusals() {
    QFETCH(QString, call);
    QFETCH(QString, message);
    const QString error = EvaluationError(Src() + "\n" + call, media_.dir());
    QVERIFY2(error.startsWith("t.avs, line 2: ") && error.contains(message), qPrintable(error));
  }
};

QTEST_GUILESS_MAIN(TimeFunctionsTest)
#include "tst_time_functions.moc"
