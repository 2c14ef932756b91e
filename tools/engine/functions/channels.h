// The colour functions' view of a picture: its channels (Y, U, V or R, G, B,
// A) wherever the pixel format keeps them, and a filter that maps every
// sample of a channel through a table of 256 values.
#pragma once

#include "tools/engine/filter.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace avs {

enum class ChannelKind { Y, U, V, R, G, B, A };
constexpr int kChannelKinds = 7;

// A number for messages: at most six significant digits, no trailing zeros.
std::string ShortNumber(double value);

// Where one channel's samples lie in a frame: `width` samples a row, `step`
// bytes apart from `offset` into each of `height` rows of plane `plane`.
// Samples deeper than 8 bits take 2 bytes each (`size`), float ones 4.
struct Channel {
  ChannelKind kind;
  int plane, offset, step, width, height;
  int size = 1;  // bytes of one sample

  uint8_t* Row(AVFrame& frame, int y) const {
    return frame.data[plane] + static_cast<std::ptrdiff_t>(y) * frame.linesize[plane] + offset;
  }
  const uint8_t* Row(const AVFrame& frame, int y) const {
    return frame.data[plane] + static_cast<std::ptrdiff_t>(y) * frame.linesize[plane] + offset;
  }
};

// The channels of any of the engine's formats, as its descriptor lays them
// out, for a picture of the given size.
std::vector<Channel> ChannelsOf(AVPixelFormat format, int width, int height);

// The mean absolute difference of one 8-bit channel of two frames.
double MeanDifference(const Channel& channel, const AVFrame& a, const AVFrame& b);
bool HasChannel(AVPixelFormat format, ChannelKind kind);

using Table = std::array<uint8_t, 256>;
// A table for each channel kind; a channel without one is left as it is.
struct ChannelTables {
  std::array<std::optional<Table>, kChannelKinds> byKind;
  std::optional<Table>& operator[](ChannelKind kind) { return byKind[static_cast<int>(kind)]; }
  const std::optional<Table>& operator[](ChannelKind kind) const { return byKind[static_cast<int>(kind)]; }
};

// 8-bit samples only: the table clip refuses deeper pictures.
// A table from a function of the sample value, rounded and clamped to 0..255.
Table MakeTable(const std::function<double(int value)>& f);

// A clip whose frames are the source's with each channel mapped through its
// table; `tablesFor` gives the tables for a source frame (the same ones for
// every frame, or ones measured on the frame).
ClipPtr MakeTableClip(const std::string& origin, const ClipPtr& source,
                      std::function<ChannelTables(const AVFrame& source)> tablesFor);
ClipPtr MakeTableClip(const std::string& origin, const ClipPtr& source, const ChannelTables& tables);

// A function of a sample's value for each channel kind, in the format's
// own units (0..2^bits - 1, or a float's value); a channel without one is
// left as it is.
using SampleMaps = std::array<std::function<double(double value)>, kChannelKinds>;
// A clip whose samples, at any depth, are mapped by their channel's
// function: integers through a table of every value, rounded and clamped
// (8-bit ones through MakeTableClip), floats one by one.
ClipPtr MakeSampleMapClip(const std::string& origin, const ClipPtr& source, const SampleMaps& maps);

// A FrameFilter whose frames come from a pool of pictures of its own size
// and format: the base of the colour filters that write every pixel.
class PictureFilter : public FrameFilter {
 public:
  PictureFilter(const ClipInfo& info, std::string origin, std::vector<ClipPtr> inputs)
      : FrameFilter(info, std::move(origin), std::move(inputs)), pool_(info.width, info.height, info.pixelFormat) {}

 protected:
  // A picture of the clip's size and format, uninitialised, with the
  // properties (time, range) of `like`.
  FramePtr NewFrame(const AVFrame& like) const;
  FramePtr NewFrame() const { return pool_.Get(); }

 private:
  mutable PicturePool pool_;  // thread-safe: each Get takes its own buffer
};

}  // namespace avs
