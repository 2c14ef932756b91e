// Script functions: clip properties, number conversions and mathematics.
#include "tools/engine/functions/families.h"
#include "tools/engine/pixel_format.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>
#include <utility>

namespace avs {

namespace {

Function Property(std::function<Value(const ClipInfo&)> read) {
  return {"clip:c", [read = std::move(read)](Call& call) -> Value { return read(call.Clip(0)->info()); }};
}

// A float made an int; values an int cannot hold are refused rather than
// turned into an arbitrary number.
Value ToInt(const Call& call, double x) {
  if (!(x >= static_cast<double>(INT32_MIN) && x < static_cast<double>(INT32_MAX) + 1.0))
    call.Fail("the value " + Value(x).toText() + " does not fit in an int");
  return Value(static_cast<int64_t>(x));
}

// Int(), Round() and the like: an int stays as it is.
Function Rounding(double (*round)(double)) {
  return {"value:f", [round](Call& call) -> Value {
            if (call.args[0].isInt()) return call.args[0];
            return ToInt(call, round(call.Float(0, 0)));
          }};
}

Function Maths(double (*f)(double)) {
  return {"value:f", [f](Call& call) -> Value { return Value(f(call.Float(0, 0))); }};
}

Function Maths2(double (*f)(double, double), const char* params) {
  return {params, [f](Call& call) -> Value { return Value(f(call.Float(0, 0), call.Float(1, 0))); }};
}

// Min and Max: an int when every value is an int.
Function Extreme(bool greatest) {
  return {"values:f*", [greatest](Call& call) -> Value {
            if (call.rest.empty()) call.Fail("needs at least one number");
            Value best = call.rest[0];
            bool allInts = true;
            for (const Value& v : call.rest) {
              allInts = allInts && v.isInt();
              if (greatest ? v.asFloat() > best.asFloat() : v.asFloat() < best.asFloat()) best = v;
            }
            return allInts ? best : Value(best.asFloat());
          }};
}

// Rand(max, scale, seed): 0 <= r < max (or max < r <= 0); scaled from the
// random bits, or else their remainder.
Value Rand(Call& call) {
  const int64_t max = std::clamp<int64_t>(call.Int(0, 32768), -INT32_MAX, INT32_MAX);
  const uint32_t draw = call.interp.Random(call.Bool(2, false));
  if (max == 0) return Value(0);
  const int64_t range = max < 0 ? -max : max;
  int64_t r = call.Bool(1, true) ? static_cast<int64_t>(static_cast<double>(draw) / 2147483648.0 * static_cast<double>(range))
                                 : static_cast<int64_t>(draw % static_cast<uint64_t>(range));
  return Value(max < 0 ? -r : r);
}

// Spline(x, x1, y1, x2, y2, ... [, cubic]): the value at x of the natural
// cubic spline through the points, or of the broken line when cubic is false.
Value Spline(Call& call) {
  std::vector<Value> values = call.rest;
  bool cubic = true;
  if (!values.empty() && values.back().isBool()) {
    cubic = values.back().asBool();
    values.pop_back();
  }
  if (values.size() < 4 || values.size() % 2)
    call.Fail("needs at least two points, each an x and a y");
  std::vector<double> xs, ys;
  for (std::size_t i = 0; i < values.size(); i += 2) {
    if (!values[i].isNumber() || !values[i + 1].isNumber()) call.Fail("the points must be numbers");
    xs.push_back(values[i].asFloat());
    ys.push_back(values[i + 1].asFloat());
    if (i > 0 && !(xs.back() > xs[xs.size() - 2])) call.Fail("the points' x values must increase");
  }
  const std::size_t n = xs.size();
  const double x = call.Float(0, 0);
  std::size_t k = 0;  // the segment [xs[k], xs[k+1]] that holds x, or the nearest end one
  while (k + 2 < n && x > xs[k + 1]) ++k;
  const double h = xs[k + 1] - xs[k];
  if (!cubic || n == 2) return Value(ys[k] + (ys[k + 1] - ys[k]) * (x - xs[k]) / h);
  // Second derivatives, zero at both ends, by the tridiagonal system.
  std::vector<double> m(n, 0.0), c(n, 0.0), d(n, 0.0);
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const double h0 = xs[i] - xs[i - 1], h1 = xs[i + 1] - xs[i];
    const double rhs = 6 * ((ys[i + 1] - ys[i]) / h1 - (ys[i] - ys[i - 1]) / h0);
    const double diag = 2 * (h0 + h1) - h0 * c[i - 1];
    c[i] = h1 / diag;
    d[i] = (rhs - h0 * d[i - 1]) / diag;
  }
  for (std::size_t i = n - 2; i >= 1; --i) m[i] = d[i] - c[i] * m[i + 1];
  const double a = xs[k + 1] - x, b = x - xs[k];
  return Value(m[k] * a * a * a / (6 * h) + m[k + 1] * b * b * b / (6 * h) + (ys[k] / h - m[k] * h / 6) * a +
               (ys[k + 1] / h - m[k + 1] * h / 6) * b);
}

// The bit operations work on the 32 bits of an int; shift and rotation
// counts are taken modulo 32.
uint32_t Bits(const Call& call, std::size_t i) { return static_cast<uint32_t>(call.Int(i, 0)); }
Value FromBits(uint32_t bits) { return Value(static_cast<int64_t>(static_cast<int32_t>(bits))); }
unsigned Count(const Call& call) { return static_cast<unsigned>(call.Int(1, 0)) & 31u; }

Function BitOp(uint32_t (*op)(uint32_t, uint32_t, unsigned)) {
  return {"value:i ?other:i", [op](Call& call) -> Value { return FromBits(op(Bits(call, 0), Bits(call, 1), Count(call))); }};
}

uint32_t RotateLeft(uint32_t v, unsigned n) { return n == 0 ? v : (v << n) | (v >> (32 - n)); }

void RegisterBitOperations(FunctionTable& table) {
  table["bitand"] = BitOp([](uint32_t a, uint32_t b, unsigned) { return a & b; });
  table["bitor"] = BitOp([](uint32_t a, uint32_t b, unsigned) { return a | b; });
  table["bitxor"] = BitOp([](uint32_t a, uint32_t b, unsigned) { return a ^ b; });
  table["bitnot"] = BitOp([](uint32_t a, uint32_t, unsigned) { return ~a; });
  const Function shiftLeft = BitOp([](uint32_t a, uint32_t, unsigned n) { return a << n; });
  const Function shiftArithmetic = BitOp([](uint32_t a, uint32_t, unsigned n) {
    return static_cast<uint32_t>(static_cast<int32_t>(a) >> n);
  });
  const Function shiftLogical = BitOp([](uint32_t a, uint32_t, unsigned n) { return a >> n; });
  const Function rotateLeft = BitOp([](uint32_t a, uint32_t, unsigned n) { return RotateLeft(a, n); });
  const Function rotateRight = BitOp([](uint32_t a, uint32_t, unsigned n) { return RotateLeft(a, (32 - n) & 31u); });
  const Function test = {"value:i bit:i", [](Call& call) -> Value { return Value(((Bits(call, 0) >> Count(call)) & 1u) != 0); }};
  const Function set = BitOp([](uint32_t a, uint32_t, unsigned n) { return a | (1u << n); });
  const Function clear = BitOp([](uint32_t a, uint32_t, unsigned n) { return a & ~(1u << n); });
  const Function change = BitOp([](uint32_t a, uint32_t, unsigned n) { return a ^ (1u << n); });
  for (const char* name : {"bitlshift", "bitshl", "bitsal"}) table[name] = shiftLeft;
  for (const char* name : {"bitrshifta", "bitrshifts", "bitsar"}) table[name] = shiftArithmetic;
  for (const char* name : {"bitrshiftl", "bitrshiftu", "bitshr"}) table[name] = shiftLogical;
  for (const char* name : {"bitlrotate", "bitrol"}) table[name] = rotateLeft;
  for (const char* name : {"bitrrotate", "bitrrotatel", "bitror"}) table[name] = rotateRight;
  table["bitsetcount"] = {"values:i+", [](Call& call) -> Value {
                            int64_t count = 0;
                            for (const Value& v : call.rest) count += std::popcount(static_cast<uint32_t>(v.asInt()));
                            return Value(count);
                          }};
  for (const char* name : {"bittest", "bittst"}) table[name] = test;
  table["bitset"] = set;
  for (const char* name : {"bitclear", "bitclr"}) table[name] = clear;
  for (const char* name : {"bitchange", "bitchg"}) table[name] = change;
}

void RegisterClipProperties(FunctionTable& table) {
  table["width"] = Property([](const ClipInfo& i) { return Value(i.width); });
  table["height"] = Property([](const ClipInfo& i) { return Value(i.height); });
  table["framecount"] = Property([](const ClipInfo& i) { return Value(i.frameCount); });
  table["framerate"] = Property([](const ClipInfo& i) {
    return Value(static_cast<double>(i.fps.num) / static_cast<double>(i.fps.den));
  });
  table["frameratenumerator"] = Property([](const ClipInfo& i) { return Value(i.fps.num); });
  table["frameratedenominator"] = Property([](const ClipInfo& i) { return Value(i.fps.den); });
  table["audiorate"] = Property([](const ClipInfo& i) { return Value(i.sampleRate); });
  table["audiochannels"] = Property([](const ClipInfo& i) { return Value(i.channels); });
  table["audiolength"] = Property([](const ClipInfo& i) { return Value(i.sampleCount); });
  table["audiolengthf"] = Property([](const ClipInfo& i) { return Value(static_cast<double>(i.sampleCount)); });
  // The sample count's digits below and above `m` (a billion by default),
  // and all of them as a string, for counts too long for an int.
  table["audiolengthlo"] = {"clip:c ?m:i", [](Call& call) -> Value {
                              const int64_t m = call.Int(1, 1'000'000'000);
                              if (m <= 0) call.Fail("m must be above 0");
                              return Value(call.Clip(0)->info().sampleCount % m);
                            }};
  table["audiolengthhi"] = {"clip:c ?d:i", [](Call& call) -> Value {
                              const int64_t d = call.Int(1, 1'000'000'000);
                              if (d <= 0) call.Fail("d must be above 0");
                              return Value(call.Clip(0)->info().sampleCount / d);
                            }};
  table["audiolengths"] = Property([](const ClipInfo& i) { return Value(std::to_string(i.sampleCount)); });
  table["audioduration"] = Property([](const ClipInfo& i) {
    return Value(i.hasAudio && i.sampleRate > 0 ? static_cast<double>(i.sampleCount) / i.sampleRate : 0.0);
  });
  // The engine's sound is 16-bit integer samples.
  table["audiobits"] = Property([](const ClipInfo& i) { return Value(i.hasAudio ? 16 : 0); });
  table["isaudioint"] = Property([](const ClipInfo& i) { return Value(i.hasAudio); });
  table["isaudiofloat"] = Property([](const ClipInfo&) { return Value(false); });
  table["hasaudio"] = Property([](const ClipInfo& i) { return Value(i.hasAudio); });
  table["hasvideo"] = Property([](const ClipInfo& i) { return Value(i.hasVideo); });
  // The 8-bit names (IsRGB24, IsYV12, IsY8, ...) are for 8-bit pictures
  // only; Is420, IsY, IsPlanarRGB and the like take every depth.
  auto is = [](AVPixelFormat format) {
    return Property([format](const ClipInfo& i) { return Value(i.hasVideo && i.pixelFormat == format); });
  };
  // Of one of the colour families (given by their 8-bit formats), at any depth.
  auto anyFamily = [](std::initializer_list<AVPixelFormat> formats) {
    return Property([formats = std::vector<AVPixelFormat>(formats)](const ClipInfo& i) {
      for (AVPixelFormat f : formats)
        if (i.hasVideo && AtDepth(f, BitsPerComponent(i.pixelFormat)) == i.pixelFormat) return Value(true);
      return Value(false);
    });
  };
  table["isrgb"] = Property([](const ClipInfo& i) { return Value(i.hasVideo && IsRgbFormat(i.pixelFormat)); });
  table["isrgb24"] = is(AV_PIX_FMT_BGR24);
  table["isrgb32"] = is(AV_PIX_FMT_BGRA);
  table["isrgb48"] = is(AV_PIX_FMT_BGR48LE);
  table["isrgb64"] = is(AV_PIX_FMT_BGRA64LE);
  table["isplanarrgb"] = anyFamily({AV_PIX_FMT_GBRP});
  table["isplanarrgba"] = anyFamily({AV_PIX_FMT_GBRAP});
  table["ispackedrgb"] = anyFamily({AV_PIX_FMT_BGR24, AV_PIX_FMT_BGRA});
  table["isyv12"] = is(AV_PIX_FMT_YUV420P);
  table["isyv16"] = is(AV_PIX_FMT_YUV422P);
  table["isyv24"] = is(AV_PIX_FMT_YUV444P);
  table["isyv411"] = is(AV_PIX_FMT_YUV411P);
  table["isy8"] = is(AV_PIX_FMT_GRAY8);
  table["isyuy2"] = is(AV_PIX_FMT_YUYV422);
  table["is420"] = anyFamily({AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUVA420P});
  table["is422"] = anyFamily({AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUVA422P});
  table["is444"] = anyFamily({AV_PIX_FMT_YUV444P, AV_PIX_FMT_YUVA444P});
  table["isy"] = anyFamily({AV_PIX_FMT_GRAY8});
  table["isyuva"] = anyFamily({AV_PIX_FMT_YUVA420P, AV_PIX_FMT_YUVA422P, AV_PIX_FMT_YUVA444P});
  table["hasalpha"] = Property([](const ClipInfo& i) { return Value(i.hasVideo && HasAlpha(i.pixelFormat)); });
  table["isvideofloat"] = Property([](const ClipInfo& i) { return Value(i.hasVideo && IsFloatFormat(i.pixelFormat)); });
  table["isyuv"] = Property([](const ClipInfo& i) { return Value(i.hasVideo && !IsRgbFormat(i.pixelFormat)); });
  table["isplanar"] = Property([](const ClipInfo& i) { return Value(i.hasVideo && IsPlanar(i.pixelFormat)); });
  table["isinterleaved"] = Property([](const ClipInfo& i) { return Value(i.hasVideo && !IsPlanar(i.pixelFormat)); });
  table["isfieldbased"] = Property([](const ClipInfo& i) { return Value(i.fieldBased); });
  table["isframebased"] = Property([](const ClipInfo& i) { return Value(!i.fieldBased); });
  table["bitspercomponent"] = Property([](const ClipInfo& i) { return Value(i.hasVideo ? BitsPerComponent(i.pixelFormat) : 0); });
  table["componentsize"] = Property([](const ClipInfo& i) { return Value(i.hasVideo ? BytesPerComponent(i.pixelFormat) : 0); });
  table["numcomponents"] = Property([](const ClipInfo& i) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(i.pixelFormat);
    return Value(i.hasVideo && d ? static_cast<int>(d->nb_components) : 0);
  });
  table["pixeltype"] = Property([](const ClipInfo& i) { return Value(PixelTypeName(i.pixelFormat)); });
  // A field-based clip's frames alternate between the two fields.
  table["getparity"] = {"clip:c ?n:i", [](Call& call) -> Value {
                          const ClipInfo& i = call.Clip(0)->info();
                          const bool odd = (call.Int(1, 0) & 1) != 0;
                          return Value(i.fieldBased ? i.topFieldFirst != odd : i.topFieldFirst);
                        }};
}

// ContinuedNumerator and ContinuedDenominator: the last convergent of the
// continued fraction of num / den (or of a float, num alone) whose
// denominator is at most `limit`; without a limit, the fraction in lowest
// terms (a float to its single precision).
Function Continued(bool numerator) {
  return {"value:f ?denominator:i ?limit:i", [numerator](Call& call) -> Value {
            // After a float the second number is the limit.
            if (call.args[0].isFloat() && call.args[1].defined()) {
              if (call.args[2].defined()) call.Fail("a float takes no denominator");
              std::swap(call.args[1], call.args[2]);
            }
            const int64_t limit = call.Int(2, 0);
            if (call.args[2].defined() && limit < 1) call.Fail("limit must be 1 or more");
            const int64_t maxDen = call.args[2].defined() ? limit : INT32_MAX;
            int64_t h0 = 1, h1 = 0, k0 = 0, k1 = 1;  // convergents h/k
            // Takes the next term; false when its convergent is past the limit.
            const auto step = [&](int64_t a) {
              const int64_t h = a * h0 + h1, k = a * k0 + k1;
              if (k > maxDen || std::llabs(h) > INT32_MAX) return false;
              h1 = std::exchange(h0, h);
              k1 = std::exchange(k0, k);
              return true;
            };
            if (call.args[0].isInt()) {
              // Euclid's terms of num / den, exactly.
              int64_t num = call.args[0].asInt(), den = call.Int(1, 1);
              if (den == 0) call.Fail("division by zero");
              if (den < 0) {
                num = -num;
                den = -den;
              }
              while (den != 0) {
                const int64_t a = num >= 0 ? num / den : -((-num + den - 1) / den);
                if (!step(a)) break;
                num = std::exchange(den, num - a * den);
              }
            } else {
              const double x = call.args[0].asFloat();
              if (!std::isfinite(x) || std::fabs(x) > INT32_MAX) call.Fail("the value is out of range");
              const double tolerance = std::fabs(x) * std::numeric_limits<float>::epsilon() / 2;
              double rest = x;
              for (int i = 0; i < 64; ++i) {
                const double a = std::floor(rest);
                if (!step(static_cast<int64_t>(a))) break;
                const double frac = rest - a;
                if (std::fabs(x - static_cast<double>(h0) / static_cast<double>(k0)) <= tolerance || frac < 1e-12) break;
                rest = 1.0 / frac;
              }
            }
            return Value(numerator ? h0 : k0);
          }};
}

void RegisterMaths(FunctionTable& table) {
  table["continuednumerator"] = Continued(true);
  table["continueddenominator"] = Continued(false);
  table["int"] = Rounding([](double x) { return std::trunc(x); });
  table["round"] = Rounding([](double x) { return std::round(x); });
  table["floor"] = Rounding([](double x) { return std::floor(x); });
  table["ceil"] = Rounding([](double x) { return std::ceil(x); });
  table["float"] = Maths([](double x) { return x; });
  table["frac"] = Maths([](double x) { return x - std::trunc(x); });
  table["sin"] = Maths([](double x) { return std::sin(x); });
  table["cos"] = Maths([](double x) { return std::cos(x); });
  table["tan"] = Maths([](double x) { return std::tan(x); });
  table["asin"] = Maths([](double x) { return std::asin(x); });
  table["acos"] = Maths([](double x) { return std::acos(x); });
  table["atan"] = Maths([](double x) { return std::atan(x); });
  table["sinh"] = Maths([](double x) { return std::sinh(x); });
  table["cosh"] = Maths([](double x) { return std::cosh(x); });
  table["tanh"] = Maths([](double x) { return std::tanh(x); });
  table["exp"] = Maths([](double x) { return std::exp(x); });
  table["log"] = Maths([](double x) { return std::log(x); });
  table["log10"] = Maths([](double x) { return std::log10(x); });
  table["sqrt"] = Maths([](double x) { return std::sqrt(x); });
  table["atan2"] = Maths2([](double y, double x) { return std::atan2(y, x); }, "y:f x:f");
  table["pow"] = Maths2([](double b, double e) { return std::pow(b, e); }, "base:f power:f");
  table["fmod"] = Maths2([](double a, double b) { return std::fmod(a, b); }, "a:f b:f");
  table["pi"] = {"", [](Call&) -> Value { return Value(std::numbers::pi); }};
  table["abs"] = {"value:f", [](Call& call) -> Value {
                    const Value& v = call.args[0];
                    if (!v.isInt()) return Value(std::fabs(v.asFloat()));
                    // As in 32-bit arithmetic, the most negative int stays as it is.
                    return Value(static_cast<int64_t>(static_cast<int32_t>(
                        v.asInt() < 0 ? 0u - static_cast<uint32_t>(v.asInt()) : static_cast<uint32_t>(v.asInt()))));
                  }};
  table["sign"] = {"value:f", [](Call& call) -> Value {
                     const double x = call.Float(0, 0);
                     return Value(x > 0 ? 1 : x < 0 ? -1 : 0);
                   }};
  table["min"] = Extreme(false);
  table["max"] = Extreme(true);
  // (m * n + d / 2) / d, with the product in 64 bits.
  table["muldiv"] = {"multiplicand:i multiplier:i divisor:i", [](Call& call) -> Value {
                       const int64_t m = static_cast<int32_t>(call.Int(0, 0)), n = static_cast<int32_t>(call.Int(1, 0)),
                                     d = static_cast<int32_t>(call.Int(2, 1));
                       if (d == 0) call.Fail("division by zero");
                       return Value(static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>((m * n + d / 2) / d))));
                     }};
  table["rand"] = {"?max:i ?scale:b ?seed:b", Rand};
  table["spline"] = {"x:f points:.*", Spline};
}

}  // namespace

void RegisterScriptFunctions(std::map<std::string, Function>& table) {
  RegisterClipProperties(table);
  RegisterMaths(table);
  RegisterBitOperations(table);
}

}  // namespace avs
