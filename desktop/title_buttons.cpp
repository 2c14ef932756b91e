#include "desktop/title_buttons.h"

#include <QGuiApplication>
#include <QWidget>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#if KELVARION_HAS_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

namespace desktop {

void AskForNoTitleButtons([[maybe_unused]] QWidget* window) {
#if KELVARION_HAS_XCB
  // Only a window on an X server has these hints (offscreen windows have
  // an interface to X that leads nowhere).
  if (QGuiApplication::platformName() != "xcb") return;
  const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
  if (connection == nullptr || window->winId() == 0) return;
  // The toolkit asks only for decorations when a window wants no button,
  // which leaves every function, close included, to the window manager.
  // These hints name the functions as well: moving alone.
  constexpr uint32_t kFunctionsAndDecorations = 1 | 2;
  constexpr uint32_t kMove = 1 << 2;
  constexpr uint32_t kBorderAndTitle = (1 << 1) | (1 << 3);
  const uint32_t hints[5] = {kFunctionsAndDecorations, kMove, kBorderAndTitle, 0, 0};
  constexpr char kName[] = "_MOTIF_WM_HINTS";
  xcb_intern_atom_reply_t* atom =
      xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(kName), kName), nullptr);
  if (atom == nullptr) return;
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window->winId()), atom->atom,
                      atom->atom, 32, 5, hints);
  xcb_flush(connection);
  std::free(atom);
#endif
}

}  // namespace desktop
