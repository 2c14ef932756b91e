// L-SMASH Works: LSMASHVideoSource and LSMASHAudioSource (made for ISO base
// media files: MP4, MOV, 3GP), LWLibavVideoSource and LWLibavAudioSource,
// over the engine's own reading of media files, which reads any file
// libavformat does through all four. Tracks
// are chosen as the plugin numbers them; a constant frame rate, a pixel
// format, and the sound's layout and rate are honoured. The index file
// (cache, cachefile, cachedir), the decoder choices and the other options
// that change nothing here are taken and listed in the help.
#include "tools/engine/plugins/plugins.h"
#include "tools/engine/plugins/source_plugins.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <cctype>
#include <string>

namespace avs {

namespace {

// Where a video source function keeps the arguments it honours.
struct VideoPlaces {
  std::size_t fpsNum, fpsDen, format, repeat;
};

ClipPtr OpenVideo(Call& call, int stream, const VideoPlaces& at) {
  MediaRequest request{call.Path(call.String(0, "")), true, false, true, false};
  request.videoStream = stream;
  // repeat=true asks for the pictures' repeated fields, which are not
  // applied here: a file that has them is refused as the plugin refuses
  // what it cannot obey.
  request.refuseRepeatedFields = call.Bool(at.repeat, false);
  ClipPtr clip = OpenSourceFile(call, request);
  // fpsnum alone, or with a denominator of 0 or less, keeps the file's rate.
  if (call.Int(at.fpsDen, 1) > 0) clip = WithConstantRate(call, clip, call.Int(at.fpsNum, 0), call.Int(at.fpsDen, 1));
  return WithFormatNamed(call, clip, call.String(at.format, ""), "format");
}

// The number of channels a layout names: a count ("6"), a layout's name
// ("5.1", "stereo") or channels joined by "+" ("FL+FR+LFE"); 0 for "".
int LayoutChannels(const Call& call, const std::string& layout) {
  if (layout.empty()) return 0;
  int channels = 0;
  if (std::isdigit(static_cast<unsigned char>(layout[0])) && layout.find_first_not_of("0123456789") == std::string::npos) {
    channels = layout.size() < 4 ? std::stoi(layout) : 0;
  } else {
    AVChannelLayout parsed{};
    if (av_channel_layout_from_string(&parsed, layout.c_str()) == 0) channels = parsed.nb_channels;
    av_channel_layout_uninit(&parsed);
  }
  if (channels <= 0 || channels > kMaxChannels) call.Fail("unknown channel layout \"" + layout + "\"");
  return channels;
}

ClipPtr OpenAudio(Call& call, int stream, std::size_t layout, std::size_t rate) {
  MediaRequest request{call.Path(call.String(0, "")), false, true, false, true};
  request.audioStream = stream;
  request.channels = LayoutChannels(call, call.String(layout, ""));
  const int64_t sampleRate = call.Int(rate, 0);
  if (sampleRate < 0 || sampleRate > kMaxSampleRate) call.Fail("the rate " + std::to_string(sampleRate) + " is out of range");
  request.sampleRate = static_cast<int>(sampleRate);
  return OpenSourceFile(call, request);
}

// L-SMASH numbers an ISO file's tracks from 1 as they stand in the file, as
// libavformat lists them; 0 takes the first of its kind.
int IsoTrack(const Call& call, std::size_t at) {
  const int64_t track = call.Int(at, 0);
  if (track < 0 || track > 65535) call.Fail("there is no track " + std::to_string(track));
  return track == 0 ? MediaRequest::kBestStream : static_cast<int>(track - 1);
}

// libavformat's stream index; -1 takes the best of its kind.
int StreamIndex(const Call& call, std::size_t at) {
  const int64_t index = call.Int(at, -1);
  if (index < -1 || index > 65535) call.Fail("there is no stream " + std::to_string(index));
  return static_cast<int>(index);
}

enum LsmashVideoArg { kLsvSource, kLsvTrack, kLsvThreads, kLsvSeekMode, kLsvSeekThreshold, kLsvDr, kLsvFpsNum, kLsvFpsDen,
                      kLsvFormat, kLsvDecoder, kLsvPreferHw, kLsvLogLevel, kLsvOptions, kLsvStacked };
enum LsmashAudioArg { kLsaSource, kLsaTrack, kLsaSkipPriming, kLsaLayout, kLsaRate, kLsaDecoder, kLsaLogLevel,
                      kLsaDrcScale, kLsaOptions };
enum LwlibavVideoArg { kLwvSource, kLwvStream, kLwvThreads, kLwvCache, kLwvCacheFile, kLwvSeekMode, kLwvSeekThreshold,
                       kLwvDr, kLwvFpsNum, kLwvFpsDen, kLwvRepeat, kLwvDominance, kLwvFormat, kLwvDecoder, kLwvPreferHw,
                       kLwvLogLevel, kLwvCacheDir, kLwvOptions, kLwvIndexingProgress, kLwvStacked };
enum LwlibavAudioArg { kLwaSource, kLwaStream, kLwaCache, kLwaCacheFile, kLwaAvSync, kLwaLayout, kLwaRate, kLwaDecoder,
                       kLwaLogLevel, kLwaCacheDir, kLwaDrcScale, kLwaOptions, kLwaIndexingProgress };

// LSMASHVideoSource has no repeat option.
constexpr std::size_t kNoRepeat = static_cast<std::size_t>(-1);

Value LSMASHVideoSource(Call& call) {
  return OpenVideo(call, IsoTrack(call, kLsvTrack), {kLsvFpsNum, kLsvFpsDen, kLsvFormat, kNoRepeat});
}

Value LSMASHAudioSource(Call& call) {
  return OpenAudio(call, IsoTrack(call, kLsaTrack), kLsaLayout, kLsaRate);
}

Value LWLibavVideoSource(Call& call) {
  return OpenVideo(call, StreamIndex(call, kLwvStream), {kLwvFpsNum, kLwvFpsDen, kLwvFormat, kLwvRepeat});
}

Value LWLibavAudioSource(Call& call) { return OpenAudio(call, StreamIndex(call, kLwaStream), kLwaLayout, kLwaRate); }

}  // namespace

void RegisterLsmashPlugin(FunctionTable& table) {
  table["lsmashvideosource"] = {
      "source:s ?track:i ?threads:i ?seek_mode:i ?seek_threshold:i ?dr:b ?fpsnum:i ?fpsden:i ?format:s ?decoder:s "
      "?prefer_hw:i ?ff_loglevel:i ?ff_options:s ?stacked:b",
      LSMASHVideoSource};
  table["lsmashaudiosource"] = {
      "source:s ?track:i ?skip_priming:b ?layout:s ?rate:i ?decoder:s ?ff_loglevel:i ?drc_scale:f ?ff_options:s",
      LSMASHAudioSource};
  table["lwlibavvideosource"] = {
      "source:s ?stream_index:i ?threads:i ?cache:b ?cachefile:s ?seek_mode:i ?seek_threshold:i ?dr:b ?fpsnum:i "
      "?fpsden:i ?repeat:b ?dominance:i ?format:s ?decoder:s ?prefer_hw:i ?ff_loglevel:i ?cachedir:s ?ff_options:s "
      "?indexingpr:b ?stacked:b",
      LWLibavVideoSource};
  table["lwlibavaudiosource"] = {
      "source:s ?stream_index:i ?cache:b ?cachefile:s ?av_sync:b ?layout:s ?rate:i ?decoder:s ?ff_loglevel:i "
      "?cachedir:s ?drc_scale:f ?ff_options:s ?indexingpr:b",
      LWLibavAudioSource};
}

}  // namespace avs
