#include "tools/engine/plugins/plugin_args.h"

#include <cmath>

namespace avs {

int PlaneMask(const Call& call, const std::vector<std::pair<std::string, int64_t>>& modes) {
  int mask = 0;
  for (std::size_t plane = 0; plane < modes.size(); ++plane) {
    const auto& [name, mode] = modes[plane];
    if (mode == 3) mask |= 1 << plane;
    else if (mode != 2 && mode != 1)
      call.Fail(name + "=" + std::to_string(mode) + " is not taken here: 3 filters the plane, 2 and 1 keep it");
  }
  return mask;
}

bool TopFieldFirst(const Call& call, const std::string& name, int64_t order, const ClipInfo& clip) {
  if (order == -1) return clip.topFieldFirst;
  if (order != 0 && order != 1)
    call.Fail(name + " must be -1 (the clip's field order), 0 (bottom field first) or 1 (top field first), not " +
              std::to_string(order));
  return order == 1;
}

std::string OptionNumber(double value) {
  std::string text = Value(value).toText();  // six decimals
  if (text.find('.') != std::string::npos) {
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
  }
  return text;
}

void RefuseGiven(const Call& call, std::size_t index, const std::string& name, const std::string& why) {
  if (call.args[index].defined()) call.Fail(name + " is not taken here: " + why);
}

int64_t IntIn(const Call& call, std::size_t index, const std::string& name, int64_t fallback, int64_t low, int64_t high) {
  const int64_t value = call.Int(index, fallback);
  if (value < low || value > high)
    call.Fail(name + " must be from " + std::to_string(low) + " to " + std::to_string(high) + ", not " +
              std::to_string(value));
  return value;
}

double FloatIn(const Call& call, std::size_t index, const std::string& name, double fallback, double low, double high) {
  const double value = call.Float(index, fallback);
  if (!(value >= low && value <= high))
    call.Fail(name + " must be from " + OptionNumber(low) + " to " + OptionNumber(high) + ", not " +
              OptionNumber(value));
  return value;
}

}  // namespace avs
