// The frame model: frames and samples in any order through a Reading, the
// cache that spares neighbours a second decoding, seeking sources, sample
// types and their conversions, and the limit on chained filters.
#include "media_fixture.h"
#include "tools/engine/filter.h"
#include "tools/engine/graph_clip.h"
#include "tools/engine/reading.h"
#include "tools/engine/samples.h"

#include <QCryptographicHash>
#include <QtEndian>
#include <QtTest>

extern "C" {
#include <libavutil/log.h>
}

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <thread>
#include <vector>

namespace {

QByteArray Hash(const AVFrame& frame) { return QCryptographicHash::hash(PictureBytes(frame), QCryptographicHash::Md5); }

// A filter that passes its input's frames on and counts how often each one
// is made.
class CountingFilter : public avs::FrameFilter {
 public:
  explicit CountingFilter(avs::ClipPtr source) : FrameFilter(source->info(), "count", {source}) {}
  avs::FrameRef MakeFrame(int64_t n, const avs::Inputs& in) const override {
    ++made[n];
    return in.Frame(0, n);
  }
  mutable std::map<int64_t, int> made;
};

// A filter that paints frames of its own, a grey that grows with n, and
// notes how often it made each one and where its pixels are.
class Painter : public avs::FrameFilter {
 public:
  explicit Painter(avs::ClipInfo info) : FrameFilter(info, "paint", {}) {}
  avs::FrameRef MakeFrame(int64_t n, const avs::Inputs&) const override {
    avs::FramePtr frame = avs::NewPicture(info().width, info().height, info().pixelFormat);
    for (int plane = 0; plane < 3; ++plane)
      std::memset(frame->data[plane], static_cast<int>(16 + n), static_cast<std::size_t>(frame->linesize[plane]) *
                                                                   static_cast<std::size_t>(plane ? frame->height / 2 : frame->height));
    ++count[n];
    made[n] = frame->data[0];
    return avs::Share(std::move(frame));
  }
  mutable std::map<int64_t, int> count;
  mutable std::map<int64_t, const uint8_t*> made;
};

// Every sample of a clip's sound, read in chunks of `chunk` from the start.
QByteArray AllSamples(avs::Reading& reading, const avs::Clip& clip, int64_t chunk) {
  const avs::ClipInfo& info = clip.info();
  const int64_t frameBytes = int64_t{avs::BytesPerSample(info.sampleType)} * info.channels;
  QByteArray all(static_cast<qsizetype>(info.sampleCount * frameBytes), 0);
  for (int64_t at = 0; at < info.sampleCount; at += chunk)
    reading.Samples(clip, all.data() + at * frameBytes, at, std::min(chunk, info.sampleCount - at));
  return all;
}

}  // namespace

class FrameModelTest : public QObject {
  Q_OBJECT

  std::unique_ptr<MediaFolder> media_;

 private slots:
  void initTestCase() {
    av_log_set_level(AV_LOG_QUIET);
    media_ = std::make_unique<MediaFolder>();
    // Key frames every 12 frames, so that going back or far ahead seeks.
    QVERIFY(media_->ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=160x120:r=25:d=4", "-c:v", "mpeg4", "-g", "12", "gop.avi"}));
    // B-frames: decoding order differs from presentation order.
    QVERIFY(media_->ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=160x120:r=24000/1001:d=4", "-c:v", "libx264", "-preset",
                            "ultrafast", "-bf", "3", "-g", "10", "-x264-params", "b-adapt=0:scenecut=0", "bframes.mkv"}));
    QVERIFY(media_->ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=160x120:r=25:d=4", "-c:v", "libx264", "-preset", "ultrafast",
                            "-bf", "2", "-g", "15", "bframes.mp4"}));
    // Raw pictures whose fifth and last packets are cut to half: the
    // decoder drops those frames, which show the frame before them.
    QVERIFY(media_->ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=64x48:r=25:d=0.4", "-pix_fmt", "yuv420p", "-c:v", "rawvideo",
                            "raw.avi"}));
    QByteArray raw = media_->read("raw.avi");
    qsizetype chunk = raw.indexOf("movi");
    for (int packet = 0; packet < 10; ++packet) {
      chunk = raw.indexOf("00dc", chunk + 4);
      QVERIFY(chunk > 0);
      if (packet == 4 || packet == 9) qToLittleEndian<quint32>(64 * 48 * 3 / 4, raw.data() + chunk + 4);
    }
    media_->write("dropped.avi", raw);
  }

  // Any order of requests gives the frames that reading in order gives,
  // also when nothing is cached and every jump back or ahead seeks.
  void randomAccessMatchesSequentialDecoding_data() {
    QTest::addColumn<QString>("script");
    QTest::newRow("AVI with key frames every 12") << "AviSource(\"gop.avi\")";
    QTest::newRow("Matroska with B-frames") << "FFVideoSource(\"bframes.mkv\")";
    QTest::newRow("MP4 with B-frames") << "DirectShowSource(\"bframes.mp4\", audio=false)";
    QTest::newRow("trimmed and resized") << "AviSource(\"gop.avi\").Trim(30, 0).Spline64Resize(80, 60)";
  }
  void randomAccessMatchesSequentialDecoding() {
    QFETCH(QString, script);
    avs::ClipPtr clip = EvaluateClip(script, media_->dir());
    const int64_t count = clip->info().frameCount;
    QVERIFY(count >= 60);
    std::vector<QByteArray> inOrder;
    {
      avs::Reading reading;
      for (int64_t n = 0; n < count; ++n) inOrder.push_back(Hash(*reading.Frame(*clip, n)));
    }
    avs::Reading uncached(0);
    std::vector<int64_t> order;
    for (int64_t n = count - 1; n >= 0; n -= 7) order.push_back(n);           // backwards
    for (int64_t n : {int64_t{0}, count - 1, int64_t{1}, count / 2, count / 2 - 1, int64_t{5}, count - 2})
      order.push_back(n);                                                     // jumps
    for (int64_t n = 3; n < count; n += 13) order.push_back(n);               // far ahead
    for (int64_t n : order) QVERIFY2(Hash(*uncached.Frame(*clip, n)) == inOrder[n], qPrintable(QString("frame %1").arg(n)));
    // Requests beyond either end give the first or the last frame.
    QCOMPARE(Hash(*uncached.Frame(*clip, -5)), inOrder.front());
    QCOMPARE(Hash(*uncached.Frame(*clip, count + 100)), inOrder.back());
  }

  // A filter that draws on its input's frame (Subtitle) draws in place when
  // nothing else reads that input, taking the frame from the source and
  // the cache: the same pictures as drawing on a copy, in any order, and
  // the source read again afterwards decodes its frames again, clean.
  void drawingInPlaceMatchesDrawingOnACopy_data() {
    QTest::addColumn<QString>("script");
    QTest::newRow("AVI with key frames every 12") << "AviSource(\"gop.avi\").Subtitle(\"Hxy\", align=5)";
    QTest::newRow("MP4 with B-frames") << "DirectShowSource(\"bframes.mp4\", audio=false).Subtitle(\"Hxy\")";
    QTest::newRow("frames the decoder drops") << "AviSource(\"dropped.avi\").Subtitle(\"Hxy\")";
    QTest::newRow("two texts on one another")
        << "AviSource(\"gop.avi\").Subtitle(\"Hxy\", first_frame=10).Text(\"Abc\", align=2, last_frame=80)";
  }
  void drawingInPlaceMatchesDrawingOnACopy() {
    QFETCH(QString, script);
    const avs::ClipPtr inPlace = EvaluateClip(script, media_->dir());
    const avs::ClipPtr onACopy = EvaluateClip(script, media_->dir());
    // Held here as well, the input is read by two and drawn on as a copy.
    const avs::ClipPtr heldInput = onACopy->inputs()[0];
    const avs::ClipPtr source = EvaluateClip(script.left(script.indexOf(").") + 1), media_->dir());
    const int64_t count = inPlace->info().frameCount;
    avs::Reading reading, copies, sources;
    for (int64_t n = 0; n < count; ++n)
      QVERIFY2(Hash(*reading.Frame(*inPlace, n)) == Hash(*copies.Frame(*onACopy, n)), qPrintable(QString("frame %1").arg(n)));
    const avs::Clip* first = &inPlace->input(0);
    while (!first->inputs().empty()) first = &first->input(0);
    for (int64_t n : {int64_t{0}, int64_t{4}, int64_t{17}, count / 2, count - 1})
      QVERIFY2(Hash(*reading.Frame(*first, n)) == Hash(*sources.Frame(*source, n)), qPrintable(QString("source %1").arg(n)));
    avs::Reading uncached(0);
    for (int64_t n : {count - 1, count - 2, int64_t{40}, int64_t{3}, int64_t{4}, int64_t{5}, int64_t{60}, int64_t{11}})
      QVERIFY2(Hash(*uncached.Frame(*inPlace, n)) == Hash(*copies.Frame(*onACopy, n)), qPrintable(QString("again %1").arg(n)));
  }

  // A graph that draws on its input gets the input's own frame, and draws
  // on it in place, when nothing else reads that input; an input read by
  // another clip too keeps its frames (each made once) and is drawn on as a
  // copy.
  void framesNothingElseReadsAreDrawnOnInPlace() {
    for (bool shared : {false, true}) {
      auto painter = std::make_shared<Painter>(EvaluateClip("AviSource(\"gop.avi\")", media_->dir())->info());
      const Painter& painted = *painter;
      const avs::ClipPtr drawn = avs::MakeGraphClip(painter->info(), "test", {painter}, "drawtext=text=Hxy:fontsize=20",
                                                    {.drawsOnInput = true});
      const avs::ClipPtr alsoRead = shared ? painter : nullptr;
      painter.reset();
      avs::Reading reading;
      for (int64_t n = 0; n < 20; ++n) {
        const avs::FrameRef frame = reading.Frame(*drawn, n);
        QCOMPARE(frame->data[0] == painted.made.at(n), !shared);
        if (shared) reading.Frame(*alsoRead, n);
      }
      for (int64_t n = 0; n < 20; ++n) QCOMPARE(painted.count.at(n), 1);
    }
  }

  // A filter that looks at n-1, n and n+1 makes every frame of its input
  // once, and the frames it is handed again are the same shared frames.
  void neighboursAreMadeOnce() {
    auto counting = std::make_shared<CountingFilter>(EvaluateClip("AviSource(\"gop.avi\")", media_->dir()));
    avs::Reading reading;
    for (int64_t n = 0; n < 20; ++n)
      for (int64_t k : {n - 1, n, n + 1}) reading.Frame(*counting, k);
    for (int64_t n = 0; n <= 20; ++n) QCOMPARE(counting->made[n], 1);
    QCOMPARE(reading.Frame(*counting, 20).get(), reading.Frame(*counting, 20).get());
  }

  // A generator's frame is made when first asked for, once for all its
  // frames; evaluating a script makes none.
  void generatorsMakeFramesWhenAsked() {
    avs::ClipPtr blank = EvaluateClip("BlankClip(length=100, width=64, height=48, pixel_type=\"YV12\")", media_->dir());
    avs::Reading reading;
    avs::FrameRef first = reading.Frame(*blank, 0);
    QCOMPARE(reading.Frame(*blank, 99).get(), first.get());
  }

  void audioRandomAccessMatchesSequentialReading_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("encode");
    QTest::newRow("16-bit WAV") << "WavSource(\"s16.wav\")" << "s16.wav" << QStringList{"-c:a", "pcm_s16le"};
    QTest::newRow("24-bit WAV") << "WavSource(\"s24.wav\")" << "s24.wav" << QStringList{"-c:a", "pcm_s24le"};
    QTest::newRow("float WAV") << "WavSource(\"flt.wav\")" << "flt.wav" << QStringList{"-c:a", "pcm_f32le"};
    QTest::newRow("FLAC in Matroska") << "FFAudioSource(\"flac.mkv\")" << "flac.mkv" << QStringList{"-c:a", "flac"};
    QTest::newRow("resampled 44100 to 48000") << "WavSource(\"s16.wav\").ResampleAudio(48000)" << "s16.wav"
                                              << QStringList{"-c:a", "pcm_s16le"};
    QTest::newRow("resampled float 44100 to 32000") << "WavSource(\"flt.wav\").ResampleAudio(32000)" << "flt.wav"
                                                    << QStringList{"-c:a", "pcm_f32le"};
    QTest::newRow("trimmed with the picture") << "AudioDub(BlankClip(length=100, fps=25), WavSource(\"s16.wav\")).Trim(20, 79)"
                                              << "s16.wav" << QStringList{"-c:a", "pcm_s16le"};
  }
  void audioRandomAccessMatchesSequentialReading() {
    QFETCH(QString, script);
    QFETCH(QString, file);
    QFETCH(QStringList, encode);
    if (!QFile::exists(media_->path(file)))
      QVERIFY(media_->ffmpeg(QStringList{"-f", "lavfi", "-i", "aevalsrc=sin(440*2*PI*t)|0.5*sin(1000*2*PI*t):s=44100:d=30"} +
                             encode + QStringList{file}));
    avs::ClipPtr clip = EvaluateClip(script, media_->dir());
    const avs::ClipInfo& info = clip->info();
    const int64_t frameBytes = int64_t{avs::BytesPerSample(info.sampleType)} * info.channels;
    avs::Reading inOrder;
    const QByteArray all = AllSamples(inOrder, *clip, 1000);
    avs::Reading reading;
    const int64_t length = info.sampleCount;
    // Back, far ahead (beyond what is decoded to rather than sought), over
    // the end, and before the start.
    const std::vector<std::pair<int64_t, int64_t>> reads{{length / 2, 5000},      {100, 3000},
                                                         {length - 7000, 6000}, {length / 3, 1},
                                                         {12345, 40000},        {length - 10, 10}};
    for (auto [start, count] : reads) {
      QByteArray part(static_cast<qsizetype>(count * frameBytes), 0);
      reading.Samples(*clip, part.data(), start, count);
      QVERIFY2(part == all.mid(static_cast<qsizetype>(start * frameBytes), part.size()),
               qPrintable(QString("%1 samples from %2").arg(count).arg(start)));
    }
    // Outside the sound: silence on either side of what is there.
    QByteArray edge(static_cast<qsizetype>(20 * frameBytes), 'x');
    reading.Samples(*clip, edge.data(), -10, 20);
    QByteArray silence(static_cast<qsizetype>(10 * frameBytes), 0);
    avs::FillSilence(silence.data(), info.sampleType, static_cast<std::size_t>(10 * info.channels));
    QCOMPARE(edge.left(silence.size()), silence);
    QCOMPARE(edge.mid(silence.size()), all.left(silence.size()));
    reading.Samples(*clip, edge.data(), length - 10, 20);
    QCOMPARE(edge.left(silence.size()), all.right(silence.size()));
    QCOMPARE(edge.mid(silence.size()), silence);
  }

  // Sources keep their sample type; the 16-bit sound the tools read is
  // what ffmpeg makes of the same file.
  void sampleTypesOfSources_data() {
    QTest::addColumn<QString>("codec");
    QTest::addColumn<int>("type");
    QTest::newRow("8-bit") << "pcm_u8" << int(avs::SampleType::U8);
    QTest::newRow("16-bit") << "pcm_s16le" << int(avs::SampleType::S16);
    QTest::newRow("24-bit") << "pcm_s24le" << int(avs::SampleType::S24);
    QTest::newRow("32-bit") << "pcm_s32le" << int(avs::SampleType::S32);
    QTest::newRow("float") << "pcm_f32le" << int(avs::SampleType::Float);
  }
  void sampleTypesOfSources() {
    QFETCH(QString, codec);
    QFETCH(int, type);
    MediaFolder folder;
    QVERIFY(folder.ffmpeg({"-f", "lavfi", "-i", "anoisesrc=r=22050:d=0.5:a=0.9", "-ac", "2", "-c:a", codec, "in.wav"}));
    QVERIFY(folder.ffmpeg({"-i", "in.wav", "-c:a", "pcm_s16le", "-f", "s16le", "expected.raw"}));
    auto reader = avs::ClipReader::OpenScript(folder.script("t.avs", "WavSource(\"in.wav\")\n").toStdString());
    QCOMPARE(int(reader->info().sampleType), type);
    std::vector<int16_t> samples(static_cast<std::size_t>(reader->info().sampleCount) * 2);
    QCOMPARE(reader->ReadAudioS16(samples.data(), samples.size() / 2), samples.size() / 2);
    QByteArray got(reinterpret_cast<const char*>(samples.data()), static_cast<qsizetype>(samples.size() * 2));
    QCOMPARE(got, folder.read("expected.raw"));
  }

  // Integer types convert among themselves without loss where the target
  // is as wide; floats round to the nearest and clamp.
  void sampleConversions() {
    std::vector<int16_t> all(65536);
    for (int i = 0; i < 65536; ++i) all[static_cast<std::size_t>(i)] = static_cast<int16_t>(i - 32768);
    for (avs::SampleType wide : {avs::SampleType::S24, avs::SampleType::S32, avs::SampleType::Float}) {
      std::vector<int32_t> widened(all.size());
      std::vector<int16_t> back(all.size());
      avs::ConvertSamples(all.data(), avs::SampleType::S16, widened.data(), wide, all.size());
      avs::ConvertSamples(widened.data(), wide, back.data(), avs::SampleType::S16, all.size());
      QVERIFY(back == all);
    }
    int32_t s24 = 0;
    const int16_t low = -32768, high = 32767;
    avs::ConvertSamples(&low, avs::SampleType::S16, &s24, avs::SampleType::S24, 1);
    QCOMPARE(s24, -(1 << 23));
    avs::ConvertSamples(&high, avs::SampleType::S16, &s24, avs::SampleType::S24, 1);
    QCOMPARE(s24, 32767 << 8);
    const uint8_t u8[] = {0, 128, 255};
    int16_t s16[3];
    avs::ConvertSamples(u8, avs::SampleType::U8, s16, avs::SampleType::S16, 3);
    QCOMPARE(s16[0], int16_t(-32768));
    QCOMPARE(s16[1], int16_t(0));
    QCOMPARE(s16[2], int16_t(127 << 8));
    uint8_t u8back[3];
    avs::ConvertSamples(s16, avs::SampleType::S16, u8back, avs::SampleType::U8, 3);
    QCOMPARE(QByteArray(reinterpret_cast<char*>(u8back), 3), QByteArray(reinterpret_cast<const char*>(u8), 3));
    const float floats[] = {1.0f, -1.0f, 2.0f, -7.0f, std::numeric_limits<float>::quiet_NaN(), 0.5f / 32768, 1.5f / 32768};
    int16_t fromFloat[7];
    avs::ConvertSamples(floats, avs::SampleType::Float, fromFloat, avs::SampleType::S16, 7);
    const int16_t expected[] = {32767, -32768, 32767, -32768, 0, 0, 2};  // halves to even
    for (int i = 0; i < 7; ++i) QCOMPARE(fromFloat[i], expected[i]);
    int32_t fromFloat32[2];
    avs::ConvertSamples(floats, avs::SampleType::Float, fromFloat32, avs::SampleType::S32, 2);
    QCOMPARE(fromFloat32[0], std::numeric_limits<int32_t>::max());
    QCOMPARE(fromFloat32[1], std::numeric_limits<int32_t>::min());
    uint8_t silence[4];
    avs::FillSilence(silence, avs::SampleType::U8, 4);
    QCOMPARE(QByteArray(reinterpret_cast<char*>(silence), 4), QByteArray(4, char(0x80)));
  }

  // The pictures the engine holds at once stay within a stated budget: a
  // filter that would need more is refused with a message that names it,
  // and what it took is given back. A freed picture is reused by the next
  // filter that makes one of its size.
  void frameMemoryHasABudget() {
    const std::size_t before = avs::FrameMemoryInUse();
    avs::ClipInfo info;
    info.hasVideo = true;
    info.width = info.height = 8192;
    info.pixelFormat = AV_PIX_FMT_BGRA;
    info.fps = {25, 1};
    info.frameCount = 1;
    class Hoarder : public avs::FrameFilter {
     public:
      explicit Hoarder(const avs::ClipInfo& info) : FrameFilter(info, "t.avs, line 7", {}) {}
      avs::FrameRef MakeFrame(int64_t, const avs::Inputs&) const override {
        std::vector<avs::FramePtr> held;
        for (std::size_t bytes = 0; bytes <= avs::kFrameMemoryBudget; bytes += avs::FrameBytes(*held.back()))
          held.push_back(avs::NewPicture(info().width, info().height, info().pixelFormat));
        return nullptr;
      }
    };
    const Hoarder hoarder(info);
    try {
      avs::Reading reading;
      reading.Frame(hoarder, 0);
      QFAIL("the budget was passed");
    } catch (const avs::ScriptError& e) {
      QVERIFY2(QString(e.what()).startsWith("t.avs, line 7: the script's frames would need more than 2048 MiB"), e.what());
    }
    QVERIFY(avs::FrameMemoryInUse() <= before + avs::kSpareFrameMemory);
    // Freed pictures come back for the next picture of their size.
    const uint8_t* first = avs::NewPicture(640, 480, AV_PIX_FMT_YUV420P)->data[0];
    QCOMPARE(avs::NewPicture(640, 480, AV_PIX_FMT_YUV420P)->data[0], first);
  }

  // A chain as deep as the limit is read, on a thread of its own as the
  // encoder reads it; one filter more is refused with a message.
  void chainDepthIsLimited() {
    const QString chain = "BlankClip(length=10, width=64, height=48, pixel_type=\"YV12\")\n" +
                          QString("Reverse()\n").repeated(avs::kMaxChainDepth);
    try {
      EvaluateClip(chain, media_->dir());
      QFAIL("a chain beyond the limit was accepted");
    } catch (const avs::ScriptError& e) {
      QVERIFY2(QString(e.what()).contains(QString("line %1: more than %2 filters are chained")
                                              .arg(avs::kMaxChainDepth + 1)
                                              .arg(avs::kMaxChainDepth)),
               e.what());
    }
    avs::ClipPtr deep = EvaluateClip(chain.section('\n', 0, avs::kMaxChainDepth - 1), media_->dir());
    QCOMPARE(deep->depth(), avs::kMaxChainDepth);
    bool read = false;
    std::thread reader([&] {
      avs::Reading reading;
      read = reading.Frame(*deep, 3) != nullptr;
    });
    reader.join();
    QVERIFY(read);
    // Joining clips in a loop builds one splice, not a chain.
    QString joined = "c = BlankClip(length=1)\n" + QString("c = c + BlankClip(length=1)\n").repeated(2 * avs::kMaxChainDepth) + "c";
    avs::ClipPtr splice = EvaluateClip(joined, media_->dir());
    QCOMPARE(splice->info().frameCount, int64_t{2 * avs::kMaxChainDepth + 1});
    QCOMPARE(splice->depth(), 2);
  }
};

QTEST_GUILESS_MAIN(FrameModelTest)
#include "tst_frame_model.moc"
