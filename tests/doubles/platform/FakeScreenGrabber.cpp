#include "platform/FakeScreenGrabber.h"

namespace lumivex::platform {

QRect FakeScreenGrabber::primaryScreenRect() const {
  return place_.isValid() ? place_ : QRect(QPoint(0, 0), screen_.size());
}

QImage FakeScreenGrabber::grabPrimaryScreen() {
  ++screenGrabs_;
  return screen_;
}

QImage FakeScreenGrabber::grabActiveWindow() {
  ++windowGrabs_;
  return activeWindow_;
}

void FakeScreenGrabber::setScreen(const QImage& picture, const QRect& place) {
  screen_ = picture;
  place_ = place;
}

void FakeScreenGrabber::setActiveWindow(const QImage& picture) { activeWindow_ = picture; }

}  // namespace lumivex::platform
