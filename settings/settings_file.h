// kelvarion.ini beside the executable: the last source, the tags, the ticked
// modes, the per-mode settings and the paths of the last outputs. Every
// write is on disk before the call returns.
#pragma once

#include <QString>

#include <string>

#include "platform/ini_file.h"
#include "settings/mode_settings.h"

namespace settings {

class SettingsFile {
 public:
  explicit SettingsFile(std::string path) : ini_(std::move(path)) {}
  // A read-only file refuses every write and leaves the file as it is.
  SettingsFile(std::string path, bool readOnly) : ini_(std::move(path)), readOnly_(readOnly) {}

  // The executable's path with its extension replaced by ".ini".
  static std::string PathBeside(const std::string& executablePath);

  QString ReadString(const char* section, const char* key, const QString& defaultValue = {}) const;
  // Decimal integers (an optional sign; also '$' or "0x" hex); anything else
  // gives the default.
  int ReadInteger(const char* section, const char* key, int defaultValue) const;
  // An integer where any value but 0 is true; a non-integer gives the default.
  bool ReadBool(const char* section, const char* key, bool defaultValue) const;

  bool WriteString(const char* section, const char* key, const QString& value);
  bool WriteInteger(const char* section, const char* key, int value);
  bool WriteBool(const char* section, const char* key, bool value);

  // The stored settings of Preview and Standard, over their defaults.
  ModeSettings ReadPreview() const;
  ModeSettings ReadStandard() const;
  void WritePreview(const ModeSettings& values);
  void WriteStandard(const ModeSettings& values);

  const std::string& path() const { return ini_.path(); }

 private:
  platform::IniFile ini_;
  bool readOnly_ = false;
};

// The integer conversion the settings file uses; nullopt-like false when the
// text is not an integer.
bool ParseIniInteger(const std::string& text, int* value);

}  // namespace settings
