// In-memory screen grabber for tests: hands out the pictures a test gave it and counts the grabs.
#pragma once

#include "platform/ScreenGrabber.h"

namespace lumivex::platform {

class FakeScreenGrabber final : public ScreenGrabber {
 public:
  QRect primaryScreenRect() const override;
  QImage grabPrimaryScreen() override;
  QImage grabActiveWindow() override;
  bool canGrabActiveWindow() const override { return windowGrabsPossible_; }
  bool lastGrabRefused() const override { return refuseScreen_ && screenGrabs_ > 0; }

  // What the primary monitor shows (a null image makes the grabs fail) and where it sits; the
  // rectangle defaults to the picture's size at the origin.
  void setScreen(const QImage& picture, const QRect& place = {});
  // The active window's picture; a null image means that no window is active.
  void setActiveWindow(const QImage& picture);
  // Like a Wayland desktop: no program gets the active window's picture.
  void refuseActiveWindow() { windowGrabsPossible_ = false; }
  // Like a desktop whose user did not allow screenshots: every screen grab is refused.
  void refuseScreen() {
    refuseScreen_ = true;
    screen_ = QImage();
  }

  int screenGrabs() const { return screenGrabs_; }
  int windowGrabs() const { return windowGrabs_; }

 private:
  QImage screen_;
  QRect place_;
  QImage activeWindow_;
  int screenGrabs_ = 0;
  int windowGrabs_ = 0;
  bool windowGrabsPossible_ = true;
  bool refuseScreen_ = false;
};

}  // namespace lumivex::platform
