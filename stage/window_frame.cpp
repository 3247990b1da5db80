// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/window_frame.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <chrono>
#include <thread>

#if KIVO_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>
#endif

namespace stage {
namespace {

// Long enough for a window manager on a busy machine, short enough to pass for the
// time a window takes to appear when one claims the request but never answers it.
constexpr auto kRequestWait = std::chrono::milliseconds(250);

#if KIVO_HAVE_XCB
struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_connection_t* connection() {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
  Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr));
  return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The 32-bit items of a window property; empty when it is missing or of another type.
std::vector<uint32_t> property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t name, xcb_atom_t type) {
  Reply<xcb_get_property_reply_t> r(
      xcb_get_property_reply(c, xcb_get_property(c, 0, w, name, type, 0, 1024), nullptr));
  if (!r || r->type != type || r->format != 32) return {};
  const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(r.get()));
  return std::vector<uint32_t>(data, data + xcb_get_property_value_length(r.get()) / 4);
}

xcb_window_t rootOf(xcb_connection_t* c) {
  return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

// EWMH: the manager's check window names itself; a property left behind by a manager
// that has gone points to a window that no longer does.
bool managerAlive(xcb_connection_t* c) {
  const xcb_atom_t check = atom(c, "_NET_SUPPORTING_WM_CHECK");
  const std::vector<uint32_t> onRoot = property(c, rootOf(c), check, XCB_ATOM_WINDOW);
  if (onRoot.size() != 1) return false;
  const std::vector<uint32_t> onSelf = property(c, onRoot[0], check, XCB_ATOM_WINDOW);
  return onSelf.size() == 1 && onSelf[0] == onRoot[0];
}

bool managerSupports(xcb_connection_t* c, xcb_atom_t hint) {
  for (uint32_t a : property(c, rootOf(c), atom(c, "_NET_SUPPORTED"), XCB_ATOM_ATOM))
    if (a == hint) return true;
  return false;
}

std::optional<QMargins> extentsOf(xcb_connection_t* c, xcb_window_t w, xcb_atom_t extents) {
  const std::vector<uint32_t> v = property(c, w, extents, XCB_ATOM_CARDINAL);
  if (v.size() != 4) return std::nullopt;
  return QMargins(int(v[0]), int(v[2]), int(v[1]), int(v[3]));  // left, right, top, bottom
}

bool sendRequest(xcb_connection_t* c, xcb_window_t w) {
  const xcb_atom_t request = atom(c, "_NET_REQUEST_FRAME_EXTENTS");
  if (!managerSupports(c, request)) return false;
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = w;
  message.type = request;
  xcb_send_event(c, 0, rootOf(c), XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                 reinterpret_cast<const char*>(&message));
  xcb_flush(c);
  return true;
}

std::optional<QMargins> requestExtents(xcb_connection_t* c, xcb_window_t w, xcb_atom_t extents) {
  if (!sendRequest(c, w)) return std::nullopt;
  // The answer is a property change that Qt's event reader would see; reading the
  // property directly does not depend on when that gets round to it.
  const auto deadline = std::chrono::steady_clock::now() + kRequestWait;
  do {
    if (auto answer = extentsOf(c, w, extents)) return answer;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  } while (std::chrono::steady_clock::now() < deadline);
  return std::nullopt;
}
#endif

}  // namespace

QString x11DisplayProblem() {
#if KIVO_HAVE_XCB
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  const bool failed = xcb_connection_has_error(c) != 0;
  xcb_disconnect(c);
  if (failed) return QStringLiteral("cannot open the display \"%1\"").arg(qEnvironmentVariable("DISPLAY"));
#endif
  return {};
}

bool windowManagerRunning() {
#if KIVO_HAVE_XCB
  xcb_connection_t* c = connection();
  return c && managerAlive(c);
#else
  return false;
#endif
}

void requestFrameExtents(QWidget& window) {
#if KIVO_HAVE_XCB
  xcb_connection_t* c = connection();
  if (!c || !managerAlive(c)) return;
  const auto w = xcb_window_t(window.winId());
  if (!extentsOf(c, w, atom(c, "_NET_FRAME_EXTENTS"))) sendRequest(c, w);
#else
  (void)window;
#endif
}

std::optional<QMargins> frameExtents(QWidget& window) {
  (void)window.winId();  // the platform window: what the frame belongs to
  QWindow* handle = window.windowHandle();
  const bool mapped = handle && handle->isExposed();
#if KIVO_HAVE_XCB
  // Qt's own idea of the frame may lag behind the window manager's: ask the server.
  if (xcb_connection_t* c = connection()) {
    if (!managerAlive(c)) return QMargins();  // a bare X server draws no frame
    const auto w = xcb_window_t(window.winId());
    const xcb_atom_t extents = atom(c, "_NET_FRAME_EXTENTS");
    if (auto known = extentsOf(c, w, extents)) return known;
    if (mapped) return std::nullopt;
    return requestExtents(c, w, extents);
  }
#endif
  // Elsewhere the window system knows the frame, or there is none (offscreen).
  return handle ? handle->frameMargins() : QMargins();
}

}  // namespace stage
