#include "platform/portal/PortalScreenGrabber.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QScreen>
#include <QUrl>

#include "platform/portal/PortalRequest.h"

namespace lumivex::platform {
namespace {

bool onWayland() { return QGuiApplication::platformName() == QLatin1String("wayland"); }

// A screen in the toolkit's native coordinates, where the monitors lie side by side. Qt keeps a
// screen's native top-left and divides only its size by its scale factor. On X11 that factor
// is the device pixel ratio; a Wayland compositor scales by itself, so there Qt's own factor is
// the user's QT_SCALE_FACTOR alone.
QRect nativeRect(const QScreen& screen) {
  const qreal factor = onWayland() ? qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble()
                                   : screen.devicePixelRatio();
  const QRect logical = screen.geometry();
  return QRect(logical.topLeft(), (QSizeF(logical.size()) * (factor > 0 ? factor : 1)).toSize());
}

// The primary screen first, then the others.
QList<QRect> screenRects() {
  QList<QRect> rects;
  QScreen* primary = QGuiApplication::primaryScreen();
  if (primary) rects.append(nativeRect(*primary));
  for (QScreen* screen : QGuiApplication::screens())
    if (screen != primary) rects.append(nativeRect(*screen));
  return rects;
}

}  // namespace

PortalScreenGrabber::PortalScreenGrabber(QDBusConnection bus, std::chrono::milliseconds bound)
    : bus_(std::move(bus)), bound_(bound) {}

QRect PortalScreenGrabber::primaryScreenRect() const {
  const QList<QRect> screens = screenRects();
  if (screens.isEmpty()) return {};
  QRect box;
  for (const QRect& r : screens) box |= r;
  // Native coordinates are device pixels on X11; a Wayland compositor's coordinates are
  // logical, and its pictures are usually in device pixels of the primary screen's scale.
  const qreal ratio = onWayland() ? QGuiApplication::primaryScreen()->devicePixelRatio() : 1.0;
  return primaryRectInPicture((QSizeF(box.size()) * ratio).toSize(), screens);
}

QImage PortalScreenGrabber::grabPrimaryScreen() {
  // A capture started from inside the wait (a hotkey while the permission dialog shows) would
  // nest a second portal dialog: it fails instead.
  if (grabbing_) return {};
  grabbing_ = true;
  refused_ = false;
  QImage desktop = grabDesktop();
  grabbing_ = false;
  if (desktop.isNull()) return {};
  const QRect primary = primaryRectInPicture(desktop.size(), screenRects());
  QImage picture = desktop.copy(primary);
  // The writers and the overlay take the screen's own 32-bit format; portals send PNG files
  // with or without alpha.
  return picture.convertToFormat(QImage::Format_RGB32);
}

QImage PortalScreenGrabber::grabDesktop() {
  PortalRequest request(bus_);
  QDBusMessage call = QDBusMessage::createMethodCall(
      QString::fromLatin1(kPortalService), QString::fromLatin1(kPortalPath),
      QStringLiteral("org.freedesktop.portal.Screenshot"), QStringLiteral("Screenshot"));
  const QVariantMap options{{QStringLiteral("handle_token"), request.token()},
                            {QStringLiteral("interactive"), false},
                            {QStringLiteral("modal"), false}};
  call << QString() << options;  // no parent window: the program has none on screen
  const QDateTime requestedAt = QDateTime::currentDateTimeUtc();
  QVariantMap results;
  const int response = request.run(call, bound_, &results);
  if (response != kPortalSuccess) {
    // Said to the user by the caller; the log keeps the portal's own answer.
    refused_ = response != kCallFailed;
    qWarning("lumivex: the desktop did not allow the screenshot (portal response %d)", response);
    return {};
  }
  const QUrl uri(results.value(QStringLiteral("uri")).toString());
  if (!uri.isLocalFile()) {
    qWarning("lumivex: the portal's screenshot is no local file: %s", qPrintable(uri.toString()));
    return {};
  }
  QImageReader reader(uri.toLocalFile());
  QImage desktop = reader.read();
  if (desktop.isNull())
    qWarning("lumivex: cannot read the portal's screenshot %s: %s", qPrintable(uri.toLocalFile()),
             qPrintable(reader.errorString()));
  removePortalFile(uri.toLocalFile(), requestedAt);
  return desktop;
}

QRect primaryRectInPicture(QSize picture, const QList<QRect>& screens) {
  const QRect whole(QPoint(0, 0), picture);
  if (screens.size() < 2) return whole;
  QRect box;
  for (const QRect& r : screens) box |= r;
  const qreal sx = qreal(picture.width()) / box.width();
  const qreal sy = qreal(picture.height()) / box.height();
  const QRect& primary = screens.front();
  const QRectF scaled((primary.x() - box.x()) * sx, (primary.y() - box.y()) * sy,
                      primary.width() * sx, primary.height() * sy);
  return scaled.toAlignedRect() & whole;
}

void removePortalFile(const QString& localPath, const QDateTime& requestedAt) {
  const QFileInfo file(localPath);
  if (!file.isFile() || file.isSymLink()) return;
  // File systems keep whole seconds at worst: a file made for the request is at most that
  // much older than the moment it was asked for.
  if (file.lastModified().toUTC() < requestedAt.addSecs(-2)) return;
  if (!QFile::remove(localPath))
    qWarning("lumivex: cannot remove the portal's screenshot file %s", qPrintable(localPath));
}

}  // namespace lumivex::platform
