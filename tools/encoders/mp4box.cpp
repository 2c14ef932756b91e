// MP4Box: joins tracks of raw H.264 streams, MP4 and AAC files into an MP4
// file without re-encoding, and sets its tags and track names.
//
//   MP4Box -add FILE[#N] [-add FILE[#N]...] -new OUT [-itags TAGS] [-name N=TEXT]
//   MP4Box [-add FILE[#N]...] [-itags TAGS] [-name N=TEXT] FILE   (edits FILE in place)
#include "tools/encoders/common.h"
#include "tools/encoders/mp4box_args.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using kenc::Fail;

namespace {

// One track that a source offers to the output.
struct SourceTrack {
  const AVCodecParameters* parameters = nullptr;
  AVRational timeBase{1, 1};
  AVRational frameRate{0, 1};
  const AVDictionary* metadata = nullptr;
};

class PacketSource {
 public:
  virtual ~PacketSource() = default;
  virtual const std::vector<SourceTrack>& tracks() const = 0;
  // The next packet with stream_index set to the index in tracks(); false at
  // the end. Timestamps are in that track's time base.
  virtual bool Next(AVPacket* packet) = 0;
  // The file's own tags, kept when it is remuxed.
  virtual const AVDictionary* fileMetadata() const { return nullptr; }
};

std::string LowerExtension(const std::string& path) {
  const auto slash = path.rfind('/');
  const auto dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string extension = path.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

// Splits an Annex B access unit into its NAL units (without start codes).
template <typename Visit>
void ForEachNal(const uint8_t* data, size_t size, Visit visit) {
  size_t i = 0;
  auto findStart = [&](size_t from) {
    for (size_t k = from; k + 3 <= size; ++k)
      if (data[k] == 0 && data[k + 1] == 0 && data[k + 2] == 1) return k;
    return size;
  };
  i = findStart(0);
  while (i < size) {
    const size_t begin = i + 3;
    size_t next = findStart(begin);
    size_t end = next;
    while (end > begin && data[end - 1] == 0) --end;  // trailing zeros belong to the next start code
    if (end > begin) visit(data + begin, end - begin);
    i = next;
  }
}

constexpr int kNalIdr = 5;
constexpr int kNalSps = 7;
constexpr int kNalPps = 8;

// Cuts a raw H.264 file into access units with libavcodec's parser, which
// also reports each picture's order count.
class H264AccessUnits {
 public:
  explicit H264AccessUnits(const std::string& path) : path_(path) {
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) Fail("cannot open " + path + ": " + std::strerror(errno));
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    context_ = avcodec_alloc_context3(codec);
    // As the H.264 decoder sets it: one frame spans two VUI ticks (fields).
    context_->ticks_per_frame = 2;
    Restart();
  }
  ~H264AccessUnits() {
    av_parser_close(parser_);
    avcodec_free_context(&context_);
    if (file_) std::fclose(file_);
  }

  void Restart() {
    if (parser_) av_parser_close(parser_);
    parser_ = av_parser_init(AV_CODEC_ID_H264);
    std::rewind(file_);
    buffer_.assign(1 << 16, 0);
    position_ = filled_ = 0;
    atEnd_ = finished_ = false;
  }

  // The next access unit; nullptr at the end. Valid until the next call.
  const uint8_t* Next(int* size) {
    while (!finished_) {
      if (position_ == filled_ && !atEnd_) {
        filled_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
        position_ = 0;
        if (std::ferror(file_)) Fail("cannot read " + path_ + ": " + std::strerror(errno));
        atEnd_ = filled_ == 0;
      }
      // At the end of the file one call without data flushes the last unit.
      const bool flushing = position_ == filled_;
      uint8_t* out = nullptr;
      int outSize = 0;
      const int used = av_parser_parse2(parser_, context_, &out, &outSize, buffer_.data() + position_,
                                        static_cast<int>(filled_ - position_), AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
      position_ += static_cast<size_t>(std::max(used, 0));
      if (flushing) finished_ = true;
      if (outSize > 0) {
        *size = outSize;
        return out;
      }
    }
    return nullptr;
  }

  int pictureOrder() const { return parser_->output_picture_number; }
  int width() const { return parser_->width; }
  int height() const { return parser_->height; }
  AVRational frameRate() const { return context_->framerate; }

 private:
  std::string path_;
  FILE* file_ = nullptr;
  AVCodecContext* context_ = nullptr;
  AVCodecParserContext* parser_ = nullptr;
  std::vector<uint8_t> buffer_;
  size_t position_ = 0;
  size_t filled_ = 0;
  bool atEnd_ = false;
  bool finished_ = false;
};

// A raw H.264 stream: libavformat's raw demuxer guesses timestamps, so the
// presentation order is rebuilt from the picture order counts instead. A
// first run of the parser collects them, a second one hands out the units.
class RawH264Source : public PacketSource {
 public:
  explicit RawH264Source(const std::string& path) : units_(path) {
    std::vector<int> orders;
    std::vector<size_t> segmentStarts;  // each IDR restarts the order count
    int size = 0;
    while (const uint8_t* unit = units_.Next(&size)) {
      bool idr = false;
      // The parameter sets of the first unit that has them describe the track.
      const bool takeParameterSets = extradata_.empty();
      ForEachNal(unit, static_cast<size_t>(size), [&](const uint8_t* nal, size_t length) {
        const int type = nal[0] & 0x1F;
        if (type == kNalIdr) idr = true;
        if (takeParameterSets && (type == kNalSps || type == kNalPps)) {
          static const uint8_t startCode[] = {0, 0, 0, 1};
          extradata_.insert(extradata_.end(), startCode, startCode + 4);
          extradata_.insert(extradata_.end(), nal, nal + length);
        }
      });
      if (idr || orders.empty()) segmentStarts.push_back(orders.size());
      orders.push_back(units_.pictureOrder());
      keyFrames_.push_back(idr);
      if (width_ == 0) {
        width_ = units_.width();
        height_ = units_.height();
      }
    }
    if (orders.empty() || extradata_.empty()) Fail(path + " holds no H.264 video");
    segmentStarts.push_back(orders.size());

    // Presentation index = frames before the segment + rank of the picture's
    // order count within its segment.
    presentation_.resize(orders.size());
    for (size_t s = 0; s + 1 < segmentStarts.size(); ++s) {
      std::vector<size_t> byOrder;
      for (size_t i = segmentStarts[s]; i < segmentStarts[s + 1]; ++i) byOrder.push_back(i);
      std::stable_sort(byOrder.begin(), byOrder.end(), [&](size_t a, size_t b) { return orders[a] < orders[b]; });
      for (size_t rank = 0; rank < byOrder.size(); ++rank) presentation_[byOrder[rank]] = static_cast<int64_t>(segmentStarts[s] + rank);
    }
    // Decoding times run one per frame, shifted back just enough that no
    // frame is decoded after it is shown.
    for (size_t i = 0; i < presentation_.size(); ++i) reorderDelay_ = std::max(reorderDelay_, static_cast<int64_t>(i) - presentation_[i]);

    AVRational rate = units_.frameRate();
    if (rate.num <= 0 || rate.den <= 0) rate = {25, 1};  // a stream without VUI timing
    parameters_ = avcodec_parameters_alloc();
    parameters_->codec_type = AVMEDIA_TYPE_VIDEO;
    parameters_->codec_id = AV_CODEC_ID_H264;
    parameters_->width = width_;
    parameters_->height = height_;
    parameters_->extradata = static_cast<uint8_t*>(av_mallocz(extradata_.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    std::memcpy(parameters_->extradata, extradata_.data(), extradata_.size());
    parameters_->extradata_size = static_cast<int>(extradata_.size());
    tracks_.push_back({parameters_, av_inv_q(rate), rate, nullptr});
    units_.Restart();
  }
  ~RawH264Source() override { avcodec_parameters_free(&parameters_); }

  const std::vector<SourceTrack>& tracks() const override { return tracks_; }

  bool Next(AVPacket* packet) override {
    int size = 0;
    const uint8_t* unit = units_.Next(&size);
    if (!unit || next_ >= presentation_.size()) return false;
    if (av_new_packet(packet, size) < 0) Fail("out of memory");
    std::memcpy(packet->data, unit, static_cast<size_t>(size));
    packet->stream_index = 0;
    packet->pts = presentation_[next_];
    packet->dts = static_cast<int64_t>(next_) - reorderDelay_;
    packet->duration = 1;
    if (keyFrames_[next_]) packet->flags |= AV_PKT_FLAG_KEY;
    ++next_;
    return true;
  }

 private:
  H264AccessUnits units_;
  std::vector<uint8_t> extradata_;
  std::vector<bool> keyFrames_;
  std::vector<int64_t> presentation_;
  int64_t reorderDelay_ = 0;
  int width_ = 0;
  int height_ = 0;
  AVCodecParameters* parameters_ = nullptr;
  std::vector<SourceTrack> tracks_;
  size_t next_ = 0;
};

// Any file libavformat reads (MP4, M4A, ADTS AAC, ...), packets copied as
// they are.
class DemuxedSource : public PacketSource {
 public:
  DemuxedSource(const std::string& path, int onlyTrack) {
    if (!kenc::FileExists(path)) Fail("cannot open " + path + ": no such file");
    if (const int error = avformat_open_input(&input_, path.c_str(), nullptr, nullptr); error < 0)
      Fail("cannot open " + path + ": " + kenc::AvErrorText(error));
    if (const int error = avformat_find_stream_info(input_, nullptr); error < 0)
      Fail("cannot read " + path + ": " + kenc::AvErrorText(error));
    const int count = static_cast<int>(input_->nb_streams);
    if (onlyTrack > count) Fail(path + " has no track " + std::to_string(onlyTrack));
    trackOfStream_.assign(count, -1);
    for (int i = 0; i < count; ++i) {
      const AVStream* stream = input_->streams[i];
      const AVMediaType type = stream->codecpar->codec_type;
      const bool wanted = onlyTrack ? i == onlyTrack - 1 : (type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO);
      if (!wanted || (stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) continue;
      trackOfStream_[i] = static_cast<int>(tracks_.size());
      tracks_.push_back({stream->codecpar, stream->time_base, stream->avg_frame_rate, stream->metadata});
    }
    if (tracks_.empty()) Fail(path + " has no audio or video track");
  }
  ~DemuxedSource() override { avformat_close_input(&input_); }

  const std::vector<SourceTrack>& tracks() const override { return tracks_; }
  const AVDictionary* fileMetadata() const override { return input_->metadata; }

  bool Next(AVPacket* packet) override {
    for (;;) {
      const int result = av_read_frame(input_, packet);
      if (result == AVERROR_EOF) return false;
      if (result < 0) Fail(std::string("cannot read ") + input_->url + ": " + kenc::AvErrorText(result));
      // A transport stream may bring streams that appeared after the start:
      // they are none of the tracks chosen when the file was opened.
      const int index = packet->stream_index;
      const int track = index >= 0 && index < static_cast<int>(trackOfStream_.size()) ? trackOfStream_[index] : -1;
      if (track >= 0) {
        packet->stream_index = track;
        return true;
      }
      av_packet_unref(packet);
    }
  }

 private:
  AVFormatContext* input_ = nullptr;
  std::vector<int> trackOfStream_;
  std::vector<SourceTrack> tracks_;
};

std::unique_ptr<PacketSource> OpenSource(const mp4box::TrackSelection& selection) {
  const std::string extension = LowerExtension(selection.path);
  if (extension == ".264" || extension == ".h264" || extension == ".avc") {
    if (!kenc::FileExists(selection.path)) Fail("cannot open " + selection.path + ": no such file");
    if (selection.track > 1) Fail(selection.path + " has no track " + std::to_string(selection.track));
    return std::make_unique<RawH264Source>(selection.path);
  }
  return std::make_unique<DemuxedSource>(selection.path, selection.track);
}

std::unique_ptr<PacketSource> OpenMp4ForEdit(const std::string& path) {
  AVFormatContext* probe = nullptr;
  const bool mp4 = avformat_open_input(&probe, path.c_str(), nullptr, nullptr) == 0 &&
                   std::strstr(probe->iformat->name, "mp4") != nullptr;
  avformat_close_input(&probe);
  if (!mp4) Fail(path + " is not an MP4 file; only MP4 files are changed in place");
  return std::make_unique<DemuxedSource>(path, 0);
}

// The metadata keys that describe the container itself; the muxer writes
// its own.
bool IsContainerKey(const char* key) {
  return !std::strcmp(key, "major_brand") || !std::strcmp(key, "minor_version") || !std::strcmp(key, "compatible_brands");
}

// The tool tag reads back as "encoder" but is written from "encoding_tool".
const char* WritableKey(const char* key) { return std::strcmp(key, "encoder") == 0 ? "encoding_tool" : key; }

struct OutputTrack {
  PacketSource* source;
  int sourceTrack;
  AVStream* stream;
};

void WriteMp4(const std::string& tempPath, const std::string& finalPath, std::vector<std::unique_ptr<PacketSource>>& sources,
              const mp4box::Command& command) {
  const AVOutputFormat* format = av_guess_format(nullptr, finalPath.c_str(), nullptr);
  if (!format || (std::strcmp(format->name, "mp4") && std::strcmp(format->name, "ipod") && std::strcmp(format->name, "mov")))
    format = av_guess_format("mp4", nullptr, nullptr);
  AVFormatContext* output = nullptr;
  avformat_alloc_output_context2(&output, format, nullptr, tempPath.c_str());
  if (!output) Fail("cannot set up the MP4 writer");

  std::vector<OutputTrack> outputTracks;
  std::vector<std::vector<int>> outputIndex(sources.size());
  for (size_t s = 0; s < sources.size(); ++s) {
    const auto& tracks = sources[s]->tracks();
    for (size_t t = 0; t < tracks.size(); ++t) {
      AVStream* stream = avformat_new_stream(output, nullptr);
      avcodec_parameters_copy(stream->codecpar, tracks[t].parameters);
      stream->codecpar->codec_tag = 0;
      stream->time_base = tracks[t].timeBase;
      stream->avg_frame_rate = tracks[t].frameRate;
      av_dict_copy(&stream->metadata, tracks[t].metadata, 0);
      outputIndex[s].push_back(static_cast<int>(outputTracks.size()));
      outputTracks.push_back({sources[s].get(), static_cast<int>(t), stream});
    }
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(sources[s]->fileMetadata(), "", entry, AV_DICT_IGNORE_SUFFIX)))
      if (!IsContainerKey(entry->key)) av_dict_set(&output->metadata, WritableKey(entry->key), entry->value, AV_DICT_DONT_OVERWRITE);
  }
  for (const auto& [key, value] : command.tags) av_dict_set(&output->metadata, key.c_str(), value.empty() ? nullptr : value.c_str(), 0);
  for (const auto& [track, name] : command.trackNames) {
    if (track > static_cast<int>(outputTracks.size())) Fail("-name: the output has no track " + std::to_string(track));
    av_dict_set(&outputTracks[track - 1].stream->metadata, "handler_name", name.c_str(), 0);
  }
  if (const int error = avio_open(&output->pb, tempPath.c_str(), AVIO_FLAG_WRITE); error < 0)
    Fail("cannot write " + finalPath + ": " + kenc::AvErrorText(error));
  if (const int error = avformat_write_header(output, nullptr); error < 0)
    Fail("cannot write the MP4 header: " + kenc::AvErrorText(error));

  // Interleave: always take the source whose waiting packet is earliest.
  struct Waiting {
    AVPacket* packet;
    bool valid;
  };
  std::vector<Waiting> waiting(sources.size());
  for (size_t s = 0; s < sources.size(); ++s) {
    waiting[s].packet = av_packet_alloc();
    waiting[s].valid = sources[s]->Next(waiting[s].packet);
  }
  auto timeOf = [](const AVPacket* packet) { return packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts; };
  for (;;) {
    int earliest = -1;
    for (size_t s = 0; s < sources.size(); ++s) {
      if (!waiting[s].valid) continue;
      if (earliest < 0) {
        earliest = static_cast<int>(s);
        continue;
      }
      const AVPacket* a = waiting[s].packet;
      const AVPacket* b = waiting[earliest].packet;
      if (timeOf(a) != AV_NOPTS_VALUE && timeOf(b) != AV_NOPTS_VALUE &&
          av_compare_ts(timeOf(a), sources[s]->tracks()[a->stream_index].timeBase, timeOf(b),
                        sources[earliest]->tracks()[b->stream_index].timeBase) < 0)
        earliest = static_cast<int>(s);
    }
    if (earliest < 0) break;
    AVPacket* packet = waiting[earliest].packet;
    const OutputTrack& track = outputTracks[outputIndex[earliest][packet->stream_index]];
    av_packet_rescale_ts(packet, sources[earliest]->tracks()[packet->stream_index].timeBase, track.stream->time_base);
    packet->stream_index = track.stream->index;
    packet->pos = -1;
    if (const int error = av_interleaved_write_frame(output, packet); error < 0)
      Fail("cannot write " + finalPath + ": " + kenc::AvErrorText(error));
    waiting[earliest].valid = sources[earliest]->Next(packet);
  }
  for (auto& entry : waiting) av_packet_free(&entry.packet);
  if (const int error = av_write_trailer(output); error < 0) Fail("cannot finish " + finalPath + ": " + kenc::AvErrorText(error));
  if (const int error = avio_closep(&output->pb); error < 0) Fail("cannot write " + finalPath + ": " + kenc::AvErrorText(error));
  avformat_free_context(output);
}

constexpr const char* kUsage =
    "usage: MP4Box -add FILE[#N] [-add FILE[#N] ...] -new OUT.mp4 [-itags TAGS] [-name N=TEXT]\n"
    "       MP4Box [-add FILE[#N] ...] [-itags TAGS] [-name N=TEXT] FILE.mp4\n"
    "  -add FILE     add every audio and video track of FILE (.264/.h264/.avc raw H.264, .mp4, .m4a, .aac)\n"
    "  -add FILE#N   add track N of FILE only\n"
    "  -new OUT      write a new file (replacing OUT when all inputs could be read)\n"
    "  -itags TAGS   name=value pairs joined by ':'; names artist, name, tool, album, comment, genre,\n"
    "                created; an empty value removes the tag\n"
    "  -name N=TEXT  name track N\n"
    "  FILE          without -new: the MP4 file to change in place (tracks added with -add)\n";

}  // namespace

int main(int argc, char** argv) {
  kenc::SetToolName("MP4Box");
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  av_log_set_level(AV_LOG_ERROR);
  mp4box::Command command;
  try {
    command = mp4box::ParseCommand(std::vector<std::string>(argv + 1, argv + argc), kenc::FileExists);
  } catch (const mp4box::ArgumentError& error) {
    Fail(std::string(error.what()) + "\n" + kUsage);
  }

  // Every input is opened and checked before anything is written.
  std::vector<std::unique_ptr<PacketSource>> sources;
  std::string outputPath = command.newOutput;
  if (!command.editTarget.empty()) {
    outputPath = command.editTarget;
    // Changing a file in place rewrites it as MP4: only an MP4 file may be
    // changed so, or a raw stream would become an MP4 under its old name.
    if (kenc::FileExists(command.editTarget)) sources.push_back(OpenMp4ForEdit(command.editTarget));
    else if (command.adds.empty()) Fail("cannot open " + command.editTarget + ": no such file");
  }
  for (const auto& selection : command.adds) {
    // A new file is never written over one of its inputs (a raw stream
    // would become an MP4 under its own name); changing a file in place is
    // what naming it without -new asks for.
    if (!command.newOutput.empty()) kenc::RefuseToOverwrite(selection.path, command.newOutput);
    sources.push_back(OpenSource(selection));
  }

  kenc::PendingOutput output(outputPath);
  WriteMp4(output.tempPath(), outputPath, sources, command);
  sources.clear();
  output.Commit();
  std::fprintf(stderr, "MP4Box: wrote %s\n", outputPath.c_str());
  return 0;
}
