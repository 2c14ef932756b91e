// Asks a window to close as a window manager does when its close button is
// pressed: a WM_DELETE_WINDOW message of the WM_PROTOCOLS kind. A bare X
// server has no window manager, so no key or click closes a top-level
// window there.
#pragma once

#include <QString>

// `display` is ":N", `window` an X window id as xdotool prints it.
bool SendDeleteWindow(const QString& display, const QString& window);
