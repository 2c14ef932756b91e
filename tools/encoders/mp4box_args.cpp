#include "tools/encoders/mp4box_args.h"

#include <cctype>
#include <cstdlib>

namespace mp4box {
namespace {

struct TagName {
  const char* name;  // as written in -itags
  const char* key;   // libavformat's metadata key, written as the MP4 atom
};

constexpr TagName kTagNames[] = {
    {"artist", "artist"},   // ©ART
    {"name", "title"},      // ©nam
    {"tool", "encoding_tool"},  // ©too (read back as "encoder")
    {"album", "album"},     // ©alb
    {"comment", "comment"}, // ©cmt
    {"genre", "genre"},     // ©gen
    {"created", "date"},    // ©day
};

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// The metadata key of the tag whose "name=" starts at `pos`, or nullptr.
const char* TagKeyAt(const std::string& list, size_t pos, size_t* valueStart) {
  const size_t equals = list.find('=', pos);
  if (equals == std::string::npos) return nullptr;
  const std::string name = list.substr(pos, equals - pos);
  for (const TagName& tag : kTagNames) {
    if (EqualsIgnoringCase(name, tag.name)) {
      *valueStart = equals + 1;
      return tag.key;
    }
  }
  return nullptr;
}

int ParseTrackNumber(const std::string& text) {
  if (text.empty() || text.size() > 4) return 0;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
  return std::atoi(text.c_str());
}

TrackSelection ParseTrackSelection(const std::string& arg, bool (*exists)(const std::string&)) {
  const size_t hash = arg.rfind('#');
  if (hash != std::string::npos && !exists(arg)) {
    const std::string suffix = arg.substr(hash + 1);
    const int track = ParseTrackNumber(suffix);
    if (track < 1) throw ArgumentError("invalid track selection \"#" + suffix + "\" in " + arg);
    return {arg.substr(0, hash), track};
  }
  return {arg, 0};
}

}  // namespace

std::vector<std::pair<std::string, std::string>> ParseTagList(const std::string& list) {
  std::vector<std::pair<std::string, std::string>> tags;
  size_t valueStart = 0;
  const char* key = TagKeyAt(list, 0, &valueStart);
  if (!key) throw ArgumentError("unknown tag in \"" + list + "\" (known: artist, name, tool, album, comment, genre, created)");
  while (key) {
    std::string value;
    const char* nextKey = nullptr;
    for (size_t i = valueStart; i < list.size(); ++i) {
      const char c = list[i];
      if (c == '\\' && i + 1 < list.size() && (list[i + 1] == ':' || list[i + 1] == '\\')) {
        value += list[++i];
        continue;
      }
      if (c == ':' && (nextKey = TagKeyAt(list, i + 1, &valueStart)) != nullptr) break;
      value += c;
    }
    tags.emplace_back(key, std::move(value));
    key = nextKey;
  }
  return tags;
}

Command ParseCommand(const std::vector<std::string>& args, bool (*exists)(const std::string&)) {
  Command command;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw ArgumentError("option " + arg + " needs a value");
      return args[++i];
    };
    if (arg == "-add") {
      command.adds.push_back(ParseTrackSelection(value(), exists));
    } else if (arg == "-new") {
      if (!command.newOutput.empty()) throw ArgumentError("-new given twice");
      command.newOutput = value();
    } else if (arg == "-itags") {
      for (auto& tag : ParseTagList(value())) command.tags.push_back(std::move(tag));
    } else if (arg == "-name") {
      const std::string& trackAndName = value();
      const size_t equals = trackAndName.find('=');
      const int track = equals == std::string::npos ? 0 : ParseTrackNumber(trackAndName.substr(0, equals));
      if (track < 1) throw ArgumentError("-name expects TRACK=NAME, got \"" + trackAndName + "\"");
      command.trackNames[track] = trackAndName.substr(equals + 1);
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw ArgumentError("unknown option \"" + arg + "\"");
    } else {
      if (!command.editTarget.empty()) throw ArgumentError("more than one file to edit: " + command.editTarget + ", " + arg);
      command.editTarget = arg;
    }
  }
  if (!command.newOutput.empty() && !command.editTarget.empty())
    throw ArgumentError("both -new " + command.newOutput + " and a file to edit (" + command.editTarget + ") given");
  if (command.newOutput.empty() && command.editTarget.empty()) throw ArgumentError("no output: give -new FILE or a file to edit");
  if (!command.newOutput.empty() && command.adds.empty()) throw ArgumentError("-new needs at least one -add");
  if (command.editTarget.size() && command.adds.empty() && command.tags.empty() && command.trackNames.empty())
    throw ArgumentError("nothing to do with " + command.editTarget);
  return command;
}

}  // namespace mp4box
