// The pointer while the user drags out an area: kept inside one window, and read to the device
// pixel (Qt rounds pointer positions to whole logical pixels, which on a scaled screen loses
// device pixels).
#pragma once

#include <QPoint>
#include <QPointF>

#include <optional>

class QWindow;

namespace lumivex::platform {

class PointerControl {
 public:
  virtual ~PointerControl() = default;

  // Keeps the pointer inside `window` until release(); a second call moves the confinement.
  // False when the window system refuses (another program holds the pointer): the caller goes
  // on unconfined.
  virtual bool confineTo(QWindow& window) = 0;
  // Lets the pointer move freely again; harmless when nothing is confined.
  virtual void release() = 0;

  // The device pixel (from the window's top-left corner) of the pointer event that Qt has just
  // delivered to `window` at `logicalPosition`; nothing when unknown. Each answer consumes that
  // event and the ones before it, so ask once per event, in order.
  virtual std::optional<QPoint> devicePosition(const QWindow& window, QPointF logicalPosition) = 0;
};

// Where the window system offers neither: the pointer stays free, Qt's positions stand.
class NullPointerControl final : public PointerControl {
 public:
  bool confineTo(QWindow&) override { return false; }
  void release() override {}
  std::optional<QPoint> devicePosition(const QWindow&, QPointF) override { return std::nullopt; }
};

}  // namespace lumivex::platform
