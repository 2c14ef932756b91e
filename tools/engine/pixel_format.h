// The colour formats the engine keeps pictures in: AviSynth+'s, each held
// in the FFmpeg pixel format of the same layout. 8-bit YUV (YV12, YV16,
// YV24, Y8, YUY2, YUVA) and RGB (RGB24, RGB32, planar RGBP, RGBAP), their
// 10-, 12-, 14- and 16-bit forms (YUV420P10, Y16, RGB48, RGB64, RGBP12,
// ...) and 32-bit float Y32, RGBPS and RGBAPS. Samples deeper than 8 bits
// sit in the low bits of 16-bit little-endian words.
#pragma once

#include "tools/engine/engine.h"

#include <string>
#include <vector>

namespace avs {

// Whether pictures of `format` exist in the engine.
bool IsEngineFormat(AVPixelFormat format);
// Every engine format, for tests and help texts.
const std::vector<AVPixelFormat>& EngineFormats();

// The format an AviSynth+ colour format name stands for ("YV12",
// "YUV420P10", "Y32", "RGBP16", "RGBAPS", "RGB64", any letter case, with
// the aliases AviSynth+ takes: "YUV420", "YUV420P8", "I420", "RGBP8", ...);
// AV_PIX_FMT_NONE for any other name.
AVPixelFormat PixelFormatNamed(const std::string& name);

// 8, 10, 12, 14, 16, or 32 for float samples.
int BitsPerComponent(AVPixelFormat format);
bool IsFloatFormat(AVPixelFormat format);
// 1, 2 or 4: the bytes of one sample of one channel.
int BytesPerComponent(AVPixelFormat format);
// Deeper than 8 bits, float included.
inline bool IsHighDepth(AVPixelFormat format) { return BitsPerComponent(format) > 8; }
// "16-bit" or "32-bit float", for messages.
std::string DepthName(AVPixelFormat format);

// The format of the same colour family (4:2:0 YUV, Y, planar RGBA, packed
// RGB with alpha, ...) at another depth (8..16 or 32); AV_PIX_FMT_NONE
// where the engine has none (RGB24 at 10 bits, YUV 4:2:0 in float, YUY2
// beyond 8 bits).
AVPixelFormat AtDepth(AVPixelFormat format, int bits);

// Channels that hold an alpha plane or byte.
bool HasAlpha(AVPixelFormat format);
// YUV or Y with planes of their own (not YUY2), or planar RGB.
bool IsPlanar(AVPixelFormat format);

}  // namespace avs
