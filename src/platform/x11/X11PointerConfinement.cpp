#include "platform/x11/X11PointerConfinement.h"

#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>

namespace lumivex::platform {
namespace {

class X11PointerConfinement final : public PointerConfinement {
 public:
  explicit X11PointerConfinement(xcb_connection_t* connection) : connection_(connection) {}
  ~X11PointerConfinement() override { release(); }

  bool confineTo(QWindow& window) override {
    const auto target = xcb_window_t(window.winId());
    // Owner events: the pointer stays over our own window, so Qt keeps receiving its events
    // (also its XInput 2 events) as if there were no grab; the grab only adds the confinement.
    constexpr uint16_t kEvents =
        XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION;
    const xcb_grab_pointer_cookie_t cookie =
        xcb_grab_pointer(connection_, 1, target, kEvents, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC,
                         target, XCB_CURSOR_NONE, XCB_CURRENT_TIME);
    xcb_grab_pointer_reply_t* reply = xcb_grab_pointer_reply(connection_, cookie, nullptr);
    grabbed_ = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(reply);
    return grabbed_;
  }

  void release() override {
    if (!grabbed_) return;
    xcb_ungrab_pointer(connection_, XCB_CURRENT_TIME);
    xcb_flush(connection_);
    grabbed_ = false;
  }

 private:
  xcb_connection_t* connection_;
  bool grabbed_ = false;
};

}  // namespace

std::unique_ptr<PointerConfinement> createX11PointerConfinement() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection()) return nullptr;
  return std::make_unique<X11PointerConfinement>(x11->connection());
}

}  // namespace lumivex::platform
