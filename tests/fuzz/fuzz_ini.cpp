// The settings file's reader and writer: a write changes only its own key,
// a value never makes a line or a section, and what was written reads back.
// The input is the old file, then section, key and value, separated by
// zero bytes.
#include "platform/ini_file.h"
#include "tests/fuzz/scratch_folder.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

const std::string kAbsent = "\x01 absent";

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Every (section, key) the file seems to name, read loosely: the reader
// itself decides below whether each really is there.
std::set<std::pair<std::string, std::string>> Names(const std::string& text) {
  std::set<std::pair<std::string, std::string>> names;
  std::string section;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string trimmed = Trim(line);
    if (!trimmed.empty() && trimmed[0] == '[') {
      section = Trim(trimmed.substr(1, trimmed.find(']') - 1));
    } else if (const auto equals = line.find('='); equals != std::string::npos) {
      names.emplace(section, Trim(line.substr(0, equals)));
    }
  }
  return names;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const std::string& FilePath() {
  static const ScratchFolder folder("fuzz-ini");
  static const std::string path = (folder.path / "kelvarion.ini").string();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::vector<std::string> parts{""};
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && parts.size() < 4) parts.emplace_back();
    else parts.back() += static_cast<char>(data[i]);
  }
  parts.resize(4);
  const std::string& old = parts[0];
  const std::string &section = parts[1], &key = parts[2], &value = parts[3];
  // Section and key names are the program's own: plain words. Values and
  // the old file are anything at all.
  for (const std::string* name : {&section, &key}) {
    if (name->empty() || *name != Trim(*name) ||
        name->find_first_of(std::string("[]=;\r\n\0", 8)) != std::string::npos)
      return 0;
  }
  {
    std::ofstream out(FilePath(), std::ios::binary | std::ios::trunc);
    out << old;
  }

  platform::IniFile file(FilePath());
  auto names = Names(old);
  std::vector<std::string> before;
  for (const auto& [s, k] : names) before.push_back(file.ReadString(s, k, kAbsent));

  const bool written = file.WriteString(section, key, value);
  const std::string now = ReadFile(FilePath());
  if (!written) {
    if (now != old) std::abort();  // a refused write leaves the file as it was
    return 0;
  }

  // Every other entry reads as before.
  std::size_t i = 0;
  for (const auto& [s, k] : names) {
    const bool target = Lower(s) == Lower(section) && Lower(k) == Lower(key);
    if (!target && file.ReadString(s, k, kAbsent) != before[i]) std::abort();
    ++i;
  }
  // Nothing new can be read but the written key.
  for (const auto& [s, k] : Names(now)) {
    const bool target = Lower(s) == Lower(section) && Lower(k) == Lower(key);
    if (!target && !names.count({s, k}) && file.ReadString(s, k, kAbsent) != kAbsent) std::abort();
  }
  // The value reads back, where the reader's trimming and unquoting cannot
  // change it.
  const bool plain = !value.empty() && value.front() != ' ' && value.front() != '\t' && value.back() != ' ' &&
                     value.back() != '\t' && value.front() != '"' && value.front() != '\'';
  if (plain && file.ReadString(section, key, kAbsent) != value) std::abort();
  return 0;
}
