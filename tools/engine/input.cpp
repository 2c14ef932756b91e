#include "tools/engine/input.h"

extern "C" {
#include <libavutil/avutil.h>
}

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace avs {

namespace {

constexpr int kMaxDecodeFailures = 1000;

}  // namespace

std::string ErrorText(int code) {
  char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, buffer, sizeof buffer);
  return buffer;
}

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && strcasecmp(text.c_str() + text.size() - tail.size(), tail.c_str()) == 0;
}

namespace {

std::string FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

}  // namespace

// vspipe run with its standard output into a pipe that we read. When it only
// probes, its messages are kept (and given back if it fails) instead of
// reaching the console: the probe closes the pipe early, which vspipe would
// report as an error.
class Vspipe {
 public:
  Vspipe(std::vector<std::string> args, const std::string& origin, bool keepMessages) {
    std::string program = FindOnPath("vspipe");
    if (program.empty()) throw ScriptError(origin + ": VapourSynth (vspipe) not found");
    int out[2] = {-1, -1}, err[2] = {-1, -1};
    auto closeAll = [&] {
      for (int fd : {out[0], out[1], err[0], err[1]})
        if (fd >= 0) close(fd);
    };
    if (pipe2(out, O_CLOEXEC) != 0 || (keepMessages && pipe2(err, O_CLOEXEC | O_NONBLOCK) != 0)) {
      closeAll();
      throw ScriptError(origin + ": cannot create a pipe for vspipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (keepMessages) posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      closeAll();
      throw ScriptError(origin + ": cannot start vspipe: " + std::strerror(rc));
    }
    close(out[1]);
    if (keepMessages) close(err[1]);
    fd_ = out[0];
    messagesFd_ = err[0];
  }
  ~Vspipe() {
    if (fd_ >= 0) close(fd_);
    if (messagesFd_ >= 0) close(messagesFd_);
    if (pid_ > 0) {
      // Closing the pipe ends a vspipe that is writing; one still computing
      // is not waited for.
      if (waitpid(pid_, nullptr, WNOHANG) == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
      }
    }
  }
  Vspipe(const Vspipe&) = delete;
  Vspipe& operator=(const Vspipe&) = delete;

  std::string Url() const { return "pipe:" + std::to_string(fd_); }

  // The end of what it reported so far, on one line.
  std::string Messages() const {
    std::string text;
    char buffer[4096];
    ssize_t n;
    while (messagesFd_ >= 0 && (n = read(messagesFd_, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
    for (char& c : text)
      if (c == '\n' || c == '\r') c = ' ';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text.size() > 600 ? "..." + text.substr(text.size() - 600) : text;
  }

  // Everything it writes, up to `limit` bytes.
  std::string ReadAll(std::size_t limit) {
    std::string text;
    char buffer[4096];
    while (text.size() < limit) {
      ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
  }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
  int messagesFd_ = -1;
};

// Counting the rendered frames instead would render the script once more.
int64_t VspipeFrameCount(const std::string& script, const std::string& origin) {
  std::string text = Vspipe({"--info", script, "-"}, origin, true).ReadAll(65536);
  std::size_t at = text.find("Frames:");
  return at == std::string::npos ? 0 : std::strtoll(text.c_str() + at + 7, nullptr, 10);
}

Input::Input(const std::string& path, const std::string& origin, bool probing) {
  auto fail = [&](const std::string& message) { throw ScriptError(origin + ": " + message); };
  std::string url = path[0] == '/' ? "file:" + path : path;
  const AVInputFormat* format = nullptr;
  if (EndsWithNoCase(path, ".vpy")) {
    vspipe_ = std::make_unique<Vspipe>(std::vector<std::string>{"-c", "y4m", path, "-"}, origin, probing);
    url = vspipe_->Url();
    format = av_find_input_format("yuv4mpegpipe");
  } else {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) fail("cannot open " + path + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode)) fail(path + " is not a file");
    fileSize_ = st.st_size;
  }
  // Packets whose presentation time a container leaves out (MPEG program
  // streams give it for some pictures only) get it from the packets after
  // them, so that every frame has its place in presentation order.
  fmt = avformat_alloc_context();
  if (!fmt) fail("out of memory");
  fmt->flags |= AVFMT_FLAG_GENPTS;
  int rc = avformat_open_input(&fmt, url.c_str(), format, nullptr);
  if (rc < 0) {
    fmt = nullptr;
    if (!vspipe_) fail("cannot read " + path + ": " + ErrorText(rc));
    std::string messages = vspipe_->Messages();
    fail("vspipe gave no video for " + path + (messages.empty() ? "" : ": " + messages));
  }
  dataStart_ = fmt->pb ? avio_tell(fmt->pb) : 0;
}

Input::~Input() { avformat_close_input(&fmt); }

int Input::FindStreams() {
  std::vector<AVDictionary*> options(fmt->nb_streams, nullptr);
  for (AVDictionary*& streamOptions : options) av_dict_set_int(&streamOptions, "max_pixels", kMaxDecodedPixels, 0);
  const int rc = avformat_find_stream_info(fmt, options.data());
  for (AVDictionary*& streamOptions : options) av_dict_free(&streamOptions);
  return rc;
}

namespace {

// An input opened again to read one stream: a container without a header
// finds its streams again first, in the order it found them when it was
// probed.
void OpenStream(Input& input, int streamIndex, const std::string& origin, const std::string& path) {
  if (input.fmt->ctx_flags & AVFMTCTX_NOHEADER)
    if (const int rc = input.FindStreams(); rc < 0) throw ScriptError(origin + ": cannot read " + path + ": " + ErrorText(rc));
  if (streamIndex >= static_cast<int>(input.fmt->nb_streams))
    throw ScriptError(origin + ": " + path + " changed while it was read");
  for (unsigned i = 0; i < input.fmt->nb_streams; ++i)
    if (static_cast<int>(i) != streamIndex) input.fmt->streams[i]->discard = AVDISCARD_ALL;
}

}  // namespace

PacketPtr AllocPacket() {
  PacketPtr packet(av_packet_alloc());
  if (!packet) throw ScriptError("out of memory");
  return packet;
}

CodecPtr OpenDecoder(const AVStream* stream, const std::string& origin, const std::string& path) {
  auto fail = [&](const std::string& message) { throw ScriptError(origin + ": " + message); };
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!codec) fail("no decoder for the " + std::string(avcodec_get_name(stream->codecpar->codec_id)) + " in " + path);
  CodecPtr ctx(avcodec_alloc_context3(codec));
  if (!ctx || avcodec_parameters_to_context(ctx.get(), stream->codecpar) < 0) fail("out of memory");
  ctx->thread_count = 0;  // as many as the machine has
  ctx->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  ctx->pkt_timebase = stream->time_base;
  ctx->max_pixels = kMaxDecodedPixels;
  int rc = avcodec_open2(ctx.get(), codec, nullptr);
  if (rc < 0) fail("cannot decode " + path + ": " + ErrorText(rc));
  return ctx;
}

int64_t PacketTime(const AVPacket& packet) { return packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts; }

Decoder::Decoder(const std::string& path, int streamIndex, const std::string& origin)
    : input_(path, origin, false), index_(streamIndex), origin_(origin), packet_(AllocPacket()) {
  OpenStream(input_, streamIndex, origin, path);
  codec_ = OpenDecoder(input_.fmt->streams[streamIndex], origin, path);
}

bool Decoder::Receive(AVFrame* frame) {
  for (;;) {
    av_frame_unref(frame);
    int rc = avcodec_receive_frame(codec_.get(), frame);
    if (rc == 0) {
      failures_ = 0;
      if (keyTime_ != AV_NOPTS_VALUE && frame->best_effort_timestamp != AV_NOPTS_VALUE &&
          frame->best_effort_timestamp < keyTime_)
        continue;
      return true;
    }
    if (rc == AVERROR_EOF) return false;
    // A decoder that only reports errors has nothing more to give.
    if (rc != AVERROR(EAGAIN)) {
      if (++failures_ > kMaxDecodeFailures) return false;
      continue;
    }
    if (draining_) return false;
    rc = av_read_frame(input_.fmt, packet_.get());
    if (rc < 0) {
      draining_ = true;
      avcodec_send_packet(codec_.get(), nullptr);
      continue;
    }
    if (packet_->stream_index == index_) {
      if (awaitingKey_) {
        awaitingKey_ = false;
        keyTime_ = PacketTime(*packet_);
      }
      rc = avcodec_send_packet(codec_.get(), packet_.get());
      if (rc == AVERROR(ENOMEM)) throw ScriptError(origin_ + ": out of memory");
    }
    av_packet_unref(packet_.get());
  }
}

bool Decoder::SeekBefore(int64_t time) {
  if (!input_.seekable()) return false;
  if (avformat_seek_file(input_.fmt, index_, INT64_MIN, time, time, 0) < 0 &&
      av_seek_frame(input_.fmt, index_, time, AVSEEK_FLAG_BACKWARD) < 0)
    return false;
  avcodec_flush_buffers(codec_.get());
  draining_ = false;
  failures_ = 0;
  awaitingKey_ = true;
  keyTime_ = AV_NOPTS_VALUE;
  return true;
}

std::vector<int64_t> PacketTimes(const std::string& path, int streamIndex, const std::string& origin) {
  Input input(path, origin, false);
  OpenStream(input, streamIndex, origin, path);
  PacketPtr packet = AllocPacket();
  std::vector<int64_t> times;
  while (av_read_frame(input.fmt, packet.get()) >= 0) {
    bool ours = packet->stream_index == streamIndex;
    int64_t time = PacketTime(*packet);
    av_packet_unref(packet.get());
    if (!ours) continue;
    if (time == AV_NOPTS_VALUE || times.size() >= static_cast<std::size_t>(kMaxFrames)) return {};
    times.push_back(time);
  }
  std::sort(times.begin(), times.end());
  return times;
}

}  // namespace avs
