// Other forms of the source filters: ImageReader, ImageSource's other name,
// and animations (ImageSourceAnim). AviSource's other names and the
// segmented sources are with AviSource in sources.cpp.
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/media.h"

namespace avs {

namespace {

// ImageSourceAnim(file, fps, info, pixel_type): an animation's pictures at
// the rate its first delay gives (or `fps`), RGB32 by default.
Value ImageSourceAnim(Call& call) {
  ClipPtr clip = OpenSourceFile(call, MediaRequest{call.Path(call.String(0, "")), true, false, true, false});
  if (call.args[1].defined()) clip = WithFrameRate(call, clip, FloatRate(call, call.Float(1, 24)));
  if (call.Bool(2, false)) call.Fail("info is not supported");
  return WithPixelType(call, clip, call.String(3, "RGB32"));
}

}  // namespace

void RegisterSourceForms(FunctionTable& table) {
  table["imagereader"] = table["imagesource"];
  table["imagesourceanim"] = {"file:s ?fps:f ?info:b ?pixel_type:s", ImageSourceAnim};
}

}  // namespace avs
