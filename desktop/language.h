// Which language the interface speaks, from the environment.
#pragma once

#include <functional>
#include <string>

namespace desktop {

using EnvLookup = std::function<const char*(const char*)>;

// Russian exactly when both the interface language (the first set of
// LANGUAGE's first entry, LC_ALL, LC_MESSAGES, LANG) and the system locale
// (the first set of LC_ALL, LC_CTYPE, LANG) start with "ru".
bool IsRussianUi(const EnvLookup& getenv);
bool IsRussianUi();

// The toolkit's own dialogs, menus and buttons speak the interface's
// language: its Russian translations are installed for a Russian interface
// and removed for an English one. Returns whether the interface's
// translations are in place (English needs none).
bool UseToolkitLanguage(bool russianUi);

}  // namespace desktop
