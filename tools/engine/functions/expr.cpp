// Expr: each channel of the result computed from the same channel of up to
// 26 clips by an expression in reverse Polish notation, in 32-bit floats,
// then rounded and clamped to the sample range. An expression that reads
// only its first clip, with no position or time, becomes a table of the 256
// values; a constant one fills its channel.
#include "tools/engine/functions/channels.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <sstream>

namespace avs {

namespace {

using K = ChannelKind;

constexpr int kMaxClips = 26;

enum class Op {
  Number, Load, Fetch, Store, SX, SY, SXR, SYR, FrameNo, Time, Width, Height,
  // Two operands.
  Add, Sub, Mul, Div, Mod, Min, Max, Pow, Atan2, Gt, Lt, Eq, Ge, Le, Ne, And, Or, Xor,
  // One operand.
  Sqrt, Abs, Exp, Log, Neg, Sgn, Sin, Cos, Tan, Asin, Acos, Atan, Round, Floor, Ceil, Trunc, Not,
  // Three operands.
  Ternary, Clip,
  // The stack itself.
  Dup, Swap,
};

struct Instruction {
  Op op;
  float value = 0;   // Number
  int index = 0;     // Load: the clip; Store/Fetch: the variable; Dup/Swap: the depth
  int dx = 0, dy = 0;  // Load: the relative position
};

// The clip a letter names: x, y, z, then a to w.
int ClipLetter(char c) {
  if (c == 'x' || c == 'y' || c == 'z') return c - 'x';
  if (c >= 'a' && c <= 'w') return c - 'a' + 3;
  return -1;
}

bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }

// An expression read into instructions, checked for the stack's depth.
struct Program {
  std::vector<Instruction> code;
  int depth = 0;          // the stack's deepest
  int variables = 0;
  unsigned clips = 0;     // bit i: clip i is read
  bool positional = false;  // reads sx, sy, offsets, frameno or time

  // Whether the value is the same for every sample.
  bool Constant() const { return clips == 0 && !positional; }
};

class Compiler {
 public:
  Compiler(const Call& call, int clipCount) : call_(call), clipCount_(clipCount) {}

  Program Compile(const std::string& text) {
    Program program;
    std::istringstream words(text);
    std::string word;
    int depth = 0;
    std::vector<std::string> tokens;
    while (words >> word) tokens.push_back(word);
    if (tokens.empty()) tokens.push_back("x");  // "" copies the first clip's channel
    // Bit-depth words (i8..i16, f32) set the depth scaleb and scalef scale
    // from; this engine's pictures are all 8-bit.
    for (const std::string& token : tokens) {
      std::vector<Instruction> read;
      if (token == "i8" || token == "i10" || token == "i12" || token == "i14" || token == "i16" || token == "f32") {
        baseBits_ = token == "f32" ? 32 : std::stoi(token.substr(1));
      } else if (token == "scaleb" || token == "scalef") {
        // From the base depth to the clip's 8 bits: by a power of two, or
        // stretching the base range's maximum to 255.
        const float factor = token == "scaleb" ? std::ldexp(1.0f, 8 - std::min(baseBits_, 16))
                                               : 255.0f / (baseBits_ >= 32 ? 1.0f : std::ldexp(1.0f, baseBits_) - 1);
        read = {{Op::Number, factor}, {Op::Mul}};
      } else {
        read = {Read(token, program)};
      }
      for (const Instruction& in : read) {
        const auto [pops, pushes] = Arity(in);
        if (depth < pops) Fail(text, "'" + token + "' needs " + std::to_string(pops) + " values on the stack");
        depth += pushes - pops;
        program.depth = std::max(program.depth, depth);
        program.code.push_back(in);
      }
    }
    if (depth != 1) Fail(text, "leaves " + std::to_string(depth) + " values on the stack instead of one");
    program.variables = static_cast<int>(variables_.size());
    return program;
  }

 private:
  [[noreturn]] void Fail(const std::string& text, const std::string& why) const {
    call_.Fail("the expression \"" + text + "\" " + why);
  }

  static std::pair<int, int> Arity(const Instruction& in) {
    switch (in.op) {
      case Op::Number: case Op::Load: case Op::Fetch: case Op::SX: case Op::SY: case Op::SXR: case Op::SYR:
      case Op::FrameNo: case Op::Time: case Op::Width: case Op::Height:
        return {0, 1};
      case Op::Store: return {1, in.index < 0 ? 0 : 1};
      case Op::Ternary: case Op::Clip: return {3, 1};
      case Op::Dup: return {in.index + 1, in.index + 2};
      case Op::Swap: return {in.index + 1, in.index + 1};
      default: return {in.op < Op::Sqrt ? 2 : 1, 1};
    }
  }

  Instruction Read(const std::string& token, Program& program) {
    static const std::map<std::string, Op> kOperators = {
        {"+", Op::Add},     {"-", Op::Sub},      {"*", Op::Mul},     {"/", Op::Div},     {"%", Op::Mod},
        {"min", Op::Min},   {"max", Op::Max},    {"pow", Op::Pow},   {"^", Op::Pow},     {"atan2", Op::Atan2},
        {">", Op::Gt},      {"<", Op::Lt},       {"=", Op::Eq},      {"==", Op::Eq},     {">=", Op::Ge},
        {"<=", Op::Le},     {"!=", Op::Ne},      {"and", Op::And},   {"&", Op::And},     {"or", Op::Or},
        {"|", Op::Or},      {"xor", Op::Xor},    {"sqrt", Op::Sqrt}, {"abs", Op::Abs},   {"exp", Op::Exp},
        {"log", Op::Log},   {"neg", Op::Neg},    {"sgn", Op::Sgn},   {"sin", Op::Sin},   {"cos", Op::Cos},
        {"tan", Op::Tan},   {"asin", Op::Asin},  {"acos", Op::Acos}, {"atan", Op::Atan}, {"round", Op::Round},
        {"floor", Op::Floor}, {"ceil", Op::Ceil}, {"trunc", Op::Trunc}, {"not", Op::Not}, {"?", Op::Ternary},
        {"clip", Op::Clip}, {"sx", Op::SX},      {"sy", Op::SY},     {"sxr", Op::SXR},   {"syr", Op::SYR},
        {"frameno", Op::FrameNo}, {"time", Op::Time}, {"width", Op::Width}, {"height", Op::Height}};
    if (auto it = kOperators.find(token); it != kOperators.end()) {
      if (it->second >= Op::SX && it->second <= Op::Height) program.positional = true;
      return {it->second};
    }
    if (auto constant = Constant(token)) return {Op::Number, *constant};
    float number = 0;
    auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), number);
    if (ec == std::errc() && end == token.data() + token.size()) return {Op::Number, number};
    if (token.starts_with("dup") || token.starts_with("swap")) {
      const bool dup = token.starts_with("dup");
      const std::string count = token.substr(dup ? 3 : 4);
      int n = dup ? 0 : 1;
      if (!count.empty() && std::from_chars(count.data(), count.data() + count.size(), n).ec != std::errc())
        call_.Fail("unknown word \"" + token + "\" in an expression");
      if (n < 0 || n > 64 || (!dup && n < 1)) call_.Fail("\"" + token + "\" reaches too deep into the stack");
      return {dup ? Op::Dup : Op::Swap, 0, n};
    }
    if (token.size() >= 1 && ClipLetter(token[0]) >= 0 && (token.size() == 1 || token[1] == '[' || token[1] == '.'))
      return LoadClip(token, program);
    if ((token.back() == '@' || token.back() == '^') && token.size() > 1 && IsNameStart(token[0]))
      return {Op::Store, 0, Variable(token.substr(0, token.size() - 1)) * (token.back() == '^' ? -1 : 1) -
                               (token.back() == '^' ? 1 : 0)};
    if (IsNameStart(token[0]) && variables_.count(token)) return {Op::Fetch, 0, variables_.at(token)};
    call_.Fail("unknown word \"" + token + "\" in an expression");
  }

  // x, x[dx,dy]; frame properties (x._Name) are not kept by this engine.
  Instruction LoadClip(const std::string& token, Program& program) {
    const int clip = ClipLetter(token[0]);
    if (clip >= clipCount_)
      call_.Fail("the expression reads clip " + token.substr(0, 1) + ", but only " + std::to_string(clipCount_) +
                 (clipCount_ == 1 ? " clip is" : " clips are") + " given");
    if (token.size() > 1 && token[1] == '.') call_.Fail("frame properties such as " + token + " are not kept");
    Instruction in{Op::Load, 0, clip};
    if (token.size() > 1) {
      int dx = 0, dy = 0;
      const char* p = token.data() + 2;
      const char* end = token.data() + token.size();
      auto r1 = std::from_chars(p, end, dx);
      const bool comma = r1.ec == std::errc() && r1.ptr < end && *r1.ptr == ',';
      auto r2 = comma ? std::from_chars(r1.ptr + 1, end, dy) : r1;
      if (!comma || r2.ec != std::errc() || r2.ptr + 1 != end || *r2.ptr != ']' ||
          std::abs(dx) > kMaxPictureSide || std::abs(dy) > kMaxPictureSide)
        call_.Fail("\"" + token + "\" is not a pixel of a clip at a relative position such as x[-1,0]");
      in.dx = dx;
      in.dy = dy;
      if (dx || dy) program.positional = true;
    }
    program.clips |= 1u << clip;
    return in;
  }

  int Variable(const std::string& name) {
    auto [it, added] = variables_.try_emplace(name, static_cast<int>(variables_.size()));
    if (added && variables_.size() > 64) call_.Fail("an expression may use at most 64 variables");
    return it->second;
  }

  // The range constants of 8-bit samples, with or without a clip's suffix.
  std::optional<float> Constant(const std::string& token) const {
    std::string name = token;
    if (name.size() > 2 && name[name.size() - 2] == '_' && ClipLetter(name.back()) >= 0) name.resize(name.size() - 2);
    static const std::map<std::string, float> kLuma = {
        {"ymin", 16},       {"ymax", 235},       {"cmin", 16},         {"cmax", 240},       {"range_size", 256},
        {"range_min", 0},   {"range_half", 128}, {"yrange_min", 0},    {"yrange_half", 128}, {"yrange_max", 255},
        {"range_max", 255}, {"pi", static_cast<float>(M_PI)}};
    if (auto it = kLuma.find(name); it != kLuma.end()) return it->second;
    return std::nullopt;
  }

  const Call& call_;
  int clipCount_;
  int baseBits_ = 8;
  std::map<std::string, int> variables_;
};

float Truthy(float v) { return v > 0 ? 1.0f : 0.0f; }

// One channel of the result: its program, or the table it became, and where
// its samples lie in each clip's frames.
struct Plane {
  Channel out;
  std::vector<std::optional<Channel>> in;  // per clip
  Program program;
  std::optional<std::array<uint8_t, 256>> table;
  bool constant = false;
  uint8_t fill = 0;
};

uint8_t ToSample(float v) {
  if (!(v > 0)) return 0;  // NaN too
  if (v >= 255) return 255;
  return static_cast<uint8_t>(v + 0.5f);
}

// Runs a program over one row of `width` samples, leaving the results in
// `stack[0]`.
class RowMachine {
 public:
  explicit RowMachine(const Program& program, int width)
      : program_(program), width_(width), stack_(static_cast<std::size_t>(program.depth)),
        variables_(static_cast<std::size_t>(program.variables)) {
    for (auto& row : stack_) row.resize(static_cast<std::size_t>(width));
    for (auto& row : variables_) row.resize(static_cast<std::size_t>(width));
  }

  // `load(clip, dx, dy, row)` fills a row of a clip's samples.
  template <class Load>
  const std::vector<float>& Run(const Load& load, int y, int height, int64_t frame, int64_t frames) {
    std::size_t top = 0;  // values on the stack
    const std::size_t n = static_cast<std::size_t>(width_);
    auto unary = [&](auto f) {
      float* a = stack_[top - 1].data();
      for (std::size_t i = 0; i < n; ++i) a[i] = f(a[i]);
    };
    auto binary = [&](auto f) {
      float* a = stack_[top - 2].data();
      const float* b = stack_[top - 1].data();
      for (std::size_t i = 0; i < n; ++i) a[i] = f(a[i], b[i]);
      --top;
    };
    auto fill = [&](float value) {
      std::fill(stack_[top].begin(), stack_[top].end(), value);
      ++top;
    };
    for (const Instruction& in : program_.code) {
      switch (in.op) {
        case Op::Number: fill(in.value); break;
        case Op::Load: load(in.index, in.dx, in.dy, stack_[top++].data()); break;
        case Op::Fetch: stack_[top++] = variables_[static_cast<std::size_t>(in.index)]; break;
        case Op::Store:
          if (in.index >= 0) {
            variables_[static_cast<std::size_t>(in.index)] = stack_[top - 1];
          } else {
            variables_[static_cast<std::size_t>(-in.index - 1)] = stack_[top - 1];
            --top;
          }
          break;
        case Op::SX:
          for (std::size_t i = 0; i < n; ++i) stack_[top][i] = static_cast<float>(i);
          ++top;
          break;
        case Op::SXR:
          for (std::size_t i = 0; i < n; ++i)
            stack_[top][i] = n > 1 ? static_cast<float>(i) / static_cast<float>(n - 1) : 0.0f;
          ++top;
          break;
        case Op::SY: fill(static_cast<float>(y)); break;
        case Op::SYR: fill(height > 1 ? static_cast<float>(y) / static_cast<float>(height - 1) : 0.0f); break;
        case Op::FrameNo: fill(static_cast<float>(frame)); break;
        case Op::Time: fill(frames > 0 ? static_cast<float>(frame) / static_cast<float>(frames) : 0.0f); break;
        case Op::Width: fill(static_cast<float>(width_)); break;
        case Op::Height: fill(static_cast<float>(height)); break;
        case Op::Add: binary([](float a, float b) { return a + b; }); break;
        case Op::Sub: binary([](float a, float b) { return a - b; }); break;
        case Op::Mul: binary([](float a, float b) { return a * b; }); break;
        case Op::Div: binary([](float a, float b) { return a / b; }); break;
        case Op::Mod: binary([](float a, float b) { return a - std::trunc(a / b) * b; }); break;
        case Op::Min: binary([](float a, float b) { return std::min(a, b); }); break;
        case Op::Max: binary([](float a, float b) { return std::max(a, b); }); break;
        case Op::Pow: binary([](float a, float b) { return std::pow(a, b); }); break;
        case Op::Atan2: binary([](float a, float b) { return std::atan2(a, b); }); break;
        case Op::Gt: binary([](float a, float b) { return a > b ? 1.0f : 0.0f; }); break;
        case Op::Lt: binary([](float a, float b) { return a < b ? 1.0f : 0.0f; }); break;
        case Op::Eq: binary([](float a, float b) { return a == b ? 1.0f : 0.0f; }); break;
        case Op::Ge: binary([](float a, float b) { return a >= b ? 1.0f : 0.0f; }); break;
        case Op::Le: binary([](float a, float b) { return a <= b ? 1.0f : 0.0f; }); break;
        case Op::Ne: binary([](float a, float b) { return a != b ? 1.0f : 0.0f; }); break;
        case Op::And: binary([](float a, float b) { return Truthy(a) * Truthy(b); }); break;
        case Op::Or: binary([](float a, float b) { return std::max(Truthy(a), Truthy(b)); }); break;
        case Op::Xor: binary([](float a, float b) { return Truthy(a) != Truthy(b) ? 1.0f : 0.0f; }); break;
        case Op::Sqrt: unary([](float a) { return std::sqrt(std::max(a, 0.0f)); }); break;
        case Op::Abs: unary([](float a) { return std::fabs(a); }); break;
        case Op::Exp: unary([](float a) { return std::exp(a); }); break;
        case Op::Log: unary([](float a) { return std::log(a); }); break;
        case Op::Neg: unary([](float a) { return -a; }); break;
        case Op::Sgn: unary([](float a) { return a > 0 ? 1.0f : (a < 0 ? -1.0f : 0.0f); }); break;
        case Op::Sin: unary([](float a) { return std::sin(a); }); break;
        case Op::Cos: unary([](float a) { return std::cos(a); }); break;
        case Op::Tan: unary([](float a) { return std::tan(a); }); break;
        case Op::Asin: unary([](float a) { return std::asin(a); }); break;
        case Op::Acos: unary([](float a) { return std::acos(a); }); break;
        case Op::Atan: unary([](float a) { return std::atan(a); }); break;
        case Op::Round: unary([](float a) { return std::nearbyint(a); }); break;  // ties to even
        case Op::Floor: unary([](float a) { return std::floor(a); }); break;
        case Op::Ceil: unary([](float a) { return std::ceil(a); }); break;
        case Op::Trunc: unary([](float a) { return std::trunc(a); }); break;
        case Op::Not: unary([](float a) { return a > 0 ? 0.0f : 1.0f; }); break;
        case Op::Ternary: {
          float* c = stack_[top - 3].data();
          const float* t = stack_[top - 2].data();
          const float* e = stack_[top - 1].data();
          for (std::size_t i = 0; i < n; ++i) c[i] = c[i] > 0 ? t[i] : e[i];
          top -= 2;
          break;
        }
        case Op::Clip: {
          float* v = stack_[top - 3].data();
          const float* lo = stack_[top - 2].data();
          const float* hi = stack_[top - 1].data();
          for (std::size_t i = 0; i < n; ++i) v[i] = std::max(std::min(v[i], hi[i]), lo[i]);
          top -= 2;
          break;
        }
        case Op::Dup:
          stack_[top] = stack_[top - 1 - static_cast<std::size_t>(in.index)];
          ++top;
          break;
        case Op::Swap: std::swap(stack_[top - 1], stack_[top - 1 - static_cast<std::size_t>(in.index)]); break;
      }
    }
    return stack_[0];
  }

 private:
  const Program& program_;
  int width_;
  std::vector<std::vector<float>> stack_;
  std::vector<std::vector<float>> variables_;
};

class ExprClip : public PictureFilter {
 public:
  ExprClip(const Call& call, const ClipInfo& info, std::vector<ClipPtr> clips, std::vector<Plane> planes)
      : PictureFilter(info, call.origin, std::move(clips)), planes_(std::move(planes)) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    unsigned used = 0;
    for (const Plane& plane : planes_) used |= plane.program.clips;
    std::vector<FrameRef> frames(inputs().size());
    for (std::size_t i = 0; i < frames.size(); ++i)
      if (used & (1u << i) || i == 0) frames[i] = in.Frame(i, n);
    FramePtr out = NewFrame(*frames[0]);
    for (const Plane& plane : planes_) Fill(plane, frames, *out, n);
    return Share(std::move(out));
  }

 private:
  void Fill(const Plane& plane, const std::vector<FrameRef>& frames, AVFrame& out, int64_t n) const {
    const Channel& to = plane.out;
    if (plane.constant) {
      for (int y = 0; y < to.height; ++y)
        for (int x = 0; x < to.width; ++x) to.Row(out, y)[x * to.step] = plane.fill;
      return;
    }
    if (plane.table) {
      const Channel& from = *plane.in[0];
      for (int y = 0; y < to.height; ++y) {
        uint8_t* row = to.Row(out, y);
        const uint8_t* source = from.Row(*frames[0], y);
        for (int x = 0; x < to.width; ++x) row[x * to.step] = (*plane.table)[source[x * from.step]];
      }
      return;
    }
    RowMachine machine(plane.program, to.width);
    const auto load = [&](int y) {
      return [&, y](int clip, int dx, int dy, float* dst) {
        const Channel& from = *plane.in[static_cast<std::size_t>(clip)];
        const uint8_t* row = from.Row(*frames[static_cast<std::size_t>(clip)], std::clamp(y + dy, 0, from.height - 1));
        for (int x = 0; x < from.width; ++x) dst[x] = row[std::clamp(x + dx, 0, from.width - 1) * from.step];
      };
    };
    for (int y = 0; y < to.height; ++y) {
      const std::vector<float>& values = machine.Run(load(y), y, to.height, n, info().frameCount);
      uint8_t* row = to.Row(out, y);
      for (int x = 0; x < to.width; ++x) row[x * to.step] = ToSample(values[static_cast<std::size_t>(x)]);
    }
  }

  std::vector<Plane> planes_;
};

// The channels of a picture in Expr's order: Y, U, V or R, G, B, then alpha.
std::vector<Channel> OrderedChannels(AVPixelFormat format, int width, int height) {
  std::vector<Channel> channels = ChannelsOf(format, width, height);
  static constexpr K kOrder[] = {K::Y, K::U, K::V, K::R, K::G, K::B, K::A};
  std::sort(channels.begin(), channels.end(), [](const Channel& a, const Channel& b) {
    return std::find(std::begin(kOrder), std::end(kOrder), a.kind) < std::find(std::begin(kOrder), std::end(kOrder), b.kind);
  });
  return channels;
}

Value Expr(Call& call) {
  const std::vector<Value>& clipValues = call.args[0].asArray().items;
  const std::vector<Value>& expressions = call.args[1].asArray().items;
  if (clipValues.size() > kMaxClips) call.Fail("takes at most 26 clips");
  std::vector<ClipPtr> clips;
  for (const Value& v : clipValues) {
    const ClipInfo& info = v.asClip()->info();
    if (!info.hasVideo) call.Fail("a clip has no video");
    RequireEightBit(call, info);
    if (info.width != clipValues[0].asClip()->info().width || info.height != clipValues[0].asClip()->info().height)
      call.Fail("the clips must have the same size");
    clips.push_back(v.asClip());
  }
  if (expressions.size() > 4) call.Fail("takes at most four expressions, one for each channel");
  ClipInfo info = clips[0]->info();
  if (call.args[2].defined()) info.pixelFormat = ParsePixelType(call, call.String(2, ""));
  CheckSize(call, info.width, info.height, info.pixelFormat);
  for (std::size_t i = 3; i <= 5; ++i) (void)call.Bool(i, true);  // code generation options: no meaning here
  const std::string scaling = Lower(call.String(6, "none"));
  if (scaling != "none" && scaling != "int" && scaling != "intf" && scaling != "float" && scaling != "floatf" &&
      scaling != "floatuv" && scaling != "all" && scaling != "allf")
    call.Fail("unknown scale_inputs \"" + call.String(6, "") + "\"");
  if (call.Int(9, 0) < 0 || call.Int(9, 0) > 2) call.Fail("lut must be 0, 1 or 2");

  std::vector<Plane> planes;
  const std::vector<Channel> outs = OrderedChannels(info.pixelFormat, info.width, info.height);
  for (std::size_t p = 0; p < outs.size(); ++p) {
    Plane plane{outs[p], {}, {}, std::nullopt};
    for (const ClipPtr& clip : clips) {
      const ClipInfo& from = clip->info();
      const std::vector<Channel> channels = OrderedChannels(from.pixelFormat, from.width, from.height);
      // A clip with fewer channels (Y8) lends its first to the others.
      const Channel& channel = p < channels.size() ? channels[p] : channels[0];
      if (channel.width == plane.out.width && channel.height == plane.out.height) plane.in.push_back(channel);
      else plane.in.push_back(std::nullopt);
    }
    // Alpha is copied unless an expression of its own is given; missing
    // expressions repeat the last.
    const bool alphaCopied = plane.out.kind == K::A && p >= expressions.size();
    const std::string text = alphaCopied || expressions.empty() ? "" : expressions[std::min(p, expressions.size() - 1)].asString();
    Compiler compiler(call, static_cast<int>(clips.size()));
    plane.program = compiler.Compile(text);
    for (int c = 0; c < kMaxClips; ++c)
      if (plane.program.clips & (1u << c) && !plane.in[static_cast<std::size_t>(c)])
        call.Fail(std::string("clip ") + "xyzabcdefghijklmnopqrstuvw"[c] + " has no channel of the size of the result's");
    if (plane.program.Constant()) {
      plane.constant = true;
      RowMachine machine(plane.program, 1);
      plane.fill = ToSample(machine.Run([](int, int, int, float*) {}, 0, 1, 0, 1)[0]);
    } else if (plane.program.clips == 1 && !plane.program.positional) {
      // Only x is read: one value for each of its 256 samples.
      RowMachine machine(plane.program, 256);
      const std::vector<float>& values = machine.Run(
          [](int, int, int, float* dst) {
            for (int v = 0; v < 256; ++v) dst[v] = static_cast<float>(v);
          },
          0, 1, 0, 1);
      plane.table.emplace();
      for (int v = 0; v < 256; ++v) (*plane.table)[static_cast<std::size_t>(v)] = ToSample(values[static_cast<std::size_t>(v)]);
    }
    planes.push_back(std::move(plane));
  }
  return std::make_shared<ExprClip>(call, info, std::move(clips), std::move(planes));
}

}  // namespace

void RegisterExprFunction(FunctionTable& table) {
  table["expr"] = {"clips:c+ expressions:s+ ?format:s ?optavx2:b ?optsinglemode:b ?optsse2:b ?scale_inputs:s "
                   "?clamp_float:b ?clamp_float_uv:b ?lut:i ?optvectorc:b",
                   Expr};
}

}  // namespace avs
