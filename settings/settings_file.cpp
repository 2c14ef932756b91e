#include "settings/settings_file.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>

#include "settings/settings_dialog.h"

namespace settings {

namespace {

const char kSettings[] = "Settings";
const char kFlags[] = "Flags";

// A job uses the level and balance that the settings dialog would show for
// them. Outside the dialog's ranges (a hand-edited file, or the low byte of
// a large number) the audio could take more than the whole rate and leave
// the video a negative bitrate, which the encoder refuses.
void KeepInDialogRanges(ModeSettings& s, int mode) {
  s.rateLevel = static_cast<uint8_t>(std::clamp<int>(s.rateLevel, MinimumRateLevel(mode), kMaximumRateLevel));
  s.balance = static_cast<uint8_t>(std::clamp<int>(s.balance, kMinimumBalance, kMaximumBalance));
}

}  // namespace

bool ParseIniInteger(const std::string& text, int* value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return false;
  int64_t result = 0;
  for (; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    int digit;
    if (std::isdigit(c)) {
      digit = c - '0';
    } else if (base == 16 && std::isxdigit(c)) {
      digit = std::tolower(c) - 'a' + 10;
    } else {
      return false;
    }
    result = result * base + digit;
    if (result > (base == 16 ? int64_t{UINT32_MAX} : int64_t{INT_MAX} + 1)) return false;
  }
  if (base == 16) {
    // Hexadecimal text gives the 32-bit pattern, as the profile functions do.
    result = static_cast<int32_t>(static_cast<uint32_t>(result));
  }
  if (negative) result = -result;
  if (result < INT_MIN || result > INT_MAX) return false;
  *value = static_cast<int>(result);
  return true;
}

std::string SettingsFile::PathBeside(const std::string& executablePath) {
  const std::size_t slash = executablePath.rfind('/');
  const std::size_t dot = executablePath.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    return executablePath.substr(0, dot) + ".ini";
  }
  return executablePath + ".ini";
}

QString SettingsFile::ReadString(const char* section, const char* key, const QString& defaultValue) const {
  return QString::fromStdString(ini_.ReadString(section, key, defaultValue.toStdString()));
}

int SettingsFile::ReadInteger(const char* section, const char* key, int defaultValue) const {
  int value = 0;
  return ParseIniInteger(ini_.ReadString(section, key, ""), &value) ? value : defaultValue;
}

bool SettingsFile::ReadBool(const char* section, const char* key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool SettingsFile::WriteString(const char* section, const char* key, const QString& value) {
  return !readOnly_ && ini_.WriteString(section, key, value.toStdString());
}

bool SettingsFile::WriteInteger(const char* section, const char* key, int value) {
  return !readOnly_ && ini_.WriteString(section, key, std::to_string(value));
}

bool SettingsFile::WriteBool(const char* section, const char* key, bool value) {
  return WriteInteger(section, key, value ? 1 : 0);
}

ModeSettings SettingsFile::ReadPreview() const {
  ModeSettings s = PreviewDefaults();
  s.rateLevel = static_cast<uint8_t>(ReadInteger(kSettings, "PL", s.rateLevel));
  s.balance = static_cast<uint8_t>(ReadInteger(kSettings, "PB", s.balance));
  s.widthIndex = ReadInteger(kSettings, "PR", s.widthIndex);
  s.newWidth = ReadBool(kFlags, "PRM", s.newWidth);
  KeepInDialogRanges(s, kPreviewMode);
  return s;
}

ModeSettings SettingsFile::ReadStandard() const {
  ModeSettings s = StandardDefaults();
  s.rateLevel = static_cast<uint8_t>(ReadInteger(kSettings, "SL", s.rateLevel));
  s.balance = static_cast<uint8_t>(ReadInteger(kSettings, "SB", s.balance));
  s.widthIndex = ReadInteger(kSettings, "SR", s.widthIndex);
  s.newWidth = ReadBool(kFlags, "SRM", s.newWidth);
  s.sdDeluxe = ReadBool(kFlags, "DLX", s.sdDeluxe);
  s.deluxeSound = ReadBool(kFlags, "DLXS", s.deluxeSound);
  KeepInDialogRanges(s, kStandardMode);
  return s;
}

void SettingsFile::WritePreview(const ModeSettings& values) {
  WriteInteger(kSettings, "PL", values.rateLevel);
  WriteInteger(kSettings, "PB", values.balance);
  WriteInteger(kSettings, "PR", values.widthIndex);
  WriteBool(kFlags, "PRM", values.newWidth);
}

void SettingsFile::WriteStandard(const ModeSettings& values) {
  WriteInteger(kSettings, "SL", values.rateLevel);
  WriteInteger(kSettings, "SB", values.balance);
  WriteInteger(kSettings, "SR", values.widthIndex);
  WriteBool(kFlags, "SRM", values.newWidth);
  WriteBool(kFlags, "DLX", values.sdDeluxe);
  WriteBool(kFlags, "DLXS", values.deluxeSound);
}

}  // namespace settings
