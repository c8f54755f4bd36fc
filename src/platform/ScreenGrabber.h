// Pictures of what the screen shows: the primary monitor and the active window.
#pragma once

#include <QImage>
#include <QRect>

namespace lumivex::platform {

// Every rectangle and picture is in physical pixels of the whole desktop (the X root window),
// whatever scaling the toolkit applies to its own windows.
class ScreenGrabber {
 public:
  virtual ~ScreenGrabber() = default;

  // The primary monitor: its place among the monitors and its size. The whole desktop when no
  // monitor is marked primary; empty when there is no screen at all.
  virtual QRect primaryScreenRect() const = 0;

  // The primary monitor as it shows now, without the pointer, at the screen's depth:
  //   depth 24 and 32  QImage::Format_RGB32; the fourth byte of a pixel is whatever the display
  //                    keeps there (Qt and the picture writers treat the format as opaque)
  //   depth 15         QImage::Format_RGB555
  //   depth 16         QImage::Format_RGB32, widened without loss (the writers take no 5-6-5)
  //   depth 8          QImage::Format_Indexed8 with the colours of the screen's colour map
  // The image may own memory shared with the display server and frees it when its last copy
  // goes; the writers read those pixels in place. A null image when the grab failed.
  virtual QImage grabPrimaryScreen() = 0;

  // The foreground window as the user sees it: with the frame and title bar the window manager
  // draws around it, taken from the screen (whatever covers it shows too) and clipped to the
  // desktop. Same formats as above; a null image when no window is active or the grab failed.
  virtual QImage grabActiveWindow() = 0;

  // False where the desktop gives no program the active window's picture (Wayland without a
  // public interface for it): the caller then tells the user so instead of grabbing, since
  // grabActiveWindow() could only fail. True does not promise that a grab succeeds.
  virtual bool canGrabActiveWindow() const { return true; }

  // True when the latest grab gave a null picture because the desktop did not allow it (the
  // user refused, or left its permission dialog unanswered): the caller tells the user what to
  // change instead of reporting a failure.
  virtual bool lastGrabRefused() const { return false; }
};

// Where no screen can be grabbed (not an X11 display): every grab fails.
class NullScreenGrabber final : public ScreenGrabber {
 public:
  QRect primaryScreenRect() const override { return {}; }
  QImage grabPrimaryScreen() override { return {}; }
  QImage grabActiveWindow() override { return {}; }
};

}  // namespace lumivex::platform
