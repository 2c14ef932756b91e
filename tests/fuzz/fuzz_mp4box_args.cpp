// MP4Box's argument parser: arguments separated by zero bytes; a file
// "exists" when its name starts with "e", so that "name#2" takes both ways.
#include "tools/encoders/mp4box_args.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

bool Exists(const std::string& name) { return !name.empty() && name[0] == 'e'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1)
    args.push_back(text.substr(start, end - start));
  args.push_back(text.substr(start));
  try {
    mp4box::ParseCommand(args, Exists);
  } catch (const mp4box::ArgumentError&) {
  }
  try {
    mp4box::ParseTagList(text);
  } catch (const mp4box::ArgumentError&) {
  }
  return 0;
}
