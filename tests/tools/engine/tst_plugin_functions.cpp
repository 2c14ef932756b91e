// The plugin counterparts (tools/engine/plugins) frame for frame against
// ffmpeg running the libavfilter filters that compute them on the same
// frames; their frames read out of order; the plugin files LoadPlugin
// accepts; and their refusals of what libavfilter cannot do.
#include "media_fixture.h"
#include "tools/engine/reading.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

#include <QtTest>

#include <sys/stat.h>

#include <cmath>
#include <memory>

namespace {

// A DVD subtitle as the tests draw it: a box at (x, y) of the canvas, shown
// from startMs to endMs (none: until the next one), an opaque blue border
// around white and half-transparent red squares and transparent holes.
struct DvdSubtitle {
  int startMs, endMs, x, y, width, height;
};

// Writes name.sub (the subtitles encoded by libavcodec into an MPEG program
// stream of 2048-byte packs, as on a DVD) and name.idx (its index: canvas
// size, palette and each subtitle's time and pack); gives what failed, or
// nothing.
QString WriteVobSub(const MediaFolder& media, const QString& name, int canvasWidth, int canvasHeight,
                    const std::vector<DvdSubtitle>& subtitles) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_DVD_SUBTITLE);
  std::shared_ptr<AVCodecContext> encoder(avcodec_alloc_context3(codec), [](AVCodecContext* c) { avcodec_free_context(&c); });
  encoder->width = canvasWidth;
  encoder->height = canvasHeight;
  encoder->time_base = {1, 1000};
  av_opt_set(encoder->priv_data, "palette", "000000 ffffff ff0000 0000ff 0 0 0 0 0 0 0 0 0 0 0 0", 0);
  if (avcodec_open2(encoder.get(), codec, nullptr) < 0) return "cannot open the encoder";
  const std::string sub = media.path(name + ".sub").toStdString();
  AVFormatContext* opened = nullptr;
  if (avformat_alloc_output_context2(&opened, nullptr, "vob", sub.c_str()) < 0) return "cannot make the muxer";
  std::shared_ptr<AVFormatContext> out(opened, [](AVFormatContext* f) {
    avio_closep(&f->pb);
    avformat_free_context(f);
  });
  AVStream* stream = avformat_new_stream(out.get(), nullptr);
  avcodec_parameters_from_context(stream->codecpar, encoder.get());
  if (avio_open(&out->pb, sub.c_str(), AVIO_FLAG_WRITE) < 0 || avformat_write_header(out.get(), nullptr) < 0)
    return "cannot write " + QString::fromStdString(sub);
  static const uint32_t kColours[4] = {0x00000000, 0xFFFFFFFF, 0x80FF0000, 0xFF0000FF};
  for (const DvdSubtitle& s : subtitles) {
    std::vector<uint8_t> indices(static_cast<std::size_t>(s.width * s.height));
    for (int y = 0; y < s.height; ++y)
      for (int x = 0; x < s.width; ++x)
        indices[static_cast<std::size_t>(y * s.width + x)] =
            x < 3 || y < 3 || x >= s.width - 3 || y >= s.height - 3 ? 3 : (x / 6 + y / 6) % 2 ? 1 : y > s.height / 2 ? 2 : 0;
    AVSubtitleRect rect{};
    rect.type = SUBTITLE_BITMAP;
    rect.x = s.x, rect.y = s.y, rect.w = s.width, rect.h = s.height, rect.nb_colors = 4;
    rect.data[0] = indices.data();
    rect.linesize[0] = s.width;
    rect.data[1] = reinterpret_cast<uint8_t*>(const_cast<uint32_t*>(kColours));
    AVSubtitleRect* rects[] = {&rect};
    AVSubtitle subtitle{};
    subtitle.num_rects = 1;
    subtitle.rects = rects;
    subtitle.pts = int64_t{s.startMs} * 1000;
    subtitle.end_display_time = s.endMs > s.startMs ? static_cast<uint32_t>(s.endMs - s.startMs) : 0;
    std::vector<uint8_t> bytes(1 << 16);
    const int size = avcodec_encode_subtitle(encoder.get(), bytes.data(), static_cast<int>(bytes.size()), &subtitle);
    if (size <= 0) return "cannot encode a subtitle";
    std::shared_ptr<AVPacket> packet(av_packet_alloc(), [](AVPacket* p) { av_packet_free(&p); });
    if (av_new_packet(packet.get(), size) < 0) return "out of memory";
    std::copy_n(bytes.data(), size, packet->data);
    packet->pts = packet->dts = av_rescale_q(subtitle.pts, AV_TIME_BASE_Q, stream->time_base);
    if (av_interleaved_write_frame(out.get(), packet.get()) < 0) return "cannot write a subtitle";
  }
  if (av_write_trailer(out.get()) < 0) return "cannot finish " + QString::fromStdString(sub);
  out.reset();
  // The index: the encoder's header (canvas size and palette), then each
  // subtitle's time and the start of the pack that holds its packet.
  QString index = "# VobSub index file, v7\n" +
                  QString::fromLatin1(reinterpret_cast<const char*>(encoder->extradata), encoder->extradata_size) +
                  "\nid: en, index: 0\n";
  AVFormatContext* in = nullptr;
  if (avformat_open_input(&in, sub.c_str(), nullptr, nullptr) < 0) return "cannot read " + QString::fromStdString(sub);
  std::shared_ptr<AVFormatContext> reader(in, [](AVFormatContext* f) { avformat_close_input(&f); });
  std::shared_ptr<AVPacket> packet(av_packet_alloc(), [](AVPacket* p) { av_packet_free(&p); });
  for (const DvdSubtitle& s : subtitles) {
    if (av_read_frame(reader.get(), packet.get()) < 0) return "a subtitle packet is missing";
    index += QString::asprintf("timestamp: %02d:%02d:%02d:%03d, filepos: %09llx\n", s.startMs / 3600000,
                               s.startMs / 60000 % 60, s.startMs / 1000 % 60, s.startMs % 1000,
                               static_cast<unsigned long long>(packet->pos / 2048 * 2048));
    av_packet_unref(packet.get());
  }
  media.write(name + ".idx", index.toLatin1());
  return {};
}

// The PSNR of two pictures' bytes (1000 when they are equal).
double BytesPsnr(const QByteArray& a, const QByteArray& b) {
  double squares = 0;
  for (qsizetype i = 0; i < a.size(); ++i) {
    const double d = static_cast<uint8_t>(a[i]) - static_cast<uint8_t>(b[i]);
    squares += d * d;
  }
  return squares == 0 ? 1000 : 10 * std::log10(255.0 * 255.0 * static_cast<double>(a.size()) / squares);
}

}  // namespace

class PluginFunctionsTest : public QObject {
  Q_OBJECT

  MediaFolder media_;
  int outputs_ = 0;

  // ffmpeg's frames for `graph` on `inputs`, as raw pictures in `pixFmt`,
  // every frame the graph gives kept as it comes.
  QByteArray Ffmpeg(const QStringList& inputs, const QString& graph, const QString& pixFmt) {
    QStringList args;
    for (const QString& input : inputs) args << "-i" << input;
    const QString out = QString("expected-%1.raw").arg(++outputs_);
    args << "-filter_complex" << graph << "-fps_mode" << "passthrough" << "-pix_fmt" << pixFmt << "-f" << "rawvideo" << out;
    return media_.ffmpeg(args) ? media_.read(out) : QByteArray();
  }

 private slots:
  void initTestCase() {
    // Noisy pictures, so that denoisers and medians have work to do.
    for (int seed : {1, 2, 3})
      QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=96x64:r=25", "-vf",
                             QString("noise=alls=40:allf=t:all_seed=%1").arg(seed), "-frames:v", "9", "-c:v", "ffv1",
                             "-pix_fmt", "yuv420p", QString("noisy%1.avi").arg(seed)}));
    QVERIFY(media_.ffmpeg({"-i", "noisy1.avi", "-c:v", "rawvideo", "-pix_fmt", "bgr24", "rgb.avi"}));
    // 3:2 pulldown of a 23.976 fps clip: 42 frames, eight whole cycles of
    // five and two more, top field first.
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=160x120:r=24000/1001", "-vf",
                           "telecine=first_field=top:pattern=23", "-frames:v", "42", "-c:v", "ffv1", "-pix_fmt",
                           "yuv420p", "telecined.avi"}));
    // Fields of a fast pan woven into frames: combed whatever the match.
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=128x96:r=50", "-vf", "scroll=h=0.05,tinterlace=mode=interleave_top",
                           "-frames:v", "8", "-c:v", "ffv1", "-pix_fmt", "yuv420p", "panned.avi"}));
    // Interlaced frames woven from a 50 fps clip's fields, top field first.
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=128x96:r=50", "-vf", "tinterlace=mode=interleave_top",
                           "-frames:v", "8", "-c:v", "ffv1", "-pix_fmt", "yuv420p", "interlaced.avi"}));
    // MPEG-2 video as DVD projects index it: two files of 24000/1001 pictures.
    for (const auto& [name, frames] : {std::pair{"first.m2v", "8"}, std::pair{"second.m2v", "4"}})
      QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=96x64:r=24000/1001", "-frames:v", frames, "-c:v",
                             "mpeg2video", "-q:v", "4", "-f", "mpeg2video", name}));
    // A DVD title in two VOBs, with sound, as DVD rippers leave it.
    for (const auto& [name, start] : {std::pair{"VTS_01_1.VOB", "0"}, std::pair{"VTS_01_2.VOB", "1"}})
      QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", QString("testsrc2=s=96x64:r=25,trim=start=") + start + ",setpts=PTS-STARTPTS",
                             "-f", "lavfi", "-i", "sine=r=48000", "-frames:v", "10", "-shortest", "-c:v", "mpeg2video",
                             "-q:v", "4", "-c:a", "mp2", "-f", "vob", name}));
    // Subtitles over the noisy clip's 0.36 s: UTF-8, Windows-1251 and ASS.
    media_.write("subs.srt", "1\n00:00:00,000 --> 00:00:00,200\nFirst line\n\n2\n00:00:00,200 --> 00:00:01,000\n"
                             "Second <i>line</i>\n");
    media_.write("cyrillic.srt", "1\n00:00:00,000 --> 00:00:01,000\n\xcf\xf0\xe8\xe2\xe5\xf2\n");
    media_.write("styled.ass",
                 "[Script Info]\nScriptType: v4.00+\nPlayResX: 96\nPlayResY: 64\n\n[V4+ Styles]\n"
                 "Format: Name, Fontname, Fontsize, PrimaryColour, Bold, Alignment, MarginV\n"
                 "Style: Default,DejaVu Sans,14,&H0000FFFF,1,8,4\n\n[Events]\n"
                 "Format: Layer, Start, End, Style, Text\n"
                 "Dialogue: 0,0:00:00.08,0:00:00.30,Default,Top {\\i1}text{\\i0}\n");
    // DVD subtitles over a second of video in each 8-bit pixel type: on a
    // canvas of the video's size, on one twice as large, and pairs that are
    // not what they claim. The first subtitle starts between two frames:
    // ffmpeg shows one that starts on a frame only from the next frame on.
    QVERIFY(media_.pixelTypeSet({"-f", "lavfi", "-i", "testsrc2=s=160x120:r=25", "-frames:v", "25"}));
    QString made = WriteVobSub(media_, "dvd", 160, 120,
                               {{220, 520, 10, 70, 120, 36}, {600, 700, 41, 9, 60, 31}, {760, 900, 80, 40, 70, 70}});
    QVERIFY2(made.isEmpty(), qPrintable(made));
    made = WriteVobSub(media_, "large", 320, 240, {{120, 700, 30, 150, 250, 70}});
    QVERIFY2(made.isEmpty(), qPrintable(made));
    for (const char* name : {"lonely.idx", "fifo.idx", "damaged.idx"}) media_.write(name, media_.read("dvd.idx"));
    QCOMPARE(mkfifo(qPrintable(media_.path("fifo.sub")), 0600), 0);
    media_.write("damaged.sub", QByteArray(6000, '\x5a'));
    media_.write("text.idx", "Not an index\n");
    media_.write("text.sub", "Not subtitles\n");
  }

  // A DGIndex project of `files` (first.m2v and second.m2v unless named, in
  // folder `folder`, as Windows names them) whose pictures carry `flags`.
  QString Project(const QString& name, const QString& folder, int fieldOperation, const QString& rate,
                  const QStringList& flags, const QStringList& files = {"first.m2v", "second.m2v"}) {
    QString text = "DGIndexProjectFile16\r\n" + QString::number(files.size()) + "\r\n";
    for (const QString& file : files) text += folder + file + "\r\n";
    text += "\r\nStream_Type=0\r\nMPEG_Type=2\r\niDCT_Algorithm=6 (1:MMX 2:SSEMMX 3:SSE2MMX 4:FPU 5:REF 6:Skal 7:Simple)\r\n"
            "YUVRGB_Scale=1\r\nLuminance_Filter=0,0\r\nClipping=0,0,0,0\r\nAspect_Ratio=4:3\r\n"
            "Picture_Size=96x64\r\nField_Operation=" + QString::number(fieldOperation) + "\r\nFrame_Rate=" + rate +
            "\r\nLocation=0,0,1,0\r\n\r\n";
    // Groups of four pictures, the last line ending the stream.
    for (int i = 0; i < flags.size(); i += 4)
      text += QString("900 5 %1 0 0 0 0 ").arg(i < 8 ? 0 : 1) + flags.mid(i, 4).join(' ') +
              (i + 4 >= flags.size() ? " ff" : "") + "\r\n";
    text += "\r\nFINISHED  100.00% VIDEO\r\n";
    media_.write(name, text.toLatin1());
    return name;
  }

  void againstFfmpeg_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QString>("graph");
    QTest::addColumn<int>("frames");
    QTest::addColumn<QString>("pixFmt");
    const QStringList noisy{"noisy1.avi"};
    const QString src = "AviSource(\"noisy1.avi\")\n";
    auto row = [](const char* name, const QString& script, const QStringList& inputs, const QString& graph, int frames,
                  const QString& pixFmt = "yuv420p") { QTest::newRow(name) << script << inputs << graph << frames << pixFmt; };
    row("RemoveGrain default mode 2", src + "RemoveGrain()", noisy, "removegrain=m0=2:m1=2:m2=2", 9);
    row("RemoveGrain modes per plane", src + "RemoveGrain(17, 4, modeV=0)", noisy, "removegrain=m0=17:m1=4:m2=0", 9);
    row("RemoveGrain -1 keeps the chroma", src + "RemoveGrain(mode=20, modeU=-1)", noisy, "removegrain=m0=20:m1=0:m2=0", 9);
    // At the ends the clip's first and last frames stand for those beyond.
    row("TemporalMedian radius 1", src + "TemporalMedian()", noisy,
        "tpad=start=1:stop=1:start_mode=clone:stop_mode=clone,tmedian", 9);
    row("TemporalMedian radius 3 luma only", src + "TemporalMedian(radius=3, chroma=false)", noisy,
        "tpad=start=3:stop=3:start_mode=clone:stop_mode=clone,tmedian=radius=3:planes=1", 9);
    row("Clense", src + "Clense()", noisy, "tpad=start=1:stop=1:start_mode=clone:stop_mode=clone,tmedian", 9);
    row("Clense of the luma", src + "Clense(grey=true)", noisy,
        "tpad=start=1:stop=1:start_mode=clone:stop_mode=clone,tmedian=planes=1", 9);
    row("Median of three clips",
        "Median(AviSource(\"noisy1.avi\"), AviSource(\"noisy2.avi\"), AviSource(\"noisy3.avi\"))",
        {"noisy1.avi", "noisy2.avi", "noisy3.avi"}, "[0:v][1:v][2:v]xmedian=inputs=3", 9);
    row("Median without chroma",
        "Median(AviSource(\"noisy1.avi\"), AviSource(\"noisy2.avi\"), AviSource(\"noisy3.avi\"), chroma=false)",
        {"noisy1.avi", "noisy2.avi", "noisy3.avi"}, "[0:v][1:v][2:v]xmedian=inputs=3:planes=1", 9);
    row("MedianBlur default radius 2", src + "MedianBlur()", noisy, "median=radius=2", 9);
    row("MedianBlur radius per plane", src + "MedianBlur(3, 1, 0)", noisy, "median=radius=1:planes=2,median=radius=3:planes=1", 9);
    row("GaussianBlur luma", src + "GaussianBlur(varY=4)", noisy, "gblur=sigma=2:planes=1", 9);
    row("GaussianBlur all planes", src + "GaussianBlur(2.25, 1, Y=3, U=3, V=3)", noisy,
        "gblur=sigma=1.5:planes=1,gblur=sigma=1:planes=6", 9);
    row("hqdn3d defaults", src + "hqdn3d()", noisy, "hqdn3d", 9);
    row("hqdn3d luma strength alone", src + "hqdn3d(8)", noisy, "hqdn3d=8", 9);
    row("hqdn3d on the luma only", src + "hqdn3d(u=2, v=2)", noisy,
        "split[a][b];[a]hqdn3d[f];[f][b]mergeplanes=0x001112:yuv420p", 9);
    row("CAS", src + "CAS(0.8, u=3, v=3)", noisy, "cas=strength=0.8:planes=7", 9);
    row("Average of two clips", "Average(AviSource(\"noisy1.avi\"), 0.75, AviSource(\"noisy2.avi\"), 0.25)",
        {"noisy1.avi", "noisy2.avi"}, "[0:v][1:v]mix=inputs=2:weights=0.75 0.25:scale=1", 9);
    row("Yadif same rate", "AviSource(\"interlaced.avi\").AssumeTFF().Yadif()", {"interlaced.avi"},
        "yadif=mode=0:parity=tff", 8);
    row("Yadif double rate, order given", "AviSource(\"interlaced.avi\").Yadif(mode=1, order=1)", {"interlaced.avi"},
        "yadif=mode=1:parity=tff", 16);
    row("yadifmod2 double rate without spatial check", "AviSource(\"interlaced.avi\").AssumeTFF().yadifmod2(mode=3)",
        {"interlaced.avi"}, "yadif=mode=3:parity=tff", 16);
    row("yadifmod2 bottom field first", "AviSource(\"interlaced.avi\").yadifmod2(order=0)", {"interlaced.avi"},
        "yadif=parity=bff", 8);
    row("BWDIF in the clip's field order", "AviSource(\"interlaced.avi\").AssumeTFF().BWDIF()", {"interlaced.avi"},
        "bwdif=mode=0:parity=tff", 8);
    row("BWDIF double rate, bottom first", "AviSource(\"interlaced.avi\").BWDIF(field=2)", {"interlaced.avi"},
        "bwdif=mode=1:parity=bff", 16);
    // The inverse telecine as users write it: TFM's defaults are
    // fieldmatch's, and its PP deinterlaces what stays combed.
    row("TFM and TDecimate", "AviSource(\"telecined.avi\").AssumeTFF().TFM().TDecimate()", {"telecined.avi"},
        "fieldmatch=order=tff:combdbg=pcn,yadif=deint=interlaced:parity=tff,decimate", 34);
    row("CAS of RGB filters every plane", "AviSource(\"rgb.avi\").CAS(0.6)", {"rgb.avi"}, "cas=strength=0.6:planes=7", 9,
        "bgr24");
    row("TFM deinterlacing what stays combed", "AviSource(\"panned.avi\").TFM(order=1)", {"panned.avi"},
        "fieldmatch=order=tff:combdbg=pcn,yadif=deint=interlaced:parity=tff", 8);
    row("TFM without post-processing", "AviSource(\"telecined.avi\").TFM(order=1, PP=0, mode=0)", {"telecined.avi"},
        "fieldmatch=order=tff:mode=pc", 42);
    row("TextSub", src + "TextSub(\"subs.srt\")", noisy, "subtitles=subs.srt:original_size=96x64", 9);
    row("TextSubMod", src + "TextSubMod(\"subs.srt\")", noisy, "subtitles=subs.srt:original_size=96x64", 9);
    row("TextSub at the clip's own rate", src + "TextSub(\"subs.srt\", fps=FrameRate())", noisy,
        "subtitles=subs.srt:original_size=96x64", 9);
    row("TextSub at VSFilter's default rate", src + "TextSub(\"subs.srt\", fps=-1)", noisy,
        "subtitles=subs.srt:original_size=96x64", 9);
    row("TextSub in a Windows character set", src + "TextSub(\"cyrillic.srt\", 204)", noisy,
        "subtitles=cyrillic.srt:original_size=96x64:charenc=CP1251", 9);
    row("assrender of a styled file", src + "assrender(\"styled.ass\", hinting=0)", noisy,
        "subtitles=styled.ass:original_size=96x64", 9);
    const QStringList progressive(12, "d2");
    const QStringList pulldown = {"d2", "d3", "d0", "d1", "d2", "d3", "d0", "d1", "d2", "d3", "d0", "d1"};
    const QString both = "[0:v][1:v]concat=n=2";
    row("MPEG2Source of two files", "MPEG2Source(\"" + Project("plain.d2v", "", 2, "23976 (24000/1001)", progressive) + "\")",
        {"first.m2v", "second.m2v"}, both, 12);
    row("MPEG2Source of a project made on Windows",
        "MPEG2Source(\"" + Project("windows.d2v", "D:\\DVD\\VIDEO_TS\\", 0, "23976 (24000/1001)", progressive) + "\", cpu=4)",
        {"first.m2v", "second.m2v"}, both, 12);
    row("MPEG2Source honouring soft pulldown",
        "MPEG2Source(\"" + Project("pulldown.d2v", "", 0, "29970 (30000/1001)", pulldown) + "\")",
        {"first.m2v", "second.m2v"}, both + ",telecine=first_field=top:pattern=23", 15);
    row("MPEG2Source of a DVD title's VOBs",
        "MPEG2Source(\"" +
            Project("dvd.d2v", "D:\\DVD\\VIDEO_TS\\", 2, "25000 (25/1)", QStringList(20, "d2"),
                    {"VTS_01_1.VOB", "VTS_01_2.VOB"}) +
            "\")",
        {"VTS_01_1.VOB", "VTS_01_2.VOB"}, "[0:v][1:v]concat=n=2", 20);
    row("MPEG2Source forcing film", "MPEG2Source(\"" + Project("film.d2v", "", 1, "29970 (30000/1001)", pulldown) + "\")",
        {"first.m2v", "second.m2v"}, both, 12);
    row("TFM's field order from a project", "AviSource(\"telecined.avi\").TFM(d2v=\"plain.d2v\", PP=0)", {"telecined.avi"},
        "fieldmatch=order=tff", 42);
    row("TFM's order given over the project's",
        "AviSource(\"telecined.avi\").TFM(order=0, d2v=\"plain.d2v\", PP=1)", {"telecined.avi"},
        "fieldmatch=order=bff:combdbg=pcn", 42);
    row("LumaYV12", src + "LumaYV12(lumoff=-10, lumgain=0.9)", noisy, "lutyuv=y='clip(val*0.9-9.5,0,255)'", 9);
    row("TDecimate cycle 6 of a clean clip", src.left(src.size() - 1) + ".TDecimate(cycle=3, chroma=false)",
        noisy, "decimate=cycle=3:chroma=0", 6);
  }

  void againstFfmpeg() {
    QFETCH(QString, script);
    QFETCH(QStringList, inputs);
    QFETCH(QString, graph);
    QFETCH(int, frames);
    QFETCH(QString, pixFmt);
    const QByteArray theirs = Ffmpeg(inputs, graph, pixFmt);
    QVERIFY(!theirs.isEmpty());
    int64_t count = 0;
    QByteArray ours;
    try {
      ours = ScriptPictures(script, media_.dir(), &count);
    } catch (const avs::ScriptError& e) {
      QFAIL(e.what());
    }
    QCOMPARE(count, int64_t{frames});
    QCOMPARE(ours.size(), theirs.size());
    QVERIFY2(ours == theirs, "the frames differ from ffmpeg's");
  }

  // VobSub against ffmpeg overlaying the subtitle stream on the same video:
  // frames without a subtitle are the source's own, those with one within
  // `minPsnr` dB of ffmpeg's (RGB exactly; in YUV the two convert the
  // subtitles' colours and scale them in pieces of their own size, so the
  // edges differ a little).
  void vobSubAgainstFfmpeg_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("graph");
    QTest::addColumn<QString>("pixFmt");
    QTest::addColumn<double>("minPsnr");
    QTest::newRow("YV12, named without extension") << "yv12.avi" << "dvd" << "[0:v][1:s]overlay" << "yuv420p" << 45.0;
    QTest::newRow("YV24") << "yv24.avi" << "dvd.idx" << "[0:v][1:s]overlay=format=yuv444" << "yuv444p" << 45.0;
    QTest::newRow("YUY2, named by its .sub") << "yuy2.avi" << "dvd.sub" << "[0:v][1:s]overlay=format=yuv422" << "yuyv422"
                                            << 45.0;
    QTest::newRow("RGB32") << "rgb32.avi" << "dvd.idx" << "[0:v][1:s]overlay=format=rgb" << "bgra" << 1000.0;
    QTest::newRow("RGB24") << "rgb24.avi" << "dvd.idx" << "[0:v][1:s]overlay=format=rgb" << "bgr24" << 1000.0;
    // Y8 is limited-range luma, which ffmpeg's grey is not.
    QTest::newRow("Y8") << "y8.avi" << "dvd.idx"
                        << "[0:v]scale=in_range=tv:out_range=tv,format=yuv420p[v];[v][1:s]overlay,"
                           "scale=in_range=tv:out_range=tv,format=gray"
                        << "gray" << 45.0;
    QTest::newRow("canvas twice the picture's size") << "yv12.avi" << "large.idx"
                                                     << "[1:s]scale=160:120[s];[0:v][s]overlay" << "yuv420p" << 40.0;
  }

  void vobSubAgainstFfmpeg() {
    QFETCH(QString, source);
    QFETCH(QString, file);
    QFETCH(QString, graph);
    QFETCH(QString, pixFmt);
    QFETCH(double, minPsnr);
    const QByteArray theirs = Ffmpeg({source, file.endsWith(".idx") ? file : "dvd.idx"}, graph, pixFmt);
    QVERIFY(!theirs.isEmpty());
    const QString plainScript = "AviSource(\"" + source + "\")";
    QByteArray ours, plain;
    int64_t count = 0;
    try {
      ours = ScriptPictures(plainScript + ".VobSub(\"" + file + "\")", media_.dir(), &count);
      plain = ScriptPictures(plainScript, media_.dir());
    } catch (const avs::ScriptError& e) {
      QFAIL(e.what());
    }
    QCOMPARE(count, int64_t{25});
    QCOMPARE(ours.size(), theirs.size());
    const qsizetype frameBytes = ours.size() / count;
    int subtitled = 0;
    for (int64_t n = 0; n < count; ++n) {
      const QByteArray mine = ours.mid(n * frameBytes, frameBytes), expected = theirs.mid(n * frameBytes, frameBytes);
      const QByteArray original = plain.mid(n * frameBytes, frameBytes);
      const QString where = QString("frame %1").arg(n);
      if (BytesPsnr(expected, original) > 60) {
        QVERIFY2(mine == original, qPrintable(where + " shows a subtitle that ffmpeg does not"));
        continue;
      }
      ++subtitled;
      QVERIFY2(mine != original, qPrintable(where + " lacks its subtitle"));
      const double psnr = BytesPsnr(mine, expected);
      QVERIFY2(psnr >= minPsnr, qPrintable(where + QString(": %1 dB").arg(psnr)));
    }
    QVERIFY(subtitled >= 10);
  }

  // Frames asked for in any order are those of a reading from the start:
  // the graphs that drop or add frames restart at their cycles.
  void outOfOrder_data() {
    QTest::addColumn<QString>("script");
    QTest::newRow("TFM and TDecimate") << "AviSource(\"telecined.avi\").AssumeTFF().TFM().TDecimate()";
    QTest::newRow("Yadif double rate") << "AviSource(\"interlaced.avi\").Yadif(mode=1, order=1)";
    QTest::newRow("TemporalMedian") << "AviSource(\"noisy1.avi\").TemporalMedian(radius=2)";
    QTest::newRow("VobSub") << "AviSource(\"yv12.avi\").VobSub(\"dvd\")";
    QTest::newRow("TDecimate with clip2")
        << "a = AviSource(\"telecined.avi\")\nTDecimate(a.Blur(1), clip2=a)";
  }

  void outOfOrder() {
    QFETCH(QString, script);
    avs::ClipPtr clip = EvaluateClip(script, media_.dir());
    const int64_t count = clip->info().frameCount;
    std::vector<QByteArray> inOrder;
    {
      avs::Reading reading;
      for (int64_t n = 0; n < count; ++n) inOrder.push_back(PictureBytes(*reading.Frame(*clip, n)));
    }
    avs::Reading reading;
    for (int64_t n = count - 1; n >= 0; n -= 3) QVERIFY2(PictureBytes(*reading.Frame(*clip, n)) == inOrder[n], qPrintable(QString::number(n)));
    for (int64_t n : {int64_t{5}, int64_t{0}, count - 1, count / 2, int64_t{1}})
      QVERIFY2(PictureBytes(*reading.Frame(*clip, n)) == inOrder[n], qPrintable(QString::number(n)));
  }

  // TFM's clip2 gives the frames that stay combed after matching (which
  // fieldmatch marks as interlaced), the others are the matched frames.
  void tfmTakesCombedFramesFromClip2() {
    const QString source = "AviSource(\"panned.avi\")\n";
    avs::ClipPtr matched = EvaluateClip(source + "TFM(order=1, PP=1)", media_.dir());
    avs::ClipPtr blank = EvaluateClip(source + "BlankClip(last, color_yuv=$108080)", media_.dir());
    avs::ClipPtr mixed = EvaluateClip(source + "TFM(order=1, PP=2, clip2=BlankClip(last, color_yuv=$108080))", media_.dir());
    avs::Reading reading;
    int combed = 0;
    for (int64_t n = 0; n < matched->info().frameCount; ++n) {
      const avs::FrameRef frame = reading.Frame(*matched, n);
      const bool fromClip2 = frame->interlaced_frame;
      combed += fromClip2;
      QCOMPARE(PictureBytes(*reading.Frame(*mixed, n)), PictureBytes(fromClip2 ? *reading.Frame(*blank, n) : *frame));
    }
    QVERIFY(combed > 0);
  }

  // Frame counts and rates as the plugins document them.
  void clipInfo_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("num");
    QTest::addColumn<int>("den");
    QTest::newRow("TDecimate of NTSC video") << "AviSource(\"telecined.avi\").TDecimate()" << 34 << 24000 << 1001;
    QTest::newRow("TDecimate cycle 2 of 25 fps") << "AviSource(\"noisy1.avi\").TDecimate(cycle=2)" << 5 << 25 << 2;
    QTest::newRow("Yadif mode 3 of 25 fps") << "AviSource(\"noisy1.avi\").Yadif(mode=3)" << 18 << 50 << 1;
    QTest::newRow("BWDIF double rate of 25 fps") << "AviSource(\"noisy1.avi\").BWDIF(3)" << 18 << 50 << 1;
    QTest::newRow("yadifmod2 of NTSC video") << "AviSource(\"telecined.avi\").yadifmod2(mode=1)" << 84 << 60000 << 1001;
    QTest::newRow("TFM keeps every frame") << "AviSource(\"telecined.avi\").TFM()" << 42 << 30000 << 1001;
    QTest::newRow("MPEG2Source forced film")
        << "MPEG2Source(\"" + Project("film-info.d2v", "", 1, "29970 (30000/1001)", QStringList(12, "d3")) + "\")" << 12
        << 24000 << 1001;
    QTest::newRow("MPEG2Source up to 4:2:2")
        << "c = MPEG2Source(\"" + Project("yuy2.d2v", "", 2, "25000 (25/1)", QStringList(12, "d2")) + "\", upConv=true)\n"
           "c.IsYUY2() ? c : BlankClip()" << 12 << 25 << 1;
    QTest::newRow("MPEG2Source raw pictures")
        << "MPEG2Source(\"" + Project("raw-info.d2v", "", 2, "25000 (25/1)", QStringList(12, "d3")) + "\")" << 12 << 25 << 1;
  }

  void clipInfo() {
    QFETCH(QString, script);
    QFETCH(int, frames);
    QFETCH(int, num);
    QFETCH(int, den);
    avs::ClipPtr clip;
    try {
      clip = EvaluateClip(script, media_.dir());
    } catch (const avs::ScriptError& e) {
      QFAIL(e.what());
    }
    QCOMPARE(clip->info().frameCount, int64_t{frames});
    QCOMPARE(clip->info().fps.num, int64_t{num});
    QCOMPARE(clip->info().fps.den, int64_t{den});
  }

  void loadPlugin_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("Windows path") << "C:\\\\Program Files (x86)\\\\AviSynth\\\\plugins\\\\TIVTC.dll" << true;
    QTest::newRow("64-bit build") << "RgTools64.dll" << true;
    QTest::newRow("x64 suffix") << "D:/tools/yadifmod2_x64.dll" << true;
    QTest::newRow("Linux library") << "/usr/lib/avisynth/libtivtc.so" << true;
    QTest::newRow("letter case") << "MEDIANBLUR2.DLL" << true;
    QTest::newRow("VSFilterMod") << "C:/AviSynth/plugins64/VSFilterMod.dll" << true;
    QTest::newRow("no counterpart") << "nnedi3.dll" << false;
    QTest::newRow("MaskTools") << "C:\\\\plugins\\\\masktools2.dll" << false;
    QTest::newRow("name that only starts like one") << "tivtcx.dll" << false;
    QTest::newRow("empty") << "" << false;
  }

  void loadPlugin() {
    QFETCH(QString, file);
    QFETCH(bool, accepted);
    const QString error = EvaluationError("LoadPlugin(\"" + file + "\")\nBlankClip(length=2)", media_.dir());
    if (accepted) QCOMPARE(error, QString("no error"));
    else QVERIFY2(error.contains("plugins cannot be loaded here"), qPrintable(error));
  }

  void refusals_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    const QString src = "AviSource(\"noisy1.avi\")\n";
    const QString tc = "AviSource(\"telecined.avi\")\n";
    QTest::newRow("yadifmod2 with edeint") << src + "yadifmod2(edeint=last)" << "edeint is not taken here";
    QTest::newRow("yadifmod2 keeping the second field") << src + "yadifmod2(order=1, field=0)" << "field=0 keeps";
    QTest::newRow("Yadif mode 4") << src + "Yadif(mode=4)" << "mode must be from 0 to 3, not 4";
    QTest::newRow("BWDIF field 4") << src + "BWDIF(4)" << "field must be from -1 to 3, not 4";
    QTest::newRow("BWDIF with edeint") << src + "BWDIF(edeint=last)" << "edeint is not taken here";
    QTest::newRow("Yadif order 2") << src + "Yadif(order=2)" << "order must be -1";
    QTest::newRow("Yadif on fields") << src + "SeparateFields().Yadif()" << "not separated fields";
    QTest::newRow("TFM overrides file") << tc + "TFM(ovr=\"tfm.txt\")" << "ovr is not taken here";
    QTest::newRow("TFM of a missing project") << tc + "TFM(d2v=\"none.d2v\")" << "cannot open the project";
    QTest::newRow("TFM mode 7") << tc + "TFM(mode=7)" << "mode=7 has no counterpart";
    QTest::newRow("TFM clip2 of another size") << tc + "TFM(clip2=BilinearResize(80, 60))" << "clip2 differs from the clip";
    QTest::newRow("TFM blockx not a power of 2") << tc + "TFM(blockx=24)" << "blockx must be a power of 2";
    QTest::newRow("TFM of RGB") << tc + "ConvertToRGB32().TFM()" << "needs YUV pictures";
    QTest::newRow("TDecimate of fields") << tc + "SeparateFields().TDecimate()" << "not separated fields";
    QTest::newRow("MPEG2Source upConv as a string")
        << "MPEG2Source(\"" + Project("upconv-text.d2v", "", 2, "25000 (25/1)", QStringList(12, "d2")) + "\", upConv=\"yes\")"
        << "upConv must be an int or a bool, not a string";
    QTest::newRow("LumaYV12 gain 3") << src + "LumaYV12(lumgain=3)" << "lumgain must be from 0 to 2, not 3";
    QTest::newRow("MPEG2Source upConv 3")
        << "MPEG2Source(\"" + Project("upconv.d2v", "", 2, "25000 (25/1)", QStringList(12, "d2")) + "\", upConv=3)"
        << "upConv must be from 0 to 2";
    QTest::newRow("TDecimate mode 2") << tc + "TDecimate(mode=2, rate=23.976)" << "mode=2 has no counterpart";
    QTest::newRow("TDecimate cycleR 2") << tc + "TDecimate(cycleR=2, cycle=10)" << "cycleR=2 is not taken";
    QTest::newRow("TDecimate hybrid") << tc + "TDecimate(hybrid=1)" << "hybrid=1 is not taken";
    QTest::newRow("TDecimate cycle 1") << tc + "TDecimate(cycle=1)" << "cycle must be from 2 to 25";
    QTest::newRow("TDecimate clip2 of another length") << tc + "TDecimate(clip2=Trim(0, 9))" << "clip2 has 10 frames";
    QTest::newRow("RemoveGrain mode 25") << src + "RemoveGrain(25)" << "mode must be from -1 to 24, not 25";
    QTest::newRow("Median of two clips") << "Median(BlankClip(), BlankClip())" << "odd number of clips from 3 to 25, not 2";
    QTest::newRow("Median of clips of two sizes")
        << "Median(BlankClip(), BlankClip(), BlankClip(width=320))" << "clip 3 differs from clip 1";
    QTest::newRow("Median sync") << "b = BlankClip()\nMedian(b, b, b, sync=2)" << "sync is not taken here";
    QTest::newRow("Clense of other clips") << src + "Clense(previous=last)" << "previous is not taken here";
    QTest::newRow("Clense reducing flicker") << src + "Clense(reduceflicker=true)" << "reduceflicker=true is not taken";
    QTest::newRow("TemporalMedian radius 0") << src + "TemporalMedian(0)" << "radius must be from 1 to 12";
    QTest::newRow("MedianBlur negative radius") << src + "MedianBlur(-1)" << "radiusy must be from 0 to 127";
    QTest::newRow("GaussianBlur filling a plane") << src + "GaussianBlur(Y=-128)" << "Y=-128 is not taken here";
    QTest::newRow("CAS too sharp") << src + "CAS(1.5)" << "sharpness must be from 0 to 1, not 1.5";
    QTest::newRow("hqdn3d negative strength") << src + "hqdn3d(-1)" << "ls must be from 0 to 255";
    QTest::newRow("hqdn3d keeping a plane of YUY2") << src + "ConvertToYUY2().hqdn3d(y=2)" << "planar YUV pictures only";
    QTest::newRow("Average without the last weight") << "Average(BlankClip(), 1, BlankClip())" << "the last weight is missing";
    QTest::newRow("Average weight first") << "Average(BlankClip(), 1, 0.5, BlankClip())" << "must be clip 2";
    QTest::newRow("QTGMC") << src + "QTGMC(Preset=\"Slow\")" << "QTGMC comes from a plugin";
    QTest::newRow("AddGrain") << src + "AddGrain(10)" << "AddGrain comes from a plugin";
    QTest::newRow("MultiDecimate") << src + "MultiDecimate()" << "MultiDecimate comes from a plugin";
    QTest::newRow("hshear") << src + "hshear(10)" << "hshear comes from a plugin";
    QTest::newRow("nnedi3 file") << "LoadPlugin(\"nnedi3.dll\")" << "cannot load nnedi3.dll";
    QTest::newRow("MPEG2Source of a missing project") << "MPEG2Source(\"none.d2v\")" << "cannot open the project";
    QTest::newRow("MPEG2Source of another file") << "MPEG2Source(\"noisy1.avi\")" << "is not a DGIndex project";
    QTest::newRow("MPEG2Source of a project with pictures missing")
        << "MPEG2Source(\"" + Project("short.d2v", "", 2, "25000 (25/1)", QStringList(8, "d2")) + "\")"
        << "lists 8 pictures where its files hold 12";
    QTest::newRow("VobSub of a missing pair") << src + "VobSub(\"movie.idx\")" << "movie.idx: No such file";
    QTest::newRow("VobSub without its .sub") << src + "VobSub(\"lonely\")" << "lonely.sub: No such file";
    QTest::newRow("VobSub of a FIFO") << src + "VobSub(\"fifo.idx\")" << "fifo.sub is not a file";
    QTest::newRow("VobSub of a text file") << src + "VobSub(\"text.idx\")" << "text.idx lists no subtitles";
    QTest::newRow("VobSub of a damaged .sub") << src + "VobSub(\"damaged\")"
                                              << "no subtitles could be read from";
    QTest::newRow("VobSub of 10-bit pictures") << src + "ConvertBits(10).VobSub(\"dvd\")" << "10-bit pictures are not";
    QTest::newRow("TextSub of a missing file") << src + "TextSub(\"missing.ass\")" << "cannot open the subtitles";
    QTest::newRow("TextSub charset unknown") << src + "TextSub(\"subs.srt\", 7)" << "charset 7 is not";
    QTest::newRow("TextSub at another rate") << src + "TextSub(\"subs.srt\", fps=30)" << "fps 30.000000 is not taken here";
    QTest::newRow("assrender margins") << src + "assrender(\"subs.srt\", top=10)" << "top is not taken here";
    QTest::newRow("assrender frame size") << src + "assrender(\"subs.srt\", frame_width=1920)" << "frame_width is not taken";
    QTest::newRow("assrender storage size") << src + "assrender(\"subs.srt\", set_default_storage_size=false)"
                                            << "set_default_storage_size=false is not taken";
  }

  void refusals() {
    QFETCH(QString, script);
    QFETCH(QString, message);
    const QString error = EvaluationError(script, media_.dir());
    QVERIFY2(error.contains(message), qPrintable(error));
  }
};

QTEST_GUILESS_MAIN(PluginFunctionsTest)
#include "tst_plugin_functions.moc"
