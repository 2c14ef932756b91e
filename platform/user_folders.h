// The current user's own folders for settings, caches and state, after the
// XDG base directory rules, and making a folder that only its owner may enter.
#pragma once

#include <string>

namespace platform {

// $XDG_CONFIG_HOME, $XDG_CACHE_HOME and $XDG_STATE_HOME when they hold an
// absolute path (a relative one is ignored, as the rules ask), else
// ~/.config, ~/.cache and ~/.local/state. No trailing '/'.
std::string ConfigHome();
std::string CacheHome();
std::string StateHome();

// Makes `path` and every missing folder above it (those with mode 0700), and
// returns true only when `path` is then a real folder, not a link, owned by
// the current user and closed to everyone else (its mode is set to 0700).
// Anything else in its place, such as a folder another user made in a shared
// place, is left alone and gives false.
bool MakePrivateFolder(const std::string& path);

}  // namespace platform
