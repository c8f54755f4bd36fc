#include "platform/x11/X11PointerControl.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>

namespace lumivex::platform {
namespace {

// The XInput 2 extension's identity and its pointer events, without the xcb-xinput library.
xcb_extension_t kXInputExtension = {"XInputExtension", 0};
constexpr uint16_t kXiButtonPress = 4, kXiButtonRelease = 5, kXiMotion = 6;

// The start of an XInput 2 device event as libxcb hands it over (the protocol's layout, with
// libxcb's full sequence number after the 32-byte header).
struct XiDeviceEvent {
  uint8_t responseType, extension;
  uint16_t sequence;
  uint32_t length;
  uint16_t eventType, deviceId;
  uint32_t time, detail, root, event, child, fullSequence;
  int32_t rootX, rootY, eventX, eventY;  // 16.16 fixed point
};

struct PointerEvent {
  xcb_window_t window;
  QPoint at;  // device pixels from the window's top-left corner
};

// How many recent pointer events are kept for matching; Qt delivers each batch it reads soon after.
constexpr size_t kRecentEvents = 64;

class X11PointerControl final : public PointerControl, public QAbstractNativeEventFilter {
 public:
  explicit X11PointerControl(xcb_connection_t* connection) : connection_(connection) {
    const xcb_query_extension_reply_t* xi = xcb_get_extension_data(connection_, &kXInputExtension);
    if (xi && xi->present) xinputOpcode_ = xi->major_opcode;
    QCoreApplication::instance()->installNativeEventFilter(this);
  }

  ~X11PointerControl() override {
    QCoreApplication::instance()->removeNativeEventFilter(this);
    release();
  }

  bool confineTo(QWindow& window) override {
    const auto target = xcb_window_t(window.winId());
    // Owner events: the pointer stays over our own window, so Qt keeps receiving its events as
    // if there were no grab; the grab only adds the confinement.
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

  std::optional<QPoint> devicePosition(const QWindow& window, QPointF logicalPosition) override {
    const auto target = xcb_window_t(window.winId());
    const qreal ratio = window.devicePixelRatio();
    const QPointF rounded = logicalPosition * ratio;
    // Qt's position is the device pixel divided and rounded: the matching event lies within one
    // logical pixel of it. Motions Qt dropped in favour of later ones are skipped on the way.
    for (auto it = recent_.begin(); it != recent_.end(); ++it) {
      if (it->window != target) continue;
      if (std::abs(it->at.x() - rounded.x()) < ratio &&
          std::abs(it->at.y() - rounded.y()) < ratio) {
        const QPoint at = it->at;
        recent_.erase(recent_.begin(), it + 1);
        return at;
      }
    }
    return std::nullopt;
  }

  bool nativeEventFilter(const QByteArray& kind, void* message, qintptr*) override {
    if (kind != "xcb_generic_event_t") return false;
    if (const std::optional<PointerEvent> event =
            pointerEvent(*static_cast<xcb_generic_event_t*>(message))) {
      recent_.push_back(*event);
      if (recent_.size() > kRecentEvents) recent_.pop_front();
    }
    return false;
  }

 private:
  std::optional<PointerEvent> pointerEvent(const xcb_generic_event_t& event) const {
    switch (event.response_type & 0x7f) {
      case XCB_BUTTON_PRESS:
      case XCB_BUTTON_RELEASE: {
        const auto& e = reinterpret_cast<const xcb_button_press_event_t&>(event);
        return PointerEvent{e.event, QPoint(e.event_x, e.event_y)};
      }
      case XCB_MOTION_NOTIFY: {
        const auto& e = reinterpret_cast<const xcb_motion_notify_event_t&>(event);
        return PointerEvent{e.event, QPoint(e.event_x, e.event_y)};
      }
      case XCB_GE_GENERIC: {
        const auto& header = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
        if (xinputOpcode_ == 0 || header.extension != xinputOpcode_) return std::nullopt;
        if (header.event_type != kXiButtonPress && header.event_type != kXiButtonRelease &&
            header.event_type != kXiMotion)
          return std::nullopt;
        // Only now is the event known to be long enough.
        XiDeviceEvent e;
        std::memcpy(&e, &event, sizeof e);
        return PointerEvent{e.event, QPoint(e.eventX >> 16, e.eventY >> 16)};
      }
      default:
        return std::nullopt;
    }
  }

  xcb_connection_t* connection_;
  uint8_t xinputOpcode_ = 0;
  bool grabbed_ = false;
  std::deque<PointerEvent> recent_;
};

}  // namespace

std::unique_ptr<PointerControl> createX11PointerControl() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection()) return nullptr;
  return std::make_unique<X11PointerControl>(x11->connection());
}

}  // namespace lumivex::platform
