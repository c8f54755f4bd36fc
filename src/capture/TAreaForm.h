// The area-selection overlay: the frozen screen shown full-screen, 1:1 in device pixels, on which
// the user drags out a rectangle with a moving dotted frame; the picture inside the frame is the
// result. It lives for one area capture.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include <optional>

#include "platform/PointerControl.h"

namespace lumivex::capture {

class TAreaForm final : public QWidget {
  Q_OBJECT

 public:
  // Shows `frozen` (physical pixels of the primary monitor, whose rectangle in the X screen is
  // `primaryScreenRect`) and waits in a nested event loop until the user has chosen. Hotkeys
  // and timers keep firing meanwhile, so another selection may open on top of this one.
  // Returns the picture inside the frame, or nothing when the user cancelled (Escape, the window
  // closed, the program quit) or the frame had no interior (a click, a drag under 3 pixels):
  // the caller then ends the capture quietly.
  static std::optional<QImage> SelectArea(const QImage& frozen, const QRect& primaryScreenRect,
                                          platform::PointerControl& pointer);

  TAreaForm(const QImage& frozen, const QRect& primaryScreenRect,
            platform::PointerControl& pointer);
  ~TAreaForm() override;

  // Shows the overlay full-screen above every window and takes the keyboard.
  void showOverScreen();
  // The crop after a button release over a frame with interior; nothing before or otherwise.
  const std::optional<QImage>& ResultBitmap() const { return result_; }
  bool isFinished() const { return finished_; }

  // Animation tick (every 100 ms): the frame is redrawn with its dots two pixels further on.
  void Timer1Timer();

 signals:
  // The selection ended: chosen, cancelled or closed. Emitted once.
  void finished();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Image1MouseDown(QPoint at);
  void Image1MouseMove(QPoint at);
  void Image1MouseUp();
  // Both only schedule a repaint of the band the frame covers; the paint draws the picture and
  // then the frame over it, so the frame never reaches the picture itself.
  void DrawFrame();
  void EraseFrame() { DrawFrame(); }
  void finish(std::optional<QImage> result);
  void releasePointer();
  // The picture pixel of a pointer event's position, clamped to the picture.
  QPoint picturePoint(const QPointF& position);
  QRect physicalRect(const QRect& logical) const;
  QRect logicalRect(const QRect& physical) const;

  QImage frozen_;
  platform::PointerControl& pointer_;
  // Selection corners in picture pixels: where the button went down, and the last pointer
  // position while the left button was held.
  QPoint anchor_, moving_;
  // Phase of the dotted pattern: one bit that runs 128, 32, 8, 2, 128...
  quint8 patternStart_ = 128;
  // The animation clock; the only timer of the overlay.
  QTimer frameTimer_;
  std::optional<QImage> result_;
  bool confined_ = false;
  bool finished_ = false;
};

}  // namespace lumivex::capture
