// Screen grabs on a Wayland desktop through org.freedesktop.portal.Screenshot. The compositor
// alone sees every window; the portal hands out its picture of the whole desktop as a file.
#pragma once

#include <QDBusConnection>
#include <QDateTime>
#include <QList>

#include <chrono>

#include "platform/ScreenGrabber.h"

namespace lumivex::platform {

class PortalScreenGrabber final : public ScreenGrabber {
 public:
  // `bound`: how long one grab waits for the portal. The first grab may wait for the user to
  // allow screenshots; later ones answer at once where the desktop remembers the permission.
  explicit PortalScreenGrabber(QDBusConnection bus,
                               std::chrono::milliseconds bound = std::chrono::seconds(30));

  // From the toolkit's screens, before any grab; a grab corrects it by the picture's size.
  QRect primaryScreenRect() const override;
  // One non-interactive portal call per grab. Null when the user refused (response 1), the
  // desktop failed (2), the portal did not answer within the bound, or its file is unreadable.
  // Also null when called while another grab waits for the portal.
  QImage grabPrimaryScreen() override;
  // No public Wayland interface gives the active window: always null.
  QImage grabActiveWindow() override { return {}; }
  bool canGrabActiveWindow() const override { return false; }
  // Responses 1 and 2 and silence within the bound: where the desktop asks for permission,
  // these are its ways of saying no (GNOME answers 2 when its dialog times out).
  bool lastGrabRefused() const override { return refused_; }

 private:
  QImage grabDesktop();

  QDBusConnection bus_;
  std::chrono::milliseconds bound_;
  bool grabbing_ = false;
  bool refused_ = false;
};

// Where the primary monitor sits in the portal's picture of the whole desktop. `screens` are
// the monitors' rectangles in one layout space (the compositor's logical pixels on Wayland,
// device pixels on X11), the first being the primary one. The picture covers their bounding box, in
// logical or in device pixels depending on the desktop: the rectangle is scaled by the picture's
// size over the box's, so both come out right. One monitor, or none known: the whole picture.
QRect primaryRectInPicture(QSize picture, const QList<QRect>& screens);

// The portal wrote its picture to a file just for this call; remove it unless it is plainly
// not such a file: outside the local file system, not a regular file, or older than the
// request (`requestedAt`), which no picture made for it can be.
void removePortalFile(const QString& localPath, const QDateTime& requestedAt);

}  // namespace lumivex::platform
