#include "shell/uWindowActivation.h"

#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <memory>

#if QT_CONFIG(xcb)
#include <xcb/xcb.h>
#endif

namespace skimbrook {

namespace {

#if QT_CONFIG(xcb)

// How long to wait for a window that is being mapped (shown or restored) to become viewable.
constexpr int ViewableRetries = 40;
constexpr int ViewableRetryMs = 25;

template <typename T>
using TReply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t Atom(xcb_connection_t* Connection, const char* Name) {
  TReply<xcb_intern_atom_reply_t> reply(
      xcb_intern_atom_reply(Connection, xcb_intern_atom(Connection, 0, std::strlen(Name), Name), nullptr),
      &std::free);
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// The window named by a WINDOW property of Window, or none.
xcb_window_t WindowProperty(xcb_connection_t* Connection, xcb_window_t Window, xcb_atom_t Property) {
  TReply<xcb_get_property_reply_t> reply(
      xcb_get_property_reply(
          Connection, xcb_get_property(Connection, 0, Window, Property, XCB_ATOM_WINDOW, 0, 1), nullptr),
      &std::free);
  if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4) return XCB_WINDOW_NONE;
  return *static_cast<xcb_window_t*>(xcb_get_property_value(reply.get()));
}

// A window manager that follows the desktop conventions names its check window on the
// root window, and the check window names itself.
bool WindowManagerRuns(xcb_connection_t* Connection, xcb_window_t Root) {
  const xcb_atom_t check = Atom(Connection, "_NET_SUPPORTING_WM_CHECK");
  const xcb_window_t checkWindow = WindowProperty(Connection, Root, check);
  return checkWindow != XCB_WINDOW_NONE && WindowProperty(Connection, checkWindow, check) == checkWindow;
}

bool IsViewable(xcb_connection_t* Connection, xcb_window_t Window) {
  TReply<xcb_get_window_attributes_reply_t> reply(
      xcb_get_window_attributes_reply(Connection, xcb_get_window_attributes(Connection, Window), nullptr),
      &std::free);
  return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

// The window manager grants an activation that a pager (a task bar) asks for, as the
// user's own choice; an application's request made while another program has the focus
// is refused by its focus-stealing prevention, and the later start of the program is what
// the user did. Without a window manager the focus is set directly; the current time makes
// the server accept it although this program has seen no event for a while.
void ActivateOnX11(xcb_connection_t* Connection, xcb_window_t Window) {
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(Connection)).data->root;
  if (WindowManagerRuns(Connection, root)) {
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = Window;
    event.type = Atom(Connection, "_NET_ACTIVE_WINDOW");
    event.data.data32[0] = 2;  // source: a pager
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(Connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&event));
  } else {
    const uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(Connection, Window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_set_input_focus(Connection, XCB_INPUT_FOCUS_PARENT, Window, XCB_CURRENT_TIME);
  }
  xcb_flush(Connection);
}

void ActivateWhenViewable(QPointer<QWidget> Window, int RetriesLeft) {
  if (!Window || !Window->isVisible()) return;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11 || !x11->connection()) return;
  const auto window = static_cast<xcb_window_t>(Window->winId());
  if (IsViewable(x11->connection(), window)) {
    ActivateOnX11(x11->connection(), window);
  } else if (RetriesLeft > 0) {
    QTimer::singleShot(ViewableRetryMs, Window,
                       [Window, RetriesLeft] { ActivateWhenViewable(Window, RetriesLeft - 1); });
  }
}

#endif

}  // namespace

void ActivateWindowFromOutside(QWidget* Window) {
  Window->raise();
  Window->activateWindow();
#if QT_CONFIG(xcb)
  ActivateWhenViewable(Window, ViewableRetries);
#endif
}

}  // namespace skimbrook
