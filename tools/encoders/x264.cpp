// x264: encodes the clip of an AviSynth script, read through the project's
// script engine, with libx264 into a raw H.264 (Annex B) stream.
//
//   x264 [options] -o OUTPUT.264 INPUT.avs
//
// Options take the meaning they have for libx264's own option parser (any
// long option it knows), plus the front-end options --preset, --tune,
// --profile, --slow-firstpass, --frames, --quiet, --no-progress and -o.
#include "tools/encoders/common.h"
#include "tools/engine/engine.h"

extern "C" {
#include <libswscale/swscale.h>
#include <x264.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using kenc::Fail;

namespace {

constexpr const char* kUsage =
    "usage: x264 [options] -o OUTPUT.264 INPUT.avs\n"
    "  --preset NAME, --tune NAME, --profile NAME   as in libx264\n"
    "  --level, --me, --ref, --no-psy, --keyint, --min-keyint, --ratetol, --bframes,\n"
    "  --bitrate, --crf, --no-fast-pskip, --stats FILE, --pass 1|2 and every other option of\n"
    "  libx264's parser (--name VALUE or --name=VALUE)\n"
    "  --slow-firstpass   keep the full settings in a first pass (it is fast otherwise)\n"
    "  --frames N         encode only the first N frames\n"
    "  --quiet, --no-progress\n"
    "  -o FILE            the raw H.264 stream to write\n";

// Options of the x264 command line that take no value. Every "no-..." option
// is a switch as well.
constexpr const char* kSwitches[] = {
    "aud", "bff", "tff", "bluray-compat", "constrained-intra", "fake-interlaced", "filler", "interlaced",
    "intra-refresh", "open-gop", "pic-struct", "psnr", "ssim", "slow-firstpass", "sliced-threads",
    "stitchable", "non-deterministic", "cpu-independent", "opencl", "dts-compress", "quiet", "verbose",
    "no-progress", "single-sei"};

// The x264 command line's one-letter forms of long options.
struct ShortOption {
  char letter;
  const char* name;
};
constexpr ShortOption kShortOptions[] = {{'o', "output"}, {'B', "bitrate"}, {'b', "bframes"}, {'r', "ref"},
                                         {'I', "keyint"}, {'i', "min-keyint"}, {'p', "pass"}, {'q', "qp"},
                                         {'m', "subme"}, {'v', "verbose"}};

bool IsSwitch(const std::string& name) {
  if (name.rfind("no-", 0) == 0) return true;
  for (const char* known : kSwitches)
    if (name == known) return true;
  return false;
}

struct Options {
  x264_param_t param{};
  std::string input;
  std::string output;
  bool slowFirstPass = false;
  bool showProgress = true;
  int64_t frameLimit = -1;
  std::string profile;
};

struct NamedOption {
  std::string name;
  std::string value;
  bool hasValue;
};

int64_t ParseCount(const std::string& text, const std::string& option) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || value < 0) Fail("invalid value for --" + option + ": \"" + text + "\"");
  return value;
}

Options ParseOptions(int argc, char** argv) {
  std::vector<NamedOption> named;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string name;
    if (arg.size() > 2 && arg.rfind("--", 0) == 0) {
      name = arg.substr(2);
    } else if (arg.size() == 2 && arg[0] == '-' && arg[1] != '-') {
      for (const ShortOption& option : kShortOptions)
        if (option.letter == arg[1]) name = option.name;
      if (name.empty()) Fail("unknown option " + arg + "\n" + kUsage);
    } else {
      positional.push_back(arg);
      continue;
    }
    NamedOption option{name, {}, false};
    if (const auto equals = name.find('='); equals != std::string::npos) {
      option = {name.substr(0, equals), name.substr(equals + 1), true};
    } else if (!IsSwitch(name)) {
      if (i + 1 >= argc) Fail("option " + arg + " needs a value");
      option.value = argv[++i];
      option.hasValue = true;
    }
    named.push_back(option);
  }

  Options options;
  // The preset and tune lay the ground that every other option changes,
  // wherever they stand on the command line.
  std::string preset, tune;
  for (const NamedOption& option : named) {
    if (option.name == "preset") preset = option.value;
    if (option.name == "tune") tune = option.value;
  }
  if (x264_param_default_preset(&options.param, preset.empty() ? nullptr : preset.c_str(),
                                tune.empty() ? nullptr : tune.c_str()) < 0)
    Fail("invalid preset \"" + preset + "\" or tune \"" + tune + "\"");

  for (const NamedOption& option : named) {
    const std::string& name = option.name;
    if (name == "preset" || name == "tune") continue;
    if (name == "output") {
      options.output = option.value;
    } else if (name == "profile") {
      options.profile = option.value;
    } else if (name == "slow-firstpass") {
      options.slowFirstPass = true;
    } else if (name == "frames") {
      options.frameLimit = ParseCount(option.value, name);
    } else if (name == "quiet") {
      options.param.i_log_level = X264_LOG_NONE;
      options.showProgress = false;
    } else if (name == "no-progress") {
      options.showProgress = false;
    } else if (name == "verbose") {
      options.param.i_log_level = X264_LOG_DEBUG;
    } else {
      const int result = x264_param_parse(&options.param, name.c_str(), option.hasValue ? option.value.c_str() : nullptr);
      if (result == X264_PARAM_BAD_NAME) Fail("unknown option --" + name + "\n" + kUsage);
      if (result == X264_PARAM_BAD_VALUE) Fail("invalid value for --" + name + ": \"" + option.value + "\"");
    }
  }
  if (positional.size() != 1) Fail(positional.empty() ? "no input script given" : "more than one input given");
  options.input = positional[0];
  if (options.output.empty()) Fail("no output file given (-o)");
  return options;
}

// One progress line per write() call, so that a reader of the pipe never
// sees half an update.
class Progress {
 public:
  Progress(bool enabled, int64_t totalFrames, double frameRate)
      : enabled_(enabled), total_(totalFrames), frameRate_(frameRate), start_(Clock::now()), lastShown_(start_) {}

  void Update(int64_t frames, int64_t bytes) {
    const auto now = Clock::now();
    if (!enabled_ || now - lastShown_ < std::chrono::milliseconds(250)) return;
    lastShown_ = now;
    const double elapsed = Seconds(now);
    const double fps = elapsed > 0 ? frames / elapsed : 0;
    const double kbps = KiloBitsPerSecond(frames, bytes);
    char line[256];
    int length;
    if (total_ > 0) {
      const int eta = fps > 0 ? static_cast<int>((total_ - frames) / fps) : 0;
      length = std::snprintf(line, sizeof line, "[%.1f%%] %lld/%lld frames, %.2f fps, %.2f kb/s, eta %d:%02d:%02d  \r",
                             100.0 * frames / total_, static_cast<long long>(frames), static_cast<long long>(total_), fps,
                             kbps, eta / 3600, eta / 60 % 60, eta % 60);
    } else {
      length = std::snprintf(line, sizeof line, "%lld frames: %.2f fps, %.2f kb/s  \r", static_cast<long long>(frames), fps, kbps);
    }
    WriteAll(line, length);
  }

  // Blanks the progress line, so that the encoder's closing report starts
  // on a clean line.
  void Clear() {
    if (!enabled_) return;
    const std::string blank(79, ' ');
    WriteAll((blank + "\r").c_str(), static_cast<int>(blank.size() + 1));
  }

  void Finish(int64_t frames, int64_t bytes) {
    const double elapsed = Seconds(Clock::now());
    char line[256];
    const int length = std::snprintf(line, sizeof line, "encoded %lld frames, %.2f fps, %.2f kb/s\n",
                                     static_cast<long long>(frames), elapsed > 0 ? frames / elapsed : 0.0,
                                     KiloBitsPerSecond(frames, bytes));
    WriteAll(line, length);
  }

 private:
  using Clock = std::chrono::steady_clock;
  double Seconds(Clock::time_point now) const { return std::chrono::duration<double>(now - start_).count(); }
  double KiloBitsPerSecond(int64_t frames, int64_t bytes) const {
    return frames > 0 ? bytes * 8.0 * frameRate_ / frames / 1000.0 : 0.0;
  }
  static void WriteAll(const char* text, int length) {
    for (ssize_t written = 0; written < length;) {
      const ssize_t step = write(STDERR_FILENO, text + written, static_cast<size_t>(length - written));
      if (step <= 0 && errno != EINTR) return;
      if (step > 0) written += step;
    }
  }

  bool enabled_;
  int64_t total_;
  double frameRate_;
  Clock::time_point start_;
  Clock::time_point lastShown_;
};

// Reads the script's frames on a thread of its own, a few frames ahead of the
// encoder, so that evaluating and decoding overlap with encoding. Frames are
// copied (converted with swscale when they are not 4:2:0 of the stream's
// size) into a small ring of buffers, so memory stays bounded.
class FramePrefetcher {
 public:
  FramePrefetcher(avs::ClipReader& reader, int width, int height, int64_t frameLimit)
      : reader_(reader), width_(width), height_(height), frameLimit_(frameLimit) {
    for (int i = 0; i < kBufferCount; ++i) {
      AVFrame* frame = av_frame_alloc();
      if (!frame) Fail("out of memory");
      frame->format = AV_PIX_FMT_YUV420P;
      frame->width = width;
      frame->height = height;
      if (av_frame_get_buffer(frame, 0) < 0) Fail("out of memory");
      free_.push_back(frame);
    }
    thread_ = std::thread([this] { Run(); });
  }

  ~FramePrefetcher() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
    for (AVFrame* frame : free_) av_frame_free(&frame);
    for (AVFrame* frame : ready_) av_frame_free(&frame);
    av_frame_free(&current_);
    sws_freeContext(scaler_);
  }

  // The next frame, or nullptr after the last; valid until the next call.
  // Throws avs::ScriptError when the script failed.
  const AVFrame* Next() {
    std::unique_lock lock(mutex_);
    if (current_) free_.push_back(std::exchange(current_, nullptr));
    changed_.notify_all();
    changed_.wait(lock, [this] { return !ready_.empty() || finished_; });
    if (ready_.empty()) {
      if (!error_.empty()) throw avs::ScriptError(error_);
      return nullptr;
    }
    current_ = ready_.front();
    ready_.pop_front();
    return current_;
  }

 private:
  static constexpr int kBufferCount = 4;

  void Run() {
    std::string error;
    try {
      for (int64_t count = 0; frameLimit_ < 0 || count < frameLimit_; ++count) {
        const AVFrame* source = reader_.NextFrame();
        if (!source) break;
        AVFrame* target = nullptr;
        {
          std::unique_lock lock(mutex_);
          changed_.wait(lock, [this] { return !free_.empty() || stopping_; });
          if (stopping_) return;
          target = free_.back();
          free_.pop_back();
        }
        CopyInto(source, target);
        {
          std::lock_guard lock(mutex_);
          ready_.push_back(target);
        }
        changed_.notify_all();
      }
    } catch (const avs::ScriptError& failure) {
      error = failure.what();
    }
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
      error_ = error;
    }
    changed_.notify_all();
  }

  void CopyInto(const AVFrame* source, AVFrame* target) {
    if (source->format == AV_PIX_FMT_YUV420P && source->width == width_ && source->height == height_) {
      av_frame_copy(target, source);
      return;
    }
    scaler_ = sws_getCachedContext(scaler_, source->width, source->height, static_cast<AVPixelFormat>(source->format),
                                   width_, height_, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!scaler_) Fail("cannot convert frames of pixel format " + std::to_string(source->format) + " to 4:2:0");
    sws_scale(scaler_, source->data, source->linesize, 0, source->height, target->data, target->linesize);
  }

  avs::ClipReader& reader_;
  const int width_;
  const int height_;
  const int64_t frameLimit_;
  SwsContext* scaler_ = nullptr;  // used on the reading thread only

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<AVFrame*> free_;
  std::deque<AVFrame*> ready_;
  AVFrame* current_ = nullptr;
  bool finished_ = false;
  bool stopping_ = false;
  std::string error_;
  std::thread thread_;
};

// Writes the stream to `path`, naming `shownPath` (where the stream ends up)
// in its messages.
class StreamWriter {
 public:
  StreamWriter(const std::string& path, const std::string& shownPath)
      : path_(shownPath), file_(std::fopen(path.c_str(), "wb")) {
    if (!file_) Fail("cannot write " + path_ + ": " + std::strerror(errno));
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
  }
  ~StreamWriter() {
    if (file_) std::fclose(file_);
  }
  void Write(const x264_nal_t* nals, int count, int size) {
    // libx264 lays the NAL units of one call out back to back.
    if (count > 0 && std::fwrite(nals[0].p_payload, 1, static_cast<size_t>(size), file_) != static_cast<size_t>(size))
      Fail("cannot write " + path_ + ": " + std::strerror(errno));
    bytes_ += size;
  }
  void Close() {
    const bool failed = std::fclose(file_) != 0;
    file_ = nullptr;
    if (failed) Fail("cannot write " + path_ + ": " + std::strerror(errno));
  }
  int64_t bytes() const { return bytes_; }

 private:
  std::string path_;
  FILE* file_;
  int64_t bytes_ = 0;
};

// A first pass writes its statistics under a temporary name and renames
// them at the end, where libx264 can only report a failure: a name that
// cannot be written is refused before the encode, and what is left after it
// is checked.
std::vector<std::string> StatisticsFiles(const x264_param_t& param) {
  if (!param.rc.b_stat_write || !param.rc.psz_stat_out) return {};
  std::vector<std::string> files{param.rc.psz_stat_out};
  if (param.rc.b_mb_tree) files.push_back(files[0] + ".mbtree");
  return files;
}

void CheckStatisticsCanBeWritten(const x264_param_t& param) {
  for (const std::string& file : StatisticsFiles(param)) {
    struct stat status {};
    if (stat(file.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
      Fail("cannot write the statistics file " + file + ": it is not a regular file");
    const auto slash = file.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : file.substr(0, slash + 1);
    if (access(folder.c_str(), W_OK) != 0)
      Fail("cannot write the statistics file " + file + ": " + std::strerror(errno));
  }
}

void CheckStatisticsWritten(const std::vector<std::string>& files) {
  for (const std::string& file : files)
    if (!kenc::FileExists(file) || kenc::FileExists(file + ".temp"))
      Fail("cannot write the statistics file " + file + " (it stays " + file + ".temp)");
}

// Fills in what the clip decides (size, exact frame rate, length) and the
// settings that follow the other options, in the x264 command line's order.
void SetClipParameters(Options& options, const avs::ClipInfo& info, int64_t totalFrames) {
  x264_param_t& param = options.param;
  param.i_width = info.width;
  param.i_height = info.height;
  param.i_csp = X264_CSP_I420;
  // The stream's VUI timing carries the clip's exact frame rate.
  param.i_fps_num = static_cast<uint32_t>(info.fps.num);
  param.i_fps_den = static_cast<uint32_t>(info.fps.den);
  param.i_timebase_num = param.i_fps_den;
  param.i_timebase_den = param.i_fps_num;
  param.b_vfr_input = 0;
  param.i_frame_total = totalFrames > 0 && totalFrames < INT32_MAX ? static_cast<int>(totalFrames) : 0;
  param.b_annexb = 1;
  param.b_repeat_headers = 1;
  if (!options.slowFirstPass) x264_param_apply_fastfirstpass(&param);
  if (!options.profile.empty() && x264_param_apply_profile(&param, options.profile.c_str()) < 0)
    Fail("invalid profile \"" + options.profile + "\" for these settings");
}

}  // namespace

int main(int argc, char** argv) {
  kenc::SetToolName("x264");
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  Options options = ParseOptions(argc, argv);
  if (!kenc::FileExists(options.input)) Fail("cannot open " + options.input + ": no such file");

  std::unique_ptr<avs::ClipReader> reader;
  try {
    reader = avs::ClipReader::OpenScript(options.input);
  } catch (const avs::ScriptError& error) {
    Fail(error.what());
  }
  for (const std::string& input : reader->inputFiles()) kenc::RefuseToOverwrite(input, options.output);
  const avs::ClipInfo& info = reader->info();
  if (!info.hasVideo) Fail(options.input + " yields no video");
  if (info.width % 2 || info.height % 2) Fail("4:2:0 needs an even width and height, the clip is " +
                                             std::to_string(info.width) + "x" + std::to_string(info.height));
  if (info.fps.num <= 0 || info.fps.den <= 0 || info.fps.num > INT32_MAX || info.fps.den > INT32_MAX)
    Fail("the clip has no usable frame rate");
  const int64_t totalFrames = options.frameLimit >= 0 && (options.frameLimit < info.frameCount || info.frameCount <= 0)
                                  ? options.frameLimit
                                  : info.frameCount;

  x264_param_t& param = options.param;
  SetClipParameters(options, info, totalFrames);

  CheckStatisticsCanBeWritten(param);
  x264_t* encoder = x264_encoder_open(&param);
  if (!encoder) Fail("libx264 refused these settings (see its message above)");
  // The files the encoder itself will write, after it settled its options.
  x264_param_t settled;
  x264_encoder_parameters(encoder, &settled);
  const std::vector<std::string> statistics = StatisticsFiles(settled);

  kenc::PendingOutput output(options.output);
  StreamWriter stream(output.tempPath(), output.finalPath());
  FramePrefetcher frames(*reader, info.width, info.height, options.frameLimit);
  x264_picture_t picture;
  x264_picture_init(&picture);
  picture.img.i_csp = X264_CSP_I420;
  picture.img.i_plane = 3;
  Progress progress(options.showProgress, totalFrames,
                    static_cast<double>(info.fps.num) / static_cast<double>(info.fps.den));
  x264_picture_t encoded;
  x264_nal_t* nals = nullptr;
  int nalCount = 0;
  int64_t framesIn = 0;
  int64_t framesOut = 0;
  try {
    while (const AVFrame* frame = frames.Next()) {
      for (int plane = 0; plane < 3; ++plane) {
        picture.img.plane[plane] = frame->data[plane];
        picture.img.i_stride[plane] = frame->linesize[plane];
      }
      picture.i_pts = framesIn;
      const int size = x264_encoder_encode(encoder, &nals, &nalCount, &picture, &encoded);
      if (size < 0) Fail("libx264 failed on frame " + std::to_string(framesIn));
      ++framesIn;
      if (size > 0) ++framesOut;
      stream.Write(nals, nalCount, size);
      progress.Update(framesOut, stream.bytes());
    }
  } catch (const avs::ScriptError& error) {
    Fail(error.what());
  }
  if (framesIn == 0) Fail(options.input + " yields no frames");
  while (x264_encoder_delayed_frames(encoder) > 0) {
    const int size = x264_encoder_encode(encoder, &nals, &nalCount, nullptr, &encoded);
    if (size < 0) Fail("libx264 failed while finishing the stream");
    if (size > 0) ++framesOut;
    stream.Write(nals, nalCount, size);
    progress.Update(framesOut, stream.bytes());
  }
  progress.Clear();
  // Closing writes the rate-control statistics of a first pass.
  x264_encoder_close(encoder);
  CheckStatisticsWritten(statistics);
  // Parsing options gave the parameters strings of their own (the
  // statistics file's name among them).
  x264_param_cleanup(&param);
  stream.Close();
  output.Commit();
  progress.Finish(framesOut, stream.bytes());
  return 0;
}
