// What several families of functions share: checks of their arguments, and
// the filters one family lends another (a source's pixel_type is a colour
// conversion, its fps a change of rate).
#pragma once

#include "tools/engine/media.h"
#include "tools/engine/script.h"

#include <string>
#include <vector>

namespace avs {

// The info of clip argument `i`, which must have video.
const ClipInfo& VideoOf(const Call& call, std::size_t i);
// Refuses a picture size out of range or odd where `format` subsamples.
void CheckSize(const Call& call, int64_t width, int64_t height, AVPixelFormat format);
// "YV12", "RGB32", "YUV420P10", ... in any letter case (pixel_format.h).
AVPixelFormat ParsePixelType(const Call& call, const std::string& name);
// Refuses pictures deeper than 8 bits, for functions that work on 8-bit
// samples only: "16-bit pictures are not supported".
void RequireEightBit(const Call& call, const ClipInfo& info);
// A float frame rate as a fraction; refuses NaN, infinities and rates out
// of range.
Rational FloatRate(const Call& call, double fps);
// A frame rate fraction; refuses one out of range.
Rational CheckedRate(const Call& call, int64_t num, int64_t den);

// Writes `text` to the file at `path`, created when missing and emptied
// first unless `append`: the writing functions' one way to a file. Only a
// regular file is written; a folder, a device or a FIFO (which would wait
// for a reader for ever) is refused. Failures throw ScriptError starting
// with `who` ("Vid.avs, line 3: WriteFile").
void WriteToFile(const std::string& path, const std::string& text, bool append, const std::string& who);

// The whole text of a small file a script names: a regular file only (a
// FIFO would keep the reading waiting), of at most `maxBytes`; a larger one
// fails with "<path> is too large" and `tooLarge` after it.
std::string ReadSmallFile(const Call& call, const std::string& path, std::uintmax_t maxBytes,
                          const std::string& tooLarge = "");

// Sources: a media file opened for a source function, noted among the
// files the script reads.
ClipPtr OpenSourceFile(Call& call, const MediaRequest& request, MediaFacts* facts = nullptr);

// Colour: the pixel_type option of sources ("AUTO" and "FULL" keep the
// decoded type).
ClipPtr WithPixelType(const Call& call, const ClipPtr& clip, const std::string& pixelType);
// Time: the same frames at another rate.
ClipPtr WithFrameRate(const Call& call, const ClipPtr& clip, Rational fps);
// Time: the frame rate argument at `rate` in any of AssumeFPS's forms (int
// numerator with the denominator at `denominator`, float, preset name,
// clip), as a fraction in lowest terms; `denominator` may be args.size()
// where there is none.
Rational RateArgument(const Call& call, std::size_t rate, std::size_t denominator);
// Time: frames dropped or repeated to reach another rate (ChangeFPS); the
// sound is kept.
ClipPtr WithChangedRate(const Call& call, const ClipPtr& clip, Rational fps);
// Time: DirectShowSource's timing options around a source function: with
// convertfps the fps argument (at `fps`) changes the rate by dropping and
// repeating frames instead of relabelling them, and framecount (at
// `frameCount`) cuts the clip or repeats its last frame to that length.
Function WithSourceTiming(Function source, std::size_t fps, std::size_t convertFps, std::size_t frameCount);
// Runtime: the variables ConditionalReader set for the frame being made,
// given to `interp` as globals before a runtime script runs in it.
void ApplyFrameVariables(Interpreter& interp);
// Time: clips played one after the other (AlignedSplice when `aligned`:
// each clip's sound fitted to its frames).
ClipPtr SpliceClips(const Call& call, std::vector<ClipPtr> parts, bool aligned);

}  // namespace avs
