#include "window_close.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
  const xcb_intern_atom_cookie_t cookie =
      xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

}  // namespace

bool SendDeleteWindow(const QString& display, const QString& window) {
  bool numeric = false;
  const xcb_window_t id = window.toUInt(&numeric);
  if (!numeric) return false;
  xcb_connection_t* connection = xcb_connect(display.toLocal8Bit().constData(), nullptr);
  if (xcb_connection_has_error(connection) != 0) {
    xcb_disconnect(connection);
    return false;
  }
  const xcb_atom_t protocols = Atom(connection, "WM_PROTOCOLS");
  const xcb_atom_t deleteWindow = Atom(connection, "WM_DELETE_WINDOW");
  bool sent = false;
  if (protocols != XCB_ATOM_NONE && deleteWindow != XCB_ATOM_NONE) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = id;
    message.type = protocols;
    message.data.data32[0] = deleteWindow;
    message.data.data32[1] = XCB_CURRENT_TIME;
    const xcb_void_cookie_t cookie = xcb_send_event_checked(connection, 0, id, XCB_EVENT_MASK_NO_EVENT,
                                                            reinterpret_cast<const char*>(&message));
    xcb_generic_error_t* error = xcb_request_check(connection, cookie);
    sent = error == nullptr;
    std::free(error);
  }
  xcb_disconnect(connection);
  return sent;
}
