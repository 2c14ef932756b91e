// Audio functions against ffmpeg's own filters (volume, pan, adelay,
// atrim, sample format conversion), sample for sample within one step of
// the sample type, on a short generated stereo sound; and their refusals.
#include "media_fixture.h"
#include "tools/engine/reading.h"
#include "tools/engine/samples.h"

#include <QtTest>

#include <cmath>

namespace {

// Every sample of a script's sound, in its own sample type.
QByteArray SoundOf(const avs::ClipPtr& clip) {
  const avs::ClipInfo& info = clip->info();
  QByteArray bytes(static_cast<qsizetype>(info.sampleCount * info.channels * avs::BytesPerSample(info.sampleType)),
                   '\0');
  avs::Reading reading;
  reading.Samples(*clip, bytes.data(), 0, info.sampleCount);
  return bytes;
}

// The largest difference between two runs of 16-bit samples, or -1 when
// their lengths differ.
int MaxDifference(const QByteArray& a, const QByteArray& b) {
  if (a.size() != b.size()) return -1;
  const auto* x = reinterpret_cast<const int16_t*>(a.constData());
  const auto* y = reinterpret_cast<const int16_t*>(b.constData());
  int most = 0;
  for (qsizetype i = 0; i < a.size() / 2; ++i) most = std::max(most, std::abs(x[i] - y[i]));
  return most;
}

}  // namespace

class AudioFunctionsTest : public QObject {
  Q_OBJECT

  MediaFolder media_;

  QByteArray Ffmpeg(const QString& filter, const QString& name, const QString& format = "s16le",
                    const QStringList& inputs = {"st.wav"}) {
    QStringList args;
    for (const QString& input : inputs) args << "-i" << input;
    args << (inputs.size() > 1 ? "-filter_complex" : "-af") << filter << "-f" << format << name;
    if (!media_.ffmpeg(args)) return {};
    return media_.read(name);
  }

 private slots:
  void initTestCase() {
    // Two different tones, left at 0.3 and right at 0.2 of full scale, and
    // a quieter second sound to mix in.
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "aevalsrc=0.3*sin(2*PI*440*t)|0.2*sin(2*PI*660*t):s=8000:d=0.5",
                           "-c:a", "pcm_s16le", "st.wav"}));
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "aevalsrc=0.25*sin(2*PI*300*t)|0.1*sin(2*PI*900*t):s=8000:d=0.4",
                           "-c:a", "pcm_s16le", "other.wav"}));
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "aevalsrc=0.4*sin(2*PI*500*t):s=8000:d=0.5", "-c:a",
                           "pcm_s16le", "mono.wav"}));
    // Tones low, middle and high in the equalizer's bands, as floats.
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i",
                           "aevalsrc=0.2*sin(2*PI*80*t)+0.2*sin(2*PI*1200*t)+0.2*sin(2*PI*9000*t)|"
                           "0.3*sin(2*PI*300*t)+0.3*sin(2*PI*4000*t):s=44100:d=1.5",
                           "-c:a", "pcm_f32le", "bands.wav"}));
    media_.write("bass.feq", "12\n\n6\n  0\n-3\n");
    media_.write("wrong.feq", "12\nloud\n");
  }

  void matchesFfmpeg_data() {
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("inputs");
    const QStringList one{"st.wav"}, two{"st.wav", "other.wav"};
    // Factors past full scale check saturation; one factor per channel
    // checks their order; a single factor serves every channel.
    QTest::newRow("Amplify") << "Amplify(1.5)" << "volume=1.5:precision=float" << one;
    QTest::newRow("Amplify saturates") << "Amplify(4)" << "volume=4:precision=float" << one;
    QTest::newRow("Amplify per channel") << "Amplify(0.5, 2.0)" << "pan=stereo|c0=0.5*c0|c1=2*c1" << one;
    QTest::newRow("Amplify negative") << "Amplify(-1)" << "volume=-1:precision=float" << one;
    QTest::newRow("AmplifyDB") << "AmplifyDB(6)" << "volume=6dB:precision=float" << one;
    QTest::newRow("AmplifyDB per channel") << "AmplifyDB(-6, 3)"
                                           << "pan=stereo|c0=0.501187*c0|c1=1.412538*c1" << one;
    QTest::newRow("ConvertToMono") << "ConvertToMono()" << "pan=mono|c0=0.5*c0+0.5*c1" << one;
    QTest::newRow("GetLeftChannel") << "GetLeftChannel()" << "pan=mono|c0=c0" << one;
    QTest::newRow("GetRightChannel") << "GetRightChannel()" << "pan=mono|c0=c1" << one;
    QTest::newRow("GetChannel swapped") << "GetChannel(2, 1)" << "pan=stereo|c0=c1|c1=c0" << one;
    QTest::newRow("GetChannels repeated") << "GetChannels(1, 2, 1)" << "pan=3c|c0=c0|c1=c1|c2=c0" << one;
    QTest::newRow("DelayAudio") << "DelayAudio(0.1)" << "adelay=100|100:all=1,apad=pad_len=0" << one;
    QTest::newRow("DelayAudio negative") << "DelayAudio(-0.1)" << "atrim=start_sample=800" << one;
    // AudioTrim in seconds: an end, a negative duration, a named length.
    QTest::newRow("AudioTrim") << "AudioTrim(0.1, 0.3)" << "atrim=start_sample=800:end_sample=2400" << one;
    QTest::newRow("AudioTrim for a duration") << "AudioTrim(0.2, -0.1)" << "atrim=start_sample=1600:end_sample=2400" << one;
    QTest::newRow("AudioTrim with a length") << "AudioTrim(0.05, length=0.2)" << "atrim=start_sample=400:end_sample=2000"
                                             << one;
    QTest::newRow("AudioTrim to the end") << "AudioTrim(0.375, 0)" << "atrim=start_sample=3000" << one;
    QTest::newRow("MonoToStereo") << "GetRightChannel().MonoToStereo(WavSource(\"st.wav\").GetLeftChannel())"
                                  << "pan=stereo|c0=c1|c1=c0" << one;
    // MixAudio's second factor defaults to one less the first.
    QTest::newRow("MixAudio default") << "MixAudio(WavSource(\"other.wav\"))"
                                      << "[0][1]amerge,pan=stereo|c0=0.5*c0+0.5*c2|c1=0.5*c1+0.5*c3" << two;
    QTest::newRow("MixAudio factors") << "MixAudio(WavSource(\"other.wav\"), 0.3, 0.9)"
                                      << "[0][1]amerge,pan=stereo|c0=0.3*c0+0.9*c2|c1=0.3*c1+0.9*c3" << two;
    QTest::newRow("MixAudio first only") << "MixAudio(WavSource(\"other.wav\"), 0.8)"
                                         << "[0][1]amerge,pan=stereo|c0=0.8*c0+0.2*c2|c1=0.8*c1+0.2*c3" << two;
    QTest::newRow("MergeChannels") << "MergeChannels(WavSource(\"other.wav\"))"
                                   << "[0][1]amerge=inputs=2,pan=4c|c0=c0|c1=c1|c2=c2|c3=c3" << two;
  }
  void matchesFfmpeg() {
    QFETCH(QString, call);
    QFETCH(QString, filter);
    QFETCH(QStringList, inputs);
    const QString name = QString(QTest::currentDataTag()).replace(' ', '_') + ".raw";
    QByteArray theirs = Ffmpeg(filter, name, "s16le", inputs);
    QVERIFY(!theirs.isEmpty());
    const avs::ClipPtr clip = EvaluateClip("WavSource(\"st.wav\")." + call, media_.dir());
    QCOMPARE(clip->info().sampleType, avs::SampleType::S16);
    QByteArray ours = SoundOf(clip);
    // amerge stops with its shorter input; the mixes run as long as the
    // first, whose tail is the first sound alone after the second ends.
    if (inputs.size() > 1) ours.truncate(theirs.size());
    QCOMPARE(ours.size(), theirs.size());
    QVERIFY2(MaxDifference(ours, theirs) <= 1, qPrintable(QString::number(MaxDifference(ours, theirs))));
  }

  void lengthsFollowTheFirstSoundAndTheDelay() {
    const auto samples = [&](const QString& script) {
      return EvaluateClip(script, media_.dir())->info().sampleCount;
    };
    QCOMPARE(samples("WavSource(\"st.wav\")"), 4000);
    QCOMPARE(samples("MixAudio(WavSource(\"other.wav\"), WavSource(\"st.wav\"))"), 3200);
    QCOMPARE(samples("MergeChannels(WavSource(\"other.wav\"), WavSource(\"st.wav\"))"), 3200);
    QCOMPARE(samples("WavSource(\"st.wav\").DelayAudio(0.25)"), 6000);
    QCOMPARE(samples("WavSource(\"st.wav\").DelayAudio(-1)"), 0);
    const avs::ClipPtr merged = EvaluateClip("MergeChannels(WavSource(\"mono.wav\"), WavSource(\"st.wav\"), "
                                             "WavSource(\"mono.wav\"))",
                                             media_.dir());
    QCOMPARE(merged->info().channels, 4);
    // The mono sound's samples are the first and the last of each frame.
    const QByteArray sound = SoundOf(merged), mono = SoundOf(EvaluateClip("WavSource(\"mono.wav\")", media_.dir()));
    const auto* s = reinterpret_cast<const int16_t*>(sound.constData());
    const auto* m = reinterpret_cast<const int16_t*>(mono.constData());
    for (int f : {0, 1, 1999, 3999}) {
      QCOMPARE(s[f * 4], m[f]);
      QCOMPARE(s[f * 4 + 3], m[f]);
    }
  }

  // AudioDubEx takes what each clip has; AudioTrim cuts a clip's frames to
  // those its sound overlaps.
  void dubbingAndTrimmingClips() {
    const auto info = [&](const QString& script) { return EvaluateClip(script, media_.dir())->info(); };
    const QString picture = "BlankClip(length=25, width=64, height=48, fps=25, audio_rate=0)";
    avs::ClipInfo dubbed = info("AudioDubEx(" + picture + ", WavSource(\"st.wav\"))");
    QVERIFY(dubbed.hasVideo && dubbed.hasAudio);
    QCOMPARE(dubbed.sampleCount, 4000);
    dubbed = info("AudioDubEx(WavSource(\"st.wav\"), " + picture + ")");
    QVERIFY(dubbed.hasVideo && dubbed.hasAudio);
    dubbed = info("AudioDubEx(" + picture + ", " + picture + ")");
    QVERIFY(dubbed.hasVideo && !dubbed.hasAudio);
    const avs::ClipInfo trimmed = info("AudioDub(" + picture + ", WavSource(\"st.wav\")).AudioTrim(0.12, 0.28)");
    QCOMPARE(trimmed.frameCount, 4);  // frames 3..6 fill 0.12..0.28 s
    QCOMPARE(trimmed.sampleCount, 1280);
    const avs::ClipInfo between = info("AudioDub(" + picture + ", WavSource(\"st.wav\")).AudioTrim(0.11, 0.29)");
    QCOMPARE(between.frameCount, 6);  // frames 2..7 overlap 0.11..0.29 s
  }

  void conversionsMatchFfmpeg_data() {
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("type");
    QTest::newRow("8bit") << "ConvertAudioTo8bit" << "u8" << int(avs::SampleType::U8);
    QTest::newRow("32bit") << "ConvertAudioTo32bit" << "s32le" << int(avs::SampleType::S32);
    QTest::newRow("Float") << "ConvertAudioToFloat" << "f32le" << int(avs::SampleType::Float);
  }
  void conversionsMatchFfmpeg() {
    QFETCH(QString, function);
    QFETCH(QString, format);
    QFETCH(int, type);
    const QByteArray theirs = Ffmpeg("anull", function + ".raw", format);
    const avs::ClipPtr clip = EvaluateClip("WavSource(\"st.wav\")." + function + "()", media_.dir());
    QCOMPARE(int(clip->info().sampleType), type);
    QCOMPARE(SoundOf(clip), theirs);
  }

  void roundTripsAndNormalize() {
    const QByteArray original = SoundOf(EvaluateClip("WavSource(\"st.wav\")", media_.dir()));
    QCOMPARE(SoundOf(EvaluateClip("WavSource(\"st.wav\").ConvertAudioTo24bit().ConvertAudioToFloat()"
                                  ".ConvertAudioTo16bit()",
                                  media_.dir())),
             original);
    QCOMPARE(SoundOf(EvaluateClip("w = WavSource(\"st.wav\")\nMergeChannels(w.GetRightChannel(), "
                                  "w.GetLeftChannel()).GetChannel(2, 1)",
                                  media_.dir())),
             original);
    // The loudest sample (the left tone's 0.3) comes to the volume asked,
    // and the default volume is full scale.
    const auto peak = [&](const QString& script) {
      const QByteArray sound = SoundOf(EvaluateClip(script, media_.dir()));
      const auto* s = reinterpret_cast<const int16_t*>(sound.constData());
      int most = 0;
      for (qsizetype i = 0; i < sound.size() / 2; ++i) most = std::max(most, std::abs(int(s[i])));
      return most;
    };
    QVERIFY(std::abs(peak("WavSource(\"st.wav\").Normalize(0.5)") - 16384) <= 1);
    QVERIFY(peak("WavSource(\"st.wav\").Normalize()") >= 32766);
    // Amplify's saturation keeps integer samples within their range.
    QCOMPARE(peak("WavSource(\"st.wav\").Amplify(100)"), 32768);
  }

  void describesTheClip() {
    avs::ClipPtr clip = EvaluateClip("WavSource(\"st.wav\").AssumeSampleRate(4000)", media_.dir());
    QCOMPARE(clip->info().sampleRate, 4000);
    QCOMPARE(clip->info().sampleCount, 4000);
    QCOMPARE(SoundOf(clip), SoundOf(EvaluateClip("WavSource(\"st.wav\")", media_.dir())));
    clip = EvaluateClip("AudioDub(BlankClip(length=10, width=64, height=48), WavSource(\"st.wav\")).KillVideo()",
                        media_.dir());
    QVERIFY(!clip->info().hasVideo);
    QVERIFY(clip->info().hasAudio);
    clip = EvaluateClip("WavSource(\"st.wav\").SSRC(16000).EnsureVBRMP3Sync()", media_.dir());
    QCOMPARE(clip->info().sampleRate, 16000);
    QCOMPARE(clip->info().sampleCount, 8000);
  }

  // TimeStretch: tempo changes the length and keeps the pitch, pitch the
  // reverse, rate both; counted on a 1 kHz tone by rising zero crossings
  // over the middle of the result (the filter settles at the ends).
  void timeStretchLengthAndPitch_data() {
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("samples");
    QTest::addColumn<double>("frequency");
    QTest::newRow("tempo 200") << "TimeStretch(tempo=200)" << 24000 << 1000.0;
    QTest::newRow("tempo 50") << "TimeStretch(tempo=50)" << 96000 << 1000.0;
    QTest::newRow("tempo 25: several steps") << "TimeStretch(tempo=25)" << 192000 << 1000.0;
    QTest::newRow("rate 200") << "TimeStretch(rate=200)" << 24000 << 2000.0;
    QTest::newRow("rate 50 by position") << "TimeStretch(100, 50)" << 96000 << 500.0;
    QTest::newRow("pitch 200") << "TimeStretch(pitch=200)" << 48000 << 2000.0;
    QTest::newRow("pitch 50") << "TimeStretch(100, 100, 50)" << 48000 << 500.0;
    QTest::newRow("tempo 3/2 as a fraction") << "TimeStretch(tempo_n=3, tempo_d=2)" << 32000 << 1000.0;
    QTest::newRow("tempo and pitch") << "TimeStretch(tempo=200, pitch=150)" << 24000 << 1500.0;
  }
  void timeStretchLengthAndPitch() {
    QFETCH(QString, call);
    QFETCH(int, samples);
    QFETCH(double, frequency);
    const avs::ClipPtr clip = EvaluateClip("Tone(2, 1000, 24000, 2)." + call, media_.dir());
    const avs::ClipInfo& info = clip->info();
    QCOMPARE(info.sampleRate, 24000);
    QCOMPARE(info.channels, 2);
    QVERIFY(info.sampleType == avs::SampleType::Float);
    QCOMPARE(info.sampleCount, samples);
    std::vector<float> s(static_cast<std::size_t>(info.sampleCount * 2));
    avs::Reading reading;
    reading.Samples(*clip, s.data(), 0, info.sampleCount);
    const int64_t from = info.sampleCount / 4, to = info.sampleCount * 3 / 4;
    int crossings = 0;
    float peak = 0;
    for (int64_t n = from + 1; n < to; ++n) {
      if (s[2 * (n - 1)] < 0 && s[2 * n] >= 0) ++crossings;
      peak = std::max(peak, std::fabs(s[2 * n + 1]));
    }
    const double measured = crossings * 24000.0 / static_cast<double>(to - from);
    QVERIFY2(std::fabs(measured - frequency) < frequency * 0.03, qPrintable(QString::number(measured)));
    QVERIFY2(peak > 0.5f, qPrintable(QString::number(peak)));
  }

  // A read that starts in the middle restarts the filter before it: the
  // samples there keep the tone's pitch and level, and a second read of the
  // same place gives the same samples.
  void timeStretchReadFromTheMiddle() {
    const avs::ClipPtr clip = EvaluateClip("Tone(4, 1000, 24000, 1).TimeStretch(tempo=50)", media_.dir());
    std::vector<float> a(4800), b(4800);
    {
      avs::Reading reading;
      reading.Samples(*clip, a.data(), 100000, 4800);
    }
    {
      avs::Reading reading;
      std::vector<float> before(1000);
      reading.Samples(*clip, before.data(), 3000, 1000);
      reading.Samples(*clip, b.data(), 100000, 4800);
    }
    QCOMPARE(a, b);
    int crossings = 0;
    float peak = 0;
    for (std::size_t n = 1; n < a.size(); ++n) {
      if (a[n - 1] < 0 && a[n] >= 0) ++crossings;
      peak = std::max(peak, std::fabs(a[n]));
    }
    QVERIFY2(std::abs(crossings - 200) <= 3, qPrintable(QString::number(crossings)));
    QVERIFY2(peak > 0.9f, qPrintable(QString::number(peak)));
  }

  void timeStretchRefusals() {
    QVERIFY(EvaluationError("Tone(1).TimeStretch(tempo=0)", media_.dir()).contains("tempo must be"));
    QVERIFY(EvaluationError("Tone(1).TimeStretch(pitch=20000)", media_.dir()).contains("pitch must be"));
    QVERIFY(EvaluationError("Tone(1).TimeStretch(rate=50, rate_n=1)", media_.dir()).contains("not both"));
    QVERIFY(EvaluationError("Tone(1).TimeStretch(tempo_d=0)", media_.dir()).contains("tempo_d"));
    QVERIFY(EvaluationError("BlankClip(audio_rate=0).TimeStretch()", media_.dir()).contains("no sound"));
    // Nothing asked, nothing changed.
    const avs::ClipPtr plain = EvaluateClip("Tone(1)", media_.dir());
    QCOMPARE(EvaluateClip("Tone(1).TimeStretch()", media_.dir())->info().sampleCount, plain->info().sampleCount);
  }

  // SuperEQ's bands in decibels are superequalizer's gains, and its
  // output is superequalizer's moved 4095 samples earlier; a preset file
  // gives the same as its numbers.
  void superEqMatchesFfmpeg_data() {
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("filter");
    QTest::newRow("the first band") << "SuperEQ(6)" << "superequalizer=1b=1.995262";
    QTest::newRow("bands cut and raised") << "SuperEQ(0, 0, 0, -20, -20, 0, 0, 0, 0, 0, 3, 3, 3, 3, 0, 0, 10, 10)"
                                          << "superequalizer=4b=0.1:5b=0.1:11b=1.412538:12b=1.412538:13b=1.412538:"
                                             "14b=1.412538:17b=3.162278:18b=3.162278";
    QTest::newRow("a preset file") << "SuperEQ(\"bass.feq\")" << "superequalizer=1b=3.981072:2b=1.995262:4b=0.707946";
    QTest::newRow("a band silenced") << "SuperEQ(-200, -200)" << "superequalizer=1b=0:2b=0";
  }
  void superEqMatchesFfmpeg() {
    QFETCH(QString, call);
    QFETCH(QString, filter);
    const QString name = QString(QTest::currentDataTag()).replace(' ', '_') + ".f32";
    const QByteArray theirs = Ffmpeg(filter, name, "f32le", {"bands.wav"});
    QVERIFY(!theirs.isEmpty());
    const avs::ClipPtr clip = EvaluateClip("WavSource(\"bands.wav\")." + call, media_.dir());
    QCOMPARE(clip->info().sampleType, avs::SampleType::Float);
    const QByteArray ours = SoundOf(clip);
    QCOMPARE(ours.size(), theirs.size());
    const auto* x = reinterpret_cast<const float*>(ours.constData());
    const auto* y = reinterpret_cast<const float*>(theirs.constData());
    const qsizetype delay = 4095 * 2, count = ours.size() / 4;
    float most = 0, level = 0;
    for (qsizetype i = 0; i + delay < count; ++i) {
      most = std::max(most, std::fabs(x[i] - y[i + delay]));
      level = std::max(level, std::fabs(x[i]));
    }
    QVERIFY2(most < 1e-5f, qPrintable(QString::number(most)));
    QVERIFY(level > 0.01f);
  }

  // A read in the middle gives the samples a read from the start gives
  // there, and an integer sound is equalized in its own sample type.
  void superEqReadFromTheMiddle() {
    const avs::ClipPtr clip = EvaluateClip("WavSource(\"bands.wav\").SuperEQ(-6, 0, 4)", media_.dir());
    const QByteArray whole = SoundOf(clip);
    std::vector<float> part(2 * 3000);
    avs::Reading reading;
    reading.Samples(*clip, part.data(), 50000, 3000);
    const auto* all = reinterpret_cast<const float*>(whole.constData()) + 2 * 50000;
    float most = 0;
    for (std::size_t i = 0; i < part.size(); ++i) most = std::max(most, std::fabs(part[i] - all[i]));
    QVERIFY2(most < 1e-6f, qPrintable(QString::number(most)));
    const avs::ClipPtr integer = EvaluateClip("WavSource(\"st.wav\").SuperEQ(3)", media_.dir());
    QCOMPARE(integer->info().sampleType, avs::SampleType::S16);
    QCOMPARE(integer->info().sampleCount, EvaluateClip("WavSource(\"st.wav\")", media_.dir())->info().sampleCount);
  }

  void refusesBadArguments_data() {
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("message");
    QTest::newRow("channel 0") << "GetChannel(0)" << "GetChannel: the clip has no channel 0 (it has 2)";
    QTest::newRow("channel 3") << "GetChannel(1, 3)" << "the clip has no channel 3";
    QTest::newRow("right of mono") << "GetChannel(1).GetRightChannel()" << "no channel 2";
    QTest::newRow("no amount") << "Amplify()" << "needs an amount";
    QTest::newRow("rate 0") << "AssumeSampleRate(0)" << "out of range";
    QTest::newRow("rates differ") << "MixAudio(WavSource(\"st.wav\").SSRC(11025))" << "sample rates differ";
    QTest::newRow("channels differ") << "MixAudio(WavSource(\"mono.wav\"))" << "different numbers of channels";
    QTest::newRow("huge delay") << "DelayAudio(1000000000.0)" << "delay is out of range";
    QTest::newRow("no sound") << "BlankClip(length=10, width=64, height=48).KillAudio().Amplify(2)"
                              << "has no sound";
    QTest::newRow("MonoToStereo of stereo") << "MonoToStereo(WavSource(\"st.wav\"))" << "the left clip has 2 channels, not one";
    QTest::newRow("MonoToStereo of silence") << "GetLeftChannel().MonoToStereo(BlankClip(length=10, width=64, height=48, "
                                                "audio_rate=0))"
                                             << "the right clip has no sound";
    QTest::newRow("AudioTrim past the end") << "AudioTrim(0.6, 0)" << "no sound is left between";
    QTest::newRow("AudioTrim end before start") << "AudioTrim(0.3, end=0.1)" << "end lies before the start";
    QTest::newRow("AudioTrim end twice") << "AudioTrim(0.1, 0.2, length=0.1)" << "only one of the end";
    QTest::newRow("SuperEQ too loud") << "SuperEQ(0, 30)" << "band2 may rise by at most 26 dB";
    QTest::newRow("SuperEQ 19 bands") << "SuperEQ(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19)" << "has 18 bands, not 19";
    QTest::newRow("SuperEQ file and bands") << "SuperEQ(\"bass.feq\", 3)" << "a preset file or the bands' gains";
    QTest::newRow("SuperEQ word in a preset") << "SuperEQ(\"wrong.feq\")" << "wrong.feq, line 2: not a whole number";
    QTest::newRow("SuperEQ missing preset") << "SuperEQ(\"none.feq\")" << "cannot open";
    QTest::newRow("SuperEQ text band") << "SuperEQ(3, true)" << "band2 must be a number of decibels";
  }
  void refusesBadArguments() {
    QFETCH(QString, call);
    QFETCH(QString, message);
    const QString script = call.startsWith("BlankClip") ? call : "WavSource(\"st.wav\")." + call;
    const QString error = EvaluationError(script, media_.dir());
    QVERIFY2(error.contains(message) && error.startsWith("t.avs, line 1"), qPrintable(error));
  }
};

QTEST_GUILESS_MAIN(AudioFunctionsTest)
#include "tst_audio_functions.moc"
