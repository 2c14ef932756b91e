// Colour functions frame for frame against ffmpeg's filters computing the
// same thing (lut, negate, hue, convolution, scale), their defaults and
// argument orders, and their refusals of bad arguments.
#include "media_fixture.h"
#include "tools/engine/reading.h"

#include <QtEndian>
#include <QtTest>

#include <cmath>

extern "C" {
#include <libavutil/pixdesc.h>
}

class ColourFunctionsTest : public QObject {
  Q_OBJECT

  MediaFolder media_;
  static constexpr int kFrames = 3;

  struct Difference {
    int most = -1;      // the largest difference of a sample; -1 for pictures of other sizes
    double psnr = 0;    // 1000 for identical pictures
  };
  // How the script's frames differ from ffmpeg's output for `filter` on
  // `source`, in `pixFmt`.
  Difference Compare(const QString& script, const QString& source, const QString& filter, const QString& pixFmt) {
    const QString expected = QString("expected-%1.raw").arg(++outputs_);
    if (!media_.ffmpeg({"-i", source, "-vf", filter, "-frames:v", QString::number(kFrames), "-pix_fmt", pixFmt, "-f",
                        "rawvideo", expected}))
      return {};
    const QByteArray theirs = media_.read(expected);
    avs::ClipPtr clip = EvaluateClip(script, media_.dir());
    avs::Reading reading;
    QByteArray ours;
    for (int64_t n = 0; n < kFrames; ++n) ours += PictureBytes(*reading.Frame(*clip, n));
    if (ours.size() != theirs.size()) {
      qWarning("%lld bytes against ffmpeg's %lld", static_cast<long long>(ours.size()),
               static_cast<long long>(theirs.size()));
      return {};
    }
    // Deeper formats are compared in their own units, 16-bit words.
    const int depth = av_pix_fmt_desc_get(av_get_pix_fmt(qPrintable(pixFmt)))->comp[0].depth;
    const int size = depth > 8 ? 2 : 1;
    auto sample = [size](const QByteArray& bytes, qsizetype i) {
      return size == 1 ? static_cast<uint8_t>(bytes[i]) : qFromLittleEndian<quint16>(bytes.constData() + 2 * i);
    };
    Difference d{0, 1000};
    double squares = 0;
    for (qsizetype i = 0; i < ours.size() / size; ++i) {
      const int e = std::abs(sample(ours, i) - sample(theirs, i));
      d.most = std::max(d.most, e);
      squares += static_cast<double>(e) * e;
    }
    const double peak = (1 << depth) - 1;
    if (squares > 0) d.psnr = 10 * std::log10(peak * peak * static_cast<double>(ours.size() / size) / squares);
    return d;
  }
  int outputs_ = 0;

  // A sample of frame n of a script's clip: plane 0, at x, y.
  int Sample(const QString& script, int64_t n, int x, int y) {
    avs::ClipPtr clip = EvaluateClip(script, media_.dir());
    avs::Reading reading;
    const avs::FrameRef frame = reading.Frame(*clip, n);
    return frame->data[0][y * frame->linesize[0] + x];
  }

  // A one-frame YV24 clip of one colour, as a script's source.
  QString Flat(int y, int u, int v) {
    const QString name = QString("flat-%1-%2-%3.avi").arg(y).arg(u).arg(v);
    if (!media_.ffmpeg({"-f", "lavfi", "-i", "color=c=black:s=64x48:r=25", "-vf",
                        QString("format=yuv444p,geq=lum=%1:cb=%2:cr=%3").arg(y).arg(u).arg(v), "-frames:v", "1",
                        "-c:v", "ffv1", name}))
      return "the source could not be made";
    return "AviSource(\"" + name + "\")";
  }

 private slots:
  void initTestCase() {
    const QStringList source = {"-f", "lavfi", "-i", "testsrc2=s=96x64:r=25", "-frames:v", "3"};
    QVERIFY(media_.pixelTypeSet(source));
    QVERIFY(media_.ffmpeg(source + QStringList{"-c:v", "ffv1", "-pix_fmt", "yuv420p10le", "yuv420p10.avi"}));
    QVERIFY(media_.ffmpeg(source + QStringList{"-c:v", "ffv1", "-pix_fmt", "yuv444p16le", "yuv444p16.avi"}));
    QVERIFY(media_.ffmpeg(source + QStringList{"-c:v", "ffv1", "-pix_fmt", "gbrp12le", "gbrp12.avi"}));
    QVERIFY(media_.ffmpeg(source + QStringList{"-c:v", "ffv1", "-pix_fmt", "gray16le", "y16.avi"}));
    // A luma ramp rising 2 a pixel from 20, for sub-pixel windows.
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "color=c=gray:s=64x16:r=25", "-vf", "format=gray,geq=lum='20+2*X'",
                           "-frames:v", "2", "-c:v", "rawvideo", "-pix_fmt", "gray", "ramp.avi"}));
  }

  void matchesFfmpeg_data() {
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("pixFmt");
    QTest::addColumn<int>("tolerance");
    QTest::addColumn<double>("psnr");
    auto row = [](const char* name, const char* call, const char* source, const QString& filter, const char* pixFmt,
                  int tolerance, double psnr = 0) {
      QTest::newRow(name) << call << source << filter << pixFmt << tolerance << psnr;
    };
    // Levels: the transfer on luma, chroma scaled about 128 by the ratio of
    // the ranges; coring clamps to 16..235 and works on luma stretched to
    // full range.
    row("Levels without coring", "Levels(10, 1.6, 230, 0, 255, coring=false)", "yv12.avi",
        "lutyuv=y='round(pow(clip((val-10)/220,0,1),1/1.6)*255)':u='clip(round((val-128)*255/220+128),0,255)':"
        "v='clip(round((val-128)*255/220+128),0,255)'",
        "yuv420p", 0);
    row("Levels with coring (the default)", "Levels(0, 1.3, 255, 0, 255)", "yv12.avi",
        "lutyuv=y='round(pow((clip(val,16,235)-16)/219,1/1.3)*219+16)':u='clip(val,16,240)':v='clip(val,16,240)'",
        "yuv420p", 0);
    row("Levels on RGB", "Levels(20, 0.8, 200, 10, 250)", "rgb24.avi",
        "format=rgb24,lutrgb=r='round(pow(clip((val-20)/180,0,1),1/0.8)*240+10)':"
        "g='round(pow(clip((val-20)/180,0,1),1/0.8)*240+10)':b='round(pow(clip((val-20)/180,0,1),1/0.8)*240+10)'",
        "bgr24", 0);
    row("Invert of RGB24", "Invert()", "rgb24.avi", "negate", "bgr24", 0);
    row("Invert of one channel", "Invert(\"g\")", "rgb32.avi", "format=bgra,lutrgb=g=negval", "bgra", 0);
    row("Invert of luma only", "Invert(channels=\"Y\")", "yv12.avi", "negate=components=y", "yuv420p", 0);
    row("Greyscale of YUV", "Greyscale()", "yv12.avi", "lutyuv=u=128:v=128", "yuv420p", 0);
    row("Greyscale of RGB, Rec601", "Greyscale()", "rgb24.avi",
        "colorchannelmixer=.299:.587:.114:0:.299:.587:.114:0:.299:.587:.114", "bgr24", 1);
    row("Grayscale of RGB, Rec709", "Grayscale(\"Rec709\")", "rgb32.avi",
        "colorchannelmixer=.2126:.7152:.0722:0:.2126:.7152:.0722:0:.2126:.7152:.0722", "bgra", 1);
    row("Tweak hue and saturation", "Tweak(hue=30, sat=1.5, coring=false)", "yv12.avi", "hue=h=30:s=1.5", "yuv420p",
        1);
    row("Tweak turns hue the other way for negative angles", "Tweak(-40, coring=false)", "yv12.avi", "hue=h=-40",
        "yuv420p", 1);
    row("Tweak brightness and contrast about 16", "Tweak(0, 1, 20, 1.2)", "yv12.avi",
        "lutyuv=y='clip(round((val-16)*1.2+36),16,235)':u='clip(val,16,240)':v='clip(val,16,240)'", "yuv420p", 0);
    row("RGBAdjust gains, biases and gammas in order", "RGBAdjust(1.2, 0.9, 1, 1, 10, -5, 0, 0, 1.1, 1, 0.8)",
        "rgb24.avi",
        "format=rgb24,lutrgb=r='round(pow(clip(val*1.2+10,0,255)/255,1/1.1)*255)':g='clip(round(val*0.9-5),0,255)':"
        "b='round(pow(val/255,1/0.8)*255)'",
        "bgr24", 0);
    row("ColorYUV gain, offset and contrast", "ColorYUV(gain_y=64, off_y=-16, cont_u=51.2)", "yv12.avi",
        "lutyuv=y='clip(round(val*1.25-16),0,255)':u='clip(round((val-128)*1.2+128),0,255)'", "yuv420p", 0);
    row("ColorYUV factors with f2c", "ColorYUV(gain_y=1.25, cont_v=0.5, f2c=true)", "yv12.avi",
        "lutyuv=y='clip(round(val*1.25),0,255)':v='round((val-128)*0.5+128)'", "yuv420p", 0);
    row("ColorYUV TV->PC", "ColorYUV(levels=\"TV->PC\")", "yv12.avi",
        "lutyuv=y='clip(round((val-16)*255/219),0,255)':u='clip(round((val-128)*255/224+128),0,255)':"
        "v='clip(round((val-128)*255/224+128),0,255)'",
        "yuv420p", 0);
    row("ColorYUV gamma on TV range with coring", "ColorYUV(gamma_y=128, opt=\"coring\")", "yv12.avi",
        "lutyuv=y='round(16+219*pow(clip((val-16)/219,0,1),1/1.5))':u='clip(val,16,240)':v='clip(val,16,240)'",
        "yuv420p", 0);
    row("ConvertBits from full to limited range", "ConvertBits(8, fulls=true, fulld=false)", "yv12.avi",
        "lutyuv=y='round(val*219/255+16)':u='round((val-128)*112/127+128)':v='round((val-128)*112/127+128)'",
        "yuv420p", 0);
    // Blur and Sharpen inside the picture: ffmpeg treats the edges its own way.
    const auto onEveryPlane = [](const char* kernel, const char* divisor) {
      QString filter = "convolution=";
      for (int plane = 0; plane < 3; ++plane)
        filter += QString("%1%2m='%3':%2rdiv=%4").arg(plane ? ":" : "").arg(plane).arg(kernel).arg(divisor);
      return filter + ",crop=88:56:4:4";
    };
    row("Blur(1) is a 1-2-1 kernel both ways", "Blur(1).Crop(4, 4, -4, -4)", "yv12.avi",
        onEveryPlane("1 2 1 2 4 2 1 2 1", "1/16"), "yuv420p", 0);
    row("Blur down only", "Blur(0, 1).Crop(4, 4, -4, -4)", "rgb24.avi",
        "format=gbrp," + onEveryPlane("0 1 0 0 2 0 0 1 0", "1/4"), "bgr24", 0);
    row("Sharpen(1) is Blur(-1)", "Sharpen(1).Crop(4, 4, -4, -4)", "yv12.avi",
        onEveryPlane("1 -4 1 -4 16 -4 1 -4 1", "1/4"), "yuv420p", 0);
    // Conversions: the matrix before interlaced for RGB targets, MPEG2
    // chroma placement and a bicubic with b = c = 1/3 by default. (swscale
    // rounds chroma a few levels apart in libavfilter's context; the other
    // placement would differ by tens.)
    row("ConvertToRGB24 takes the matrix first", "ConvertToRGB24(\"Rec709\")", "yv12.avi",
        "scale=flags=bicubic:param0=0.333333:param1=0.333333:in_color_matrix=bt709:in_range=tv:in_h_chr_pos=0:"
        "in_v_chr_pos=128",
        "bgr24", 1);
    row("ConvertToYV12 places chroma as MPEG2", "ConvertToYV12(false, \"Rec601\")", "yv24.avi",
        "scale=flags=bicubic:param0=0.333333:param1=0.333333:out_h_chr_pos=0:out_v_chr_pos=128", "yuv420p", 6);
    row("ConvertToYUV420 places chroma as asked", "ConvertToYUV420(ChromaOutPlacement=\"MPEG1\")", "yv24.avi",
        "scale=flags=bicubic:param0=0.333333:param1=0.333333:out_h_chr_pos=128:out_v_chr_pos=128", "yuv420p", 6);
    row("ConvertToYV24 with a point chroma resampler", "ConvertToYV24(chromaresample=\"point\")", "yv12.avi",
        "scale=flags=neighbor:in_h_chr_pos=0:in_v_chr_pos=128", "yuv444p", 0);
    row("ConvertToYUY2 of interlaced YV12 keeps the fields' chroma apart", "ConvertToYUY2(interlaced=true)",
        "yv12.avi", "scale=interl=1:flags=bicubic:param0=0.333333:param1=0.333333:in_h_chr_pos=0:out_h_chr_pos=0",
        "yuyv422", 1);
    // Deeper pictures: the same conversions keep the source's depth, or
    // take the one asked for.
    row("ConvertToYUV444 of 10-bit 4:2:0", "ConvertToYUV444(chromaresample=\"point\")", "yuv420p10.avi",
        "scale=flags=neighbor:in_h_chr_pos=0:in_v_chr_pos=128", "yuv444p10le", 0);
    row("ConvertToRGB64 of 16-bit 4:4:4", "ConvertToRGB64(\"Rec709\")", "yuv444p16.avi",
        "scale=flags=bicubic:in_color_matrix=bt709:in_range=tv,format=bgra64le", "bgra64le", 2);
    row("ConvertToPlanarRGB of 16-bit 4:4:4", "ConvertToPlanarRGB()", "yuv444p16.avi",
        "scale=flags=bicubic:in_range=tv", "gbrp16le", 2);
    row("ConvertToYUV420 of 12-bit RGB to 8 bits", "ConvertToYUV420(bits=8)", "gbrp12.avi",
        "scale=flags=bicubic:param0=0.333333:param1=0.333333:out_range=tv:out_h_chr_pos=0:out_v_chr_pos=128",
        "yuv420p", 6);
    // Grey is the luma plane, as it is.
    row("ConvertToY of 10-bit", "ConvertToY()", "yuv420p10.avi", "extractplanes=y", "gray10le", 0);
    row("Invert of 10-bit", "Invert()", "yuv420p10.avi", "lutyuv=y=1023-val:u='min(1024-val,1023)':v='min(1024-val,1023)'",
        "yuv420p10le", 0);
    row("Greyscale of 10-bit YUV", "Greyscale()", "yuv420p10.avi", "lutyuv=u=512:v=512", "yuv420p10le", 0);
    row("Greyscale of 12-bit RGB", "Greyscale()", "gbrp12.avi",
        "colorchannelmixer=.299:.587:.114:0:.299:.587:.114:0:.299:.587:.114", "gbrp12le", 1);
    row("Spline36Resize of 16-bit", "Spline36Resize(48, 40)", "y16.avi", "scale=48:40:flags=spline", "gray16le", 0);
    row("Spline36Resize of 16-bit through a window", "Spline36Resize(64, 40, 16, 8, 64, 40)", "y16.avi",
        "crop=64:40:16:8", "gray16le", 0);
    row("BilinearResize of 10-bit through a whole-picture window", "BilinearResize(48, 32, 0, 0, 96, 64)",
        "yuv420p10.avi", "scale=48:32:flags=bilinear", "yuv420p10le", 1023, 40);
    // Channels moved whole: extractplanes, shuffleplanes and grey chroma.
    row("ShowRed as Y8", "ShowRed(\"Y8\")", "rgb24.avi", "format=gbrp,extractplanes=r", "gray", 0);
    row("ShowGreen of RGB32 keeps its alpha", "ShowGreen()", "rgb32.avi", "format=bgra,lutrgb=r=0:b=0,colorchannelmixer=0:1:0:0:0:1:0:0:0:1:0:0",
        "bgra", 0);
    row("ShowAlpha as RGB24", "ShowAlpha(\"RGB24\")", "rgb32.avi", "format=bgra,alphaextract,format=gray,format=gbrp",
        "bgr24", 0);
    // A grey picture's planes joined to one (swscale would clamp its luma).
    const auto withGreyChroma = [](const char* plane, const char* format, const char* chromaSize) {
      return QString("extractplanes=%1,split=3[a][b][c];[b]lut=c0=128,scale=%3[b2];[c]lut=c0=128,scale=%3[c2];"
                     "[a][b2][c2]mergeplanes=0x001020:%2")
          .arg(plane, format, chromaSize);
    };
    row("ShowU of YV12 is a YV24 picture of the chroma's size", "ShowU()", "yv12.avi",
        withGreyChroma("u", "yuv444p", "iw:ih"), "yuv444p", 0);
    row("ExtractV", "ExtractV()", "yv24.avi", "extractplanes=v", "gray", 0);
    row("PlaneToY of blue", "PlaneToY(\"B\")", "rgb32.avi", "format=gbrp,extractplanes=b", "gray", 0);
    row("UToY keeps the type", "UToY()", "yv12.avi", withGreyChroma("u", "yuv420p", "iw/2:ih/2"), "yuv420p", 0);
    row("VToY8", "VToY8()", "yv12.avi", "extractplanes=v", "gray", 0);
    row("YToUV of UToY and VToY has grey luma", "YToUV(UToY(), VToY())", "yv12.avi", "lutyuv=y=128", "yuv420p", 0);
    row("YToUV with a luma clip rebuilds the picture", "YToUV(UToY8(), VToY8(), last)", "yv12.avi", "null", "yuv420p", 0);
    row("YToUV of YUY2", "YToUV(UToY(), VToY(), last)", "yuy2.avi", "null", "yuyv422", 0);
    row("SwapUV", "SwapUV()", "yv12.avi", "shuffleplanes=0:2:1", "yuv420p", 0);
    row("SwapUV of YUY2", "SwapUV()", "yuy2.avi", "format=yuv422p,shuffleplanes=0:2:1", "yuyv422", 0);
    row("MergeRGB takes a channel from each clip", "MergeRGB(last, Invert(), last)", "rgb24.avi",
        "format=rgb24,lutrgb=g=negval,format=bgra,lutrgb=a=0", "bgra", 0);
    row("MergeRGB gives RGB32 with alpha 0", "MergeRGB(last, last, FlipVertical())", "rgb24.avi",
        "split[a][b];[b]vflip,format=gbrp[f];[a]format=gbrp[p];[p][f]mergeplanes=0x001102:gbrp,format=bgra,lutrgb=a=0",
        "bgra", 0);
    row("MergeRGB takes the luma of YUV clips", "MergeRGB(ShowRed(\"Y8\"), Invert().ShowGreen(\"YV24\"), ShowBlue(\"Y8\"), \"RGB24\")",
        "rgb24.avi", "format=rgb24,lutrgb=g=negval", "bgr24", 0);
    row("MergeARGB takes the alpha from a clip's luma", "MergeARGB(ShowRed(\"Y8\"), last, last, last)", "rgb32.avi",
        "format=bgra,colorchannelmixer=aa=0:ar=1", "bgra", 0);
    row("AddAlphaPlane fills the alpha with a value", "AddAlphaPlane(100)", "yv12.avi",
        "format=yuva420p,lutyuv=a=100", "yuva420p", 0);
    row("AddAlphaPlane of RGB24 takes a greyscale clip's luma", "AddAlphaPlane(last, ShowGreen(\"Y8\"))", "rgb24.avi",
        "format=bgra,colorchannelmixer=aa=0:ag=1", "bgra", 0);
    row("AddAlphaPlane replaces an alpha", "AddAlphaPlane()", "rgb32.avi", "format=bgra,lutrgb=a=255", "bgra", 0);
    row("RemoveAlphaPlane of RGB32", "RemoveAlphaPlane()", "rgb32.avi", "format=bgr24", "bgr24", 0);
    row("CombinePlanes in another order", "CombinePlanes(last, planes=\"YVU\")", "yv12.avi", "shuffleplanes=0:2:1",
        "yuv420p", 0);
    row("CombinePlanes of greyscale clips in a sample's type",
        "CombinePlanes(ExtractY(), ExtractU(), ExtractV(), planes=\"YUV\", source_planes=\"YYY\", sample_clip=last)",
        "yv12.avi", "null", "yuv420p", 0);
    row("CombinePlanes of planar RGB's planes as YUV", "CombinePlanes(ConvertToPlanarRGB(), planes=\"YUV\")",
        "rgb24.avi", "format=gbrp,mergeplanes=0x020001:yuv444p", "yuv444p", 0);
    row("CombinePlanes of greyscale planes and an alpha into YUVA",
        "CombinePlanes(ConvertToY(), UToY8(), VToY8(), AddAlphaPlane(128).AToY8(), planes=\"YUVA\", "
        "source_planes=\"YYYY\", sample_clip=AddAlphaPlane())",
        "yv12.avi", "format=yuva420p,lutyuv=a=128", "yuva420p", 0);
    // Deeper pictures' planes move whole, at their own depth.
    row("ExtractU of 10-bit", "ExtractU()", "yuv420p10.avi", "extractplanes=u", "gray10le", 0);
    row("SwapUV of 10-bit", "SwapUV()", "yuv420p10.avi", "shuffleplanes=0:2:1", "yuv420p10le", 0);
    row("MergeRGB of 12-bit clips is planar RGBA at their depth", "MergeRGB(last, last, last)", "gbrp12.avi",
        "extractplanes=r+g+b[r][g][b];[r]split[r1][r2];[r2]lut=c0=0[z];[g][b][r1][z]mergeplanes=0x00102030:gbrap12le",
        "gbrap12le", 0);
    row("CombinePlanes of 16-bit planes", "CombinePlanes(last, planes=\"YVU\")", "yuv444p16.avi", "shuffleplanes=0:2:1",
        "yuv444p16le", 0);
    row("AddAlphaPlane and RemoveAlphaPlane of 12-bit planar RGB", "AddAlphaPlane().RemoveAlphaPlane()", "gbrp12.avi",
        "null", "gbrp12le", 0);
    row("AddAlphaPlane's value is in the clip's own levels", "AddAlphaPlane(2000).AToY8()", "gbrp12.avi",
        "extractplanes=r,lut=c0=2000", "gray12le", 0);
    row("CombinePlanes of luma alone fills grey chroma", "CombinePlanes(last, planes=\"Y\", pixel_type=\"YV12\")",
        "yv12.avi", "lutyuv=u=128:v=128", "yuv420p", 0);
    // Merges mix with 16-bit weights, round to nearest.
    row("Merge of a clip and its negative", "Merge(last, Invert(), 0.3)", "yv24.avi",
        "split[a][b];[b]negate[n];[a][n]blend=all_expr='round(A*0.7+B*0.3)'", "yuv444p", 1);
    row("Merge halves by default", "Merge(last, FlipVertical())", "rgb32.avi",
        "split[a][b];[b]vflip[n];[a][n]blend=all_expr='round((A+B)/2)'", "bgra", 0);
    row("MergeLuma mixes luma only", "MergeLuma(last, Invert(), 0.5)", "yv12.avi",
        "split[a][b];[b]negate[n];[a][n]blend=c0_expr='round((A+B)/2)':c1_expr=A:c2_expr=A", "yuv420p", 0);
    row("MergeChroma takes clip2's chroma by default", "MergeChroma(last, Invert())", "yv12.avi",
        "lutyuv=u='min(256-val,255)':v='min(256-val,255)'", "yuv420p", 0);
    row("MergeChroma of YUY2 with the older weight name", "MergeChroma(FlipVertical(), chromaweight=0)", "yuy2.avi",
        "null", "yuyv422", 0);
    // Subtract centres differences on 126 for luma, 128 elsewhere.
    row("Subtract of YUV", "Subtract(last, Invert())", "yv24.avi",
        "lutyuv=y='clip(2*val-129,0,255)':u='clip(2*val-128,0,255)':v='clip(2*val-128,0,255)'", "yuv444p", 0);
    row("Subtract of RGB", "Subtract(last, last)", "rgb24.avi", "format=rgb24,lutrgb=r=128:g=128:b=128", "bgr24", 0);
    // Expr: the same expression for the channels that have none, rounded
    // and clamped; tables, spatial words, neighbours, time and variables.
    row("Expr of one expression for every channel", "Expr(\"x 2 * 30 -\")", "yv12.avi",
        "lutyuv=y='clip(val*2-30,0,255)':u='clip(val*2-30,0,255)':v='clip(val*2-30,0,255)'", "yuv420p", 0);
    row("Expr of luma only, chroma filled", "Expr(\"x\", \"range_half\", \"cmax\")", "yv12.avi", "lutyuv=u=128:v=240",
        "yuv420p", 0);
    row("Expr of two clips", "Expr(last, FlipVertical(), \"x y max\", \"\")", "yv24.avi",
        "split[a][b];[b]vflip[f];[a][f]blend=c0_mode=lighten:c1_expr=A:c2_expr=A", "yuv444p", 0);
    row("Expr's comparisons and ternary", "Expr(\"x 128 < 0 255 ?\", \"x dup * 64 /\")", "yv12.avi",
        "lutyuv=y='if(lt(val,128),0,255)':u='clip(val*val/64,0,255)':v='clip(val*val/64,0,255)'", "yuv420p", 1);
    row("Expr of RGB channels in R, G, B order", "Expr(\"x\", \"255 x -\", \"x 2 /\")", "rgb24.avi",
        "format=rgb24,lutrgb=g=negval:b='val/2'", "bgr24", 1);
    row("Expr copies RGB32's alpha", "Expr(\"x 1 +\")", "rgb32.avi", "format=bgra,lutrgb=r='val+1':g='val+1':b='val+1'",
        "bgra", 0);
    row("Expr's position words", "Expr(\"sx sy + 2 *\", \"sxr 255 *\", \"syr 255 *\")", "yv24.avi",
        "geq=lum='min((X+Y)*2,255)':cb='round(X/95*255)':cr='round(Y/63*255)'", "yuv444p", 1);
    row("Expr's neighbours repeat the edge", "Expr(\"x[-1,0] x[1,0] + 2 / x[0,-2] -\")", "y8.avi",
        "geq=lum='clip(round((p(X-1,Y)+p(X+1,Y))/2-p(X,Y-2)),0,255)':interpolation=n", "gray", 1);
    row("Expr's time", "Expr(\"x time *\", \"\")", "yv24.avi", "geq=lum='round(p(X,Y)*N/3)':cb='p(X,Y)':cr='p(X,Y)':interpolation=n",
        "yuv444p", 1);
    row("Expr's variables, swap and scaleb", "Expr(\"x A@ 2 / B^ A B swap - neg 100 scaleb min\", \"i16 x 32768 scaleb -\")",
        "yv12.avi", "lutyuv=y='min(round(val/2),100)':u='clip(val-128,0,255)':v='clip(val-128,0,255)'", "yuv420p", 0);
    // Restoration: GeneralConvolution inside the picture (ffmpeg treats the
    // edges its own way), Limiter, and FixBrokenChromaUpsampling undone.
    row("GeneralConvolution scales by the matrix's sum", "GeneralConvolution(0, \"1 2 1 2 4 2 1 2 1\").Crop(4, 4, -4, -4)",
        "rgb32.avi", "format=bgra,convolution=0m='1 2 1 2 4 2 1 2 1':1m='1 2 1 2 4 2 1 2 1':2m='1 2 1 2 4 2 1 2 1':"
        "3m='1 2 1 2 4 2 1 2 1':0rdiv=1/16:1rdiv=1/16:2rdiv=1/16:3rdiv=1/16,crop=88:56:4:4", "bgra", 0);
    // (This ffmpeg's convolution divides by the matrix's sum, or by 1 when
    // that is 0, whatever rdiv says.)
    row("GeneralConvolution's Sobel with a bias", "GeneralConvolution(128, \"1 2 1 0 0 0 -1 -2 -1\", luma=true, "
        "chroma=false).Crop(4, 4, -4, -4)", "yv24.avi",
        "convolution=0m='1 2 1 0 0 0 -1 -2 -1':0bias=128,crop=88:56:4:4", "yuv444p", 0);
    row("GeneralConvolution 5x5 divided without auto", "GeneralConvolution(0, \"1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 "
        "1 1 1 1\", 25, false).Crop(4, 4, -4, -4)", "y8.avi",
        "convolution=0m='1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1',crop=88:56:4:4", "gray", 0);
    row("Limiter", "Limiter()", "yv12.avi", "lutyuv=y='clip(val,16,235)':u='clip(val,16,240)':v='clip(val,16,240)'",
        "yuv420p", 0);
    row("Limiter with bounds of its own", "Limiter(30, 200, min_chroma=100)", "yv24.avi",
        "lutyuv=y='clip(val,30,200)':u='clip(val,100,240)':v='clip(val,100,240)'", "yuv444p", 0);
    row("FixBrokenChromaUpsampling twice is nothing", "FixBrokenChromaUpsampling().FixBrokenChromaUpsampling()",
        "yuy2.avi", "null", "yuyv422", 0);
    row("FixLuminance darkens the top rows", "FixLuminance(40, 4)", "yuy2.avi",
        "format=yuv422p,geq=lum='max(0,p(X,Y)-if(lt(Y,40),floor((40-Y)/4),0))':cb='cb(X,Y)':cr='cr(X,Y)':"
        "interpolation=n", "yuyv422", 0);
    // Masks: RGB32's alpha set, cleared by colour, and MaskHS's Y8 mask of a
    // hue range (a pixel on a boundary may fall either side).
    row("ResetMask", "ResetMask(100)", "rgb32.avi", "format=bgra,lutrgb=a=100", "bgra", 0);
    row("ColorKeyMask", "ColorKeyMask($808080, 60)", "rgb32.avi",
        "format=bgra,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='if(lte(abs(r(X,Y)-128),60)*lte(abs(g(X,Y)-128),60)*"
        "lte(abs(b(X,Y)-128),60),0,alpha(X,Y))':interpolation=n",
        "bgra", 0);
    row("MaskHS", "MaskHS(startHue=90, endHue=200, maxSat=80)", "yv24.avi",
        "geq=lum='if(between(mod(atan2(cr(X,Y)-128,cb(X,Y)-128)*180/PI+360,360),90,200)*"
        "lte(hypot(cr(X,Y)-128,cb(X,Y)-128),80*1.19),255,0)':cb=128:cr=128:interpolation=n,format=gray",
        "gray", 255, 30);
    // Histogram: the panel right of the picture as tall as it; luma folded
    // back every 16 levels.
    row("Histogram's waveform", "Histogram()", "yv12.avi",
        "split[a][b];[b]waveform=mode=row:components=1:display=overlay:intensity=0.1:graticule=green:flags=numbers,"
        "pad=256:64:0:0:black,format=yuv420p[p];[a][p]hstack",
        "yuv420p", 0);
    row("Histogram's vectorscope alone", "Histogram(\"color2\", keepsource=false)", "yv24.avi",
        "vectorscope=mode=color2,crop=256:64:0:0,format=yuv444p", "yuv444p", 0);
    row("Histogram's luma", "Histogram(\"luma\")", "yv12.avi",
        "lutyuv=y='if(gte(mod(val*16,512),256),511-mod(val*16,512),mod(val*16,512))':u=128:v=128", "yuv420p", 0);
    // A window given goes through our own resampler; on the whole picture
    // it agrees with swscale's within a PSNR.
    row("BilinearResize with a whole-picture window", "BilinearResize(48, 32, 0, 0, 96, 64)", "y8.avi",
        "scale=48:32:flags=bilinear", "gray", 255, 40);
    row("Spline36Resize with a window", "Spline36Resize(64, 40, 16, 8, 64, 40)", "y8.avi", "crop=64:40:16:8", "gray",
        0);
  }
  void matchesFfmpeg() {
    QFETCH(QString, call);
    QFETCH(QString, source);
    QFETCH(QString, filter);
    QFETCH(QString, pixFmt);
    QFETCH(int, tolerance);
    QFETCH(double, psnr);
    const Difference d = Compare("AviSource(\"" + source + "\")\n" + call, source, filter, pixFmt);
    QVERIFY2(d.most >= 0, "the pictures differ in size");
    QVERIFY2(d.most <= tolerance, qPrintable(QString("samples differ by up to %1").arg(d.most)));
    QVERIFY2(d.psnr >= psnr, qPrintable(QString("PSNR %1 dB").arg(d.psnr)));
  }

  // Invert: 255 - v, but planar chroma turns about 128 (256 - v, 0 going
  // to 255), where YUY2's does not.
  void invertTurnsPlanarChromaAboutItsMiddle() {
    for (const char* source : {"yv12.avi", "yuy2.avi"}) {
      avs::ClipPtr original = EvaluateClip(QString("AviSource(\"%1\")").arg(source), media_.dir());
      avs::ClipPtr inverted = EvaluateClip(QString("AviSource(\"%1\").Invert()").arg(source), media_.dir());
      avs::Reading reading;
      const avs::FrameRef before = reading.Frame(*original, 1), after = reading.Frame(*inverted, 1);
      const bool planar = QString(source) == "yv12.avi";
      const QByteArray a = PictureBytes(*before), b = PictureBytes(*after);
      const qsizetype lumaBytes = planar ? 96 * 64 : a.size();
      for (qsizetype i = 0; i < a.size(); ++i) {
        const int v = static_cast<uint8_t>(a[i]);
        const bool chroma = planar ? i >= lumaBytes : i % 2 == 1;
        const int expected = chroma && planar ? std::min(256 - v, 255) : 255 - v;
        QVERIFY2(static_cast<uint8_t>(b[i]) == expected, qPrintable(QString("%1 byte %2").arg(source).arg(i)));
      }
    }
  }

  // Sub-pixel windows: on a ramp rising 2 a pixel, a window half a pixel
  // to the right reads between the pixels; beyond the picture the edge
  // pixels repeat.
  void subPixelWindows() {
    const QString ramp = "AviSource(\"ramp.avi\")";
    // Output pixel x reads the source at x + 0.5: half way to the next.
    QCOMPARE(Sample(ramp + ".BilinearResize(63, 16, 0.5, 0, 63, 16)", 0, 10, 5), 20 + 21);
    QCOMPARE(Sample(ramp + ".BilinearResize(63, 16, 0.5, 0, 63, 16)", 1, 0, 0), 20 + 1);
    // A negative size counts from the right edge, as Crop's does.
    QCOMPARE(Sample(ramp + ".BilinearResize(63, 16, 0.5, 0, -0.5, 0)", 0, 30, 3), 20 + 61);
    QCOMPARE(Sample(ramp + ".PointResize(64, 16, -8, 0, 64, 16)", 0, 3, 0), 20);
    QCOMPARE(Sample(ramp + ".PointResize(64, 16, -8, 0, 64, 16)", 0, 20, 0), 20 + 2 * 12);
    // Lanczos reproduces a ramp away from its ends too.
    const int lanczos = Sample(ramp + ".LanczosResize(63, 16, 0.25, 0, 63, 16)", 0, 20, 8);
    QVERIFY2(std::abs(lanczos - static_cast<int>(std::lround(20 + 2 * 20.25))) <= 1, qPrintable(QString::number(lanczos)));
    // The documented example.
    avs::ClipPtr clip = EvaluateClip("BlankClip(length=2, width=640, height=360, pixel_type=\"YV12\", color=$408060)"
                                     ".LanczosResize(320,180, 0.5, 0.5, -0.5, -0.5)",
                                     media_.dir());
    QCOMPARE(clip->info().width, 320);
    QCOMPARE(clip->info().height, 180);
    avs::Reading reading;
    const avs::FrameRef frame = reading.Frame(*clip, 1);
    // A flat picture stays flat.
    QCOMPARE(static_cast<int>(frame->data[0][90 * frame->linesize[0] + 160]),
             static_cast<int>(Sample("BlankClip(width=640, height=360, pixel_type=\"YV12\", color=$408060)", 0, 0, 0)));
  }

  // Expr's neighbours beyond the picture repeat its edge pixels, on a ramp
  // rising 2 a pixel from 20.
  void exprNeighboursAtTheEdges() {
    const QString ramp = "AviSource(\"ramp.avi\")";
    QCOMPARE(Sample(ramp + ".Expr(\"x[-3,0]\")", 0, 0, 5), 20);
    QCOMPARE(Sample(ramp + ".Expr(\"x[-3,0]\")", 0, 5, 5), 20 + 2 * 2);
    QCOMPARE(Sample(ramp + ".Expr(\"x[70,-40]\")", 0, 1, 0), 20 + 2 * 63);
    QCOMPARE(Sample(ramp + ".Expr(\"x[0,20] x -\")", 0, 9, 3), 0);
  }

  // The softeners against their formulas, on flat frames of known values:
  // each sample the rounded mean of the samples near it that lie within the
  // threshold of its own.
  void softeners_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("plane");
    QTest::addColumn<int>("expected");
    const QString frames = "c = BlankClip(length=1, width=32, height=16, pixel_type=\"YV24\", color_yuv=$%1)\n"
                           "c + c.BlankClip(color_yuv=$%2) + c.BlankClip(color_yuv=$%3) + c.BlankClip(color_yuv=$%4)\n";
    const QString ramp = frames.arg("108080", "1E8084", "308088", "FF8080");
    QTest::newRow("TemporalSoften averages neighbours") << ramp + "TemporalSoften(1, 255, 255)" << 1 << 0 << 31;
    QTest::newRow("TemporalSoften's chroma") << ramp + "TemporalSoften(1, 255, 255)" << 1 << 2 << 132;
    QTest::newRow("TemporalSoften repeats the first frame before it") << ramp + "TemporalSoften(1, 255, 255)" << 0
                                                                      << 0 << 21;
    QTest::newRow("TemporalSoften leaves out samples beyond the threshold") << ramp + "TemporalSoften(1, 15, 255)"
                                                                            << 1 << 0 << 23;
    QTest::newRow("TemporalSoften's radius 2") << ramp + "TemporalSoften(2, 255, 255)" << 2 << 0 << 121;
    QTest::newRow("TemporalSoften stops at a scene change") << ramp + "TemporalSoften(2, 255, 255, scenechange=40)" << 2
                                                            << 0 << 31;
    QTest::newRow("TemporalSoften threshold 0 changes nothing") << ramp + "TemporalSoften(2, 0, 0)" << 2 << 0 << 48;
    const QString spot = "BlankClip(length=1, width=16, height=8, pixel_type=\"YUY2\", color_yuv=$508080)\n"
                         "Overlay(BlankClip(last, width=2, height=2, color_yuv=$5C8080), x=8, y=4)\n";
    QTest::newRow("SpatialSoften blends a spot within the threshold") << spot + "SpatialSoften(1, 20, 4)" << 0 << 0
                                                                      << (4 * 0x5C + 5 * 0x50 + 4) / 9;
    QTest::newRow("SpatialSoften leaves a spot beyond the threshold") << spot + "SpatialSoften(1, 10, 4)" << 0 << 0
                                                                      << 0x5C;
  }
  void softeners() {
    QFETCH(QString, script);
    QFETCH(int, frame);
    QFETCH(int, plane);
    QFETCH(int, expected);
    avs::ClipPtr clip = EvaluateClip(script, media_.dir());
    avs::Reading reading;
    const avs::FrameRef f = reading.Frame(*clip, frame);
    // Plane 0 of YUY2 is read at the luma of pixel (8, 4); the others at 0, 0.
    const bool yuy2 = clip->info().pixelFormat == AV_PIX_FMT_YUYV422;
    const int at = yuy2 ? 4 * f->linesize[0] + 2 * 8 : 0;
    QCOMPARE(static_cast<int>(f->data[plane][at]), expected);
  }

  // Bicubic's b and c come before the window: b = 0, c = 0.5 is the
  // Catmull-Rom spline, whose weights at a quarter and three quarters of a
  // pixel are 0.8672, 0.2266, -0.0703 and -0.0234. Doubled, a bright column
  // at x = 10 rings into its neighbours by those weights.
  void bicubicWeights() {
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "color=c=gray:s=32x8:r=25", "-vf",
                           "format=gray,geq=lum='if(eq(X,10),216,16)'", "-frames:v", "1", "-c:v", "rawvideo", "-pix_fmt",
                           "gray", "column.avi"}));
    const QString bicubic = "AviSource(\"column.avi\").BicubicResize(64, 16, 0, 0.5, 0, 0, 32, 8)";
    // Output x reads the source at (x + 0.5) / 2, the column's centre is 10.5.
    QCOMPARE(Sample(bicubic, 0, 20, 4), 16 + 173);
    QCOMPARE(Sample(bicubic, 0, 21, 4), 16 + 173);
    QCOMPARE(Sample(bicubic, 0, 22, 4), 16 + 45);
    QCOMPARE(Sample(bicubic, 0, 19, 4), 16 + 45);
    QCOMPARE(Sample(bicubic, 0, 18, 4), 16 - 14);
    QCOMPARE(Sample(bicubic, 0, 23, 4), 16 - 14);
    QCOMPARE(Sample(bicubic, 0, 24, 4), 16 - 5);
    QCOMPARE(Sample(bicubic, 0, 30, 4), 16);
    // The default, b = c = 1/3, is softer: 0.7821 at a quarter pixel,
    // -0.0147 at 1.75.
    const QString mitchell = "AviSource(\"column.avi\").BicubicResize(64, 16, src_left=0)";
    QCOMPARE(Sample(mitchell, 0, 20, 4), 16 + 156);
    QCOMPARE(Sample(mitchell, 0, 24, 4), 16 - 3);
  }

  // YUY2 and RGB32 through a window keep their format and a flat colour.
  void windowsOfPackedFormats() {
    for (const char* type : {"YUY2", "RGB32", "RGB24", "YV16"}) {
      const QString blank = QString("BlankClip(length=1, width=64, height=48, pixel_type=\"%1\", color=$C08040)").arg(type);
      avs::ClipPtr clip = EvaluateClip(blank + ".Spline36Resize(32, 24, 1.5, 2.25, 40, 30)", media_.dir());
      QCOMPARE(avs::PixelTypeName(clip->info().pixelFormat), type);
      avs::Reading reading;
      avs::Reading plain;
      QCOMPARE(PictureBytes(*reading.Frame(*clip, 0)).left(8),
               PictureBytes(*plain.Frame(*EvaluateClip(blank + ".Crop(0, 0, 32, 24)", media_.dir()), 0)).left(8));
    }
  }

  // ColorYUV's automatic modes measure each frame; showyuv draws every
  // chroma pair.
  void colorYuvAutomaticModes() {
    avs::ClipPtr white = EvaluateClip(Flat(0x80, 0x60, 0x90) + ".ColorYUV(autowhite=true)", media_.dir());
    avs::Reading reading;
    avs::FrameRef frame = reading.Frame(*white, 0);
    QCOMPARE(static_cast<int>(frame->data[1][0]), 128);
    QCOMPARE(static_cast<int>(frame->data[2][0]), 128);
    QCOMPARE(static_cast<int>(frame->data[0][0]), 0x80);
    // A dim picture (luma 60..100) is stretched to 16..235.
    QVERIFY(media_.ffmpeg({"-f", "lavfi", "-i", "color=c=gray:s=64x16:r=25", "-vf",
                           "format=gray,geq=lum='60+40*X/63'", "-frames:v", "1", "-c:v", "rawvideo", "-pix_fmt", "gray",
                           "dim.avi"}));
    QCOMPARE(Sample("AviSource(\"dim.avi\").ColorYUV(autogain=true)", 0, 63, 0), 235);
    QCOMPARE(Sample("AviSource(\"dim.avi\").ColorYUV(autogain=true)", 0, 0, 0), 16);
    avs::ClipPtr chart = EvaluateClip("AviSource(\"yv12.avi\").ColorYUV(showyuv=true)", media_.dir());
    QCOMPARE(chart->info().width, 450);
    QCOMPARE(chart->info().frameCount, int64_t{3});
    frame = reading.Frame(*chart, 2);
    QCOMPARE(static_cast<int>(frame->data[0][0]), 18);
    QCOMPARE(static_cast<int>(frame->data[1][5 * frame->linesize[1] + 224]), 240);
    QCOMPARE(static_cast<int>(frame->data[2][224 * frame->linesize[2] + 3]), 240);
  }

  // Tweak's hue and saturation ranges leave other colours alone.
  void tweakRanges() {
    // Pure blue has a hue near 350 degrees (atan2(V - 128, U - 128)); red
    // near 110.
    const QString tweak = ".Tweak(sat=0, startHue=80, endHue=140, coring=false)";
    avs::Reading reading;
    avs::FrameRef red = reading.Frame(*EvaluateClip(Flat(0x51, 0x5A, 0xF0) + tweak, media_.dir()), 0);
    avs::Reading other;
    avs::FrameRef blue = other.Frame(*EvaluateClip(Flat(0x29, 0xF0, 0x6E) + tweak, media_.dir()), 0);
    QCOMPARE(static_cast<int>(red->data[1][0]), 128);
    QCOMPARE(static_cast<int>(red->data[2][0]), 128);
    QCOMPARE(static_cast<int>(blue->data[1][0]), 0xF0);
    QCOMPARE(static_cast<int>(blue->data[2][0]), 0x6E);
  }

  void refusals_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    QTest::newRow("Blur beyond log2(3)") << "Blur(1.6)" << "Blur: amount must be between -1 and 1.58";
    QTest::newRow("Blur of a string") << "Blur(\"1\")" << "Blur: amount must be a number, not a string";
    QTest::newRow("Sharpen beyond 1") << "Sharpen(0.5, 1.2)" << "Sharpen: amountV must be between";
    QTest::newRow("Levels gamma 0") << "Levels(0, 0, 255, 0, 255)" << "Levels: gamma must be above 0";
    QTest::newRow("Levels equal inputs") << "Levels(100, 1, 100, 0, 255)" << "input_low and input_high must differ";
    QTest::newRow("Levels dither") << "Levels(0, 1, 255, 0, 255, dither=true)" << "Levels: dither is not supported";
    QTest::newRow("Tweak hue") << "Tweak(hue=200)" << "Tweak: hue must be between -180 and 180";
    QTest::newRow("Tweak saturation range") << "Tweak(minSat=50, maxSat=40)" << "minSat must be less than maxSat";
    QTest::newRow("Tweak of RGB") << "ConvertToRGB32().Tweak()" << "Tweak: needs a YUV clip";
    QTest::newRow("RGBAdjust of YUV") << "RGBAdjust(1.1)" << "RGBAdjust: needs an RGB clip";
    QTest::newRow("RGBAdjust analyze") << "ConvertToRGB24().RGBAdjust(analyze=true)" << "analyze is not supported";
    QTest::newRow("ColorYUV of RGB") << "ConvertToRGB24().ColorYUV()" << "ColorYUV: needs a YUV clip";
    QTest::newRow("ColorYUV levels") << "ColorYUV(levels=\"PC\")" << "levels must be";
    QTest::newRow("Greyscale matrix of YUV") << "Greyscale(\"Rec709\")" << "matrix applies only to RGB clips";
    QTest::newRow("ConvertBits to 9 bits") << "ConvertBits(9)" << "ConvertBits: bits must be 8, 10, 12, 14, 16 or 32";
    QTest::newRow("float YUV") << "ConvertBits(32)" << "32-bit float YUV pictures are not supported";
    QTest::newRow("RGB24 at 10 bits") << "ConvertToRGB24().ConvertBits(10)" << "RGB24 has no 10-bit form";
    QTest::newRow("dither of a deeper target") << "ConvertBits(10, dither=0)" << "dithering needs fewer bits";
    QTest::newRow("dither_bits above the target") << "ConvertBits(16).ConvertBits(8, dither=1, dither_bits=9)"
                                                  << "dither_bits must be between 1 and 8";
    QTest::newRow("Levels of 16-bit") << "ConvertBits(16).Levels(0, 1, 255, 0, 255)"
                                      << "Levels: 16-bit pictures are not supported";
    QTest::newRow("Tweak of float") << "ConvertToY8().ConvertBits(32).Tweak()"
                                    << "Tweak: 32-bit float pictures are not supported";
    QTest::newRow("ConvertToRGB of 10-bit") << "ConvertBits(10).ConvertToRGB()" << "use ConvertToRGB64";
    QTest::newRow("unknown chroma resampler") << "ConvertToYV24(chromaresample=\"fancy\")"
                                              << "unknown chromaresample \"fancy\"";
    QTest::newRow("unknown placement") << "ConvertToYV24(ChromaInPlacement=\"DV\")" << "unknown chroma placement";
    QTest::newRow("interlaced YV12 of odd field height") << "Crop(0, 0, 0, -2).ConvertToYUY2(interlaced=true)"
                                                         << "a height that is a multiple of 4";
    QTest::newRow("window outside") << "BilinearResize(32, 32, 8, 0, 96, 64)" << "the source window 8,0 96x64 is not inside the 96x64 picture";
    QTest::newRow("window of no width") << "BilinearResize(32, 32, 0, 0, -96, 0)" << "is not inside";
    QTest::newRow("window of infinite size") << "BilinearResize(32, 32, 0, 0, Pow(10.0, 400), 0)" << "out of range";
    QTest::newRow("no taps") << "LanczosResize(32, 32, taps=0)" << "taps must be between 1 and 100";
    QTest::newRow("force out of range") << "PointResize(32, 32, force=4)" << "force must be 0, 1, 2 or 3";
    QTest::newRow("ShowRed of YUV") << "ShowRed()" << "ShowRed: a YV12 clip has no R channel";
    QTest::newRow("ShowAlpha of RGB24") << "ConvertToRGB24().ShowAlpha()" << "a RGB24 clip has no alpha channel";
    QTest::newRow("ShowU as odd YV12") << "Crop(0, 0, 90, 0).ShowU(\"YV12\")" << "ShowU: YV12 needs an even width";
    QTest::newRow("UToY of RGB") << "ConvertToRGB32().UToY()" << "UToY: needs a YUV clip";
    QTest::newRow("SwapUV of Y8") << "ConvertToY8().SwapUV()" << "SwapUV: needs a YUV clip with chroma";
    QTest::newRow("YToUV of unequal clips") << "YToUV(UToY(), last)" << "clipU and clipV must have the same size";
    QTest::newRow("YToUV with a luma of another size") << "YToUV(UToY(), VToY(), Crop(0, 0, 80, 0))"
                                                       << "clipY's size must be a multiple";
    QTest::newRow("YToUV with a luma stretched the wrong way") << "YToUV(UToY8(), VToY8(), Crop(0, 0, 48, 0))"
                                                               << "not 1 across and 2 down";
    QTest::newRow("MergeRGB of unequal sizes") << "MergeRGB(last, last, Crop(0, 0, 64, 0))" << "the clips must have the same size";
    QTest::newRow("MergeRGB to YUV") << "MergeRGB(last, last, last, \"YV12\")" << "pixel_type must be an RGB type";
    QTest::newRow("MergeARGB alpha from RGB24") << "MergeARGB(ConvertToRGB24(), last, last, last)"
                                                << "clipA must have an alpha channel";
    QTest::newRow("ShowY into a deeper type") << "ShowY(\"YUV444P16\")"
                                              << "ShowY: a 16-bit YUV444P16 result cannot take the 8-bit samples of a YV12 clip";
    QTest::newRow("ShowY of float") << "ConvertToY8().ConvertBits(32).ShowY()" << "32-bit float pictures are not supported";
    QTest::newRow("AddAlphaPlane of YUY2") << "ConvertToYUY2().AddAlphaPlane()" << "a YUY2 clip cannot take an alpha channel";
    QTest::newRow("AddAlphaPlane of 14-bit 4:2:2") << "ConvertToYV16().ConvertBits(14).AddAlphaPlane()"
                                                   << "YUVA422 pictures cannot take 14 bits";
    QTest::newRow("AddAlphaPlane beyond 10 bits") << "ConvertBits(10).AddAlphaPlane(1024)" << "mask must be from 0 to 1023, not 1024";
    QTest::newRow("AddAlphaPlane of an 8-bit mask to 10 bits") << "ConvertBits(10).AddAlphaPlane(ConvertToY8())"
                                                               << "cannot take the 8-bit samples of a Y8 clip";
    QTest::newRow("AddAlphaPlane beyond 255") << "AddAlphaPlane(256)" << "mask must be from 0 to 255, not 256";
    QTest::newRow("AddAlphaPlane of a string") << "AddAlphaPlane(\"A\")" << "mask must be a number or a clip, not a string";
    QTest::newRow("AddAlphaPlane of a smaller mask") << "AddAlphaPlane(last, ConvertToY8().Crop(0, 0, 64, 0))"
                                                     << "the mask clip must have the clip's size";
    QTest::newRow("AddAlphaPlane of a YUV mask") << "AddAlphaPlane(last, last)" << "must be greyscale (Y8) or have an alpha";
    QTest::newRow("CombinePlanes without planes") << "CombinePlanes(last)" << "planes must name the planes of the result";
    QTest::newRow("CombinePlanes of five planes") << "CombinePlanes(last, planes=\"YUVAY\")" << "at most four planes";
    QTest::newRow("CombinePlanes of five clips") << "CombinePlanes(last, last, last, last, last, planes=\"Y\")"
                                                 << "takes at most four clips";
    QTest::newRow("CombinePlanes naming a plane twice") << "CombinePlanes(last, planes=\"YUY\")" << "names Y twice";
    QTest::newRow("CombinePlanes of an unknown plane") << "CombinePlanes(last, planes=\"YUX\")" << "unknown plane \"X\"";
    QTest::newRow("CombinePlanes of fewer source planes") << "CombinePlanes(last, planes=\"YUV\", source_planes=\"YU\")"
                                                          << "as many planes as planes (3)";
    QTest::newRow("CombinePlanes mixing YUV and RGB") << "CombinePlanes(last, planes=\"RUV\")" << "cannot mix YUV and RGB";
    QTest::newRow("CombinePlanes into a type without the plane")
        << "CombinePlanes(last, planes=\"YUVA\", pixel_type=\"YV12\")" << "a YV12 result has no alpha plane";
    QTest::newRow("CombinePlanes from a plane the clip lacks")
        << "CombinePlanes(last, planes=\"YUV\", source_planes=\"RGB\")" << "a YV12 clip has no R channel";
    QTest::newRow("CombinePlanes of chroma into luma of another size")
        << "CombinePlanes(last, UToY8(), planes=\"YU\", source_planes=\"YY\", pixel_type=\"YV24\")"
        << "the Y channel of the 48x32 Y8 clip is 48x32, but the result's U channel is 96x64";
    QTest::newRow("CombinePlanes into 16 bits") << "CombinePlanes(last, planes=\"YUV\", pixel_type=\"YUV420P16\")"
                                                << "a 16-bit YUV420P16 result cannot take the 8-bit samples of a YV12 clip";
    QTest::newRow("Merge of other types") << "Merge(last, ConvertToYV24())" << "the clips must have the same size and pixel type";
    QTest::newRow("Merge weight out of range") << "Merge(last, last, 1.5)" << "weight must be from 0 to 1, not 1.5";
    QTest::newRow("MergeLuma of RGB") << "MergeLuma(ConvertToRGB24(), ConvertToRGB24())" << "MergeLuma: needs YUV clips";
    QTest::newRow("MergeChroma of Y8") << "MergeChroma(ConvertToY8(), ConvertToY8())" << "needs clips with chroma";
    QTest::newRow("MergeLuma weight twice") << "MergeLuma(last, last, 0.5, lumaweight=0.2)" << "weight is given twice";
    QTest::newRow("Expr short of values") << "Expr(\"x +\")" << "Expr: the expression \"x +\" '+' needs 2 values on the stack";
    QTest::newRow("Expr leaving two values") << "Expr(\"x x\")" << "leaves 2 values on the stack instead of one";
    QTest::newRow("Expr with an unknown word") << "Expr(\"x frob\")" << "unknown word \"frob\" in an expression";
    QTest::newRow("Expr reading a missing clip") << "Expr(\"y\")" << "reads clip y, but only 1 clip is given";
    QTest::newRow("Expr reading a frame property") << "Expr(\"x._ColorRange\")" << "frame properties such as x._ColorRange";
    QTest::newRow("Expr with a bad position") << "Expr(\"x[1]\")" << "is not a pixel of a clip at a relative position";
    QTest::newRow("Expr with five expressions") << "Expr(\"x\", \"x\", \"x\", \"x\", \"x\")" << "at most four expressions";
    QTest::newRow("Expr of clips of two sizes") << "Expr(last, Crop(0, 0, 64, 0), \"x y +\")" << "the clips must have the same size";
    QTest::newRow("Expr with an unknown scaling") << "Expr(\"x\", scale_inputs=\"most\")" << "unknown scale_inputs \"most\"";
    QTest::newRow("Expr without an expression") << "Expr(last)" << "Expr needs a string for expressions";
    QTest::newRow("Expr of a Y8 clip into YV12 chroma") << "Expr(ConvertToY8(), \"x\", format=\"YV12\")"
                                                       << "clip x has no channel of the size of the result's";
    QTest::newRow("TemporalSoften radius") << "TemporalSoften(8, 4, 4)" << "radius must be from 0 to 7";
    QTest::newRow("TemporalSoften threshold") << "TemporalSoften(2, 300, 4)" << "luma_threshold must be from 0 to 255";
    QTest::newRow("TemporalSoften mode") << "TemporalSoften(2, 4, 4, mode=3)" << "mode must be 1 or 2";
    QTest::newRow("SpatialSoften of YV12") << "SpatialSoften(1, 4, 4)" << "SpatialSoften: needs a YUY2 clip";
    QTest::newRow("GeneralConvolution of 8 numbers") << "GeneralConvolution(0, \"1 1 1 1 1 1 1 1\")"
                                                     << "the matrix must hold 9, 25, 49 or 81 numbers";
    QTest::newRow("GeneralConvolution with a fraction") << "GeneralConvolution(0, \"1 1 1 1 1.5 1 1 1 1\")"
                                                        << "the matrix holds \"1.5\"";
    QTest::newRow("GeneralConvolution divisor 0") << "GeneralConvolution(0, \"0 0 0 0 1 0 0 0 0\", 0)"
                                                  << "divisor must be a number other than 0";
    QTest::newRow("Limiter of RGB") << "ConvertToRGB24().Limiter()" << "Limiter: needs a YUV clip";
    QTest::newRow("Limiter bounds crossed") << "Limiter(200, 100)" << "a minimum is above its maximum";
    QTest::newRow("Limiter show") << "Limiter(show=\"luma\")" << "show is not supported";
    QTest::newRow("FixBrokenChromaUpsampling of YV12") << "FixBrokenChromaUpsampling()" << "needs a YUY2 clip";
    QTest::newRow("FixLuminance of YV12") << "FixLuminance(100, 4)" << "needs a YUY2 clip";
    QTest::newRow("FixLuminance without a slope") << "ConvertToYUY2().FixLuminance(100, 0)" << "slope must be 1 or more";
    QTest::newRow("ResetMask of RGB24") << "ConvertToRGB24().ResetMask()" << "ResetMask: needs an RGB32 clip, not RGB24";
    QTest::newRow("ColorKeyMask tolerance") << "ConvertToRGB32().ColorKeyMask($FFFFFF, 300)" << "tolerances must be from 0 to 255";
    QTest::newRow("MaskHS of RGB") << "ConvertToRGB32().MaskHS()" << "MaskHS: needs a YUV clip with chroma";
    QTest::newRow("MaskHS saturations crossed") << "MaskHS(maxSat=10, minSat=20)" << "minSat must be less than maxSat";
    QTest::newRow("Histogram of a sound") << "Histogram(\"stereo\")" << "mode \"stereo\" (a view of the sound) is not supported";
    QTest::newRow("Histogram's waveform of RGB") << "ConvertToRGB32().Histogram()" << "mode \"classic\" needs a planar YUV clip";
    QTest::newRow("Histogram's unknown mode") << "Histogram(\"wave\")" << "unknown mode \"wave\"";
    QTest::newRow("Subtract of unequal clips") << "Subtract(last, Crop(0, 0, 64, 0))" << "the clips must have the same size";
  }
  void refusals() {
    QFETCH(QString, script);
    QFETCH(QString, message);
    const QString error = EvaluationError("AviSource(\"yv12.avi\")\n" + script, media_.dir());
    QVERIFY2(error.startsWith("t.avs, line 2: ") && error.contains(message), qPrintable(error));
  }
};

QTEST_GUILESS_MAIN(ColourFunctionsTest)
#include "tst_colour_functions.moc"
