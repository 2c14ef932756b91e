# After AviSynth+'s documentation of script arrays: an array literal of
# clips handed to a user function whose clip_array parameter gathers them,
# indexes from zero, a dictionary of [key, value] pairs read by key, and the
# Array functions building new arrays (ArrayAdd, ArrayIns, ArraySize), the
# colours of colors_rgb.avsi by name. Generated clips instead of captured.
# media: clip.avi -v error -f lavfi -i testsrc2=size=160x120:rate=25:duration=1 -c:v ffv1 -pix_fmt yuv420p
# expect: frames=25 size=320x240 fps=25/1 audio=none
# video-md5: 4f74b04b1bdb571f730a16f947d10dda
function Grid(clip_array views, int "columns") {
  columns = Default(columns, 2)
  rows = []
  for (r = 0, ArraySize(views) / columns - 1) {
    row = views[r * columns]
    for (c = 1, columns - 1) { row = StackHorizontal(row, views[r * columns + c]) }
    rows = ArrayAdd(rows, row)
  }
  result = rows[0]
  for (r = 1, ArraySize(rows) - 1) { result = StackVertical(result, rows[r]) }
  return result
}
src = AviSource("clip.avi")
settings = [["blur", 1.0], ["gamma", 1.6], ["border", color_orange]]
views = [src.Blur(settings["blur"]), src.Levels(0, settings["gamma"], 255, 0, 255)]
views = ArrayIns(views, src, 0)
views = ArrayAdd(views, src.Crop(8, 8, -8, -8).AddBorders(8, 8, 8, 8, settings["border"]))
Grid(views)
