#include "capture/TAreaForm.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <vector>

namespace lumivex::capture {
namespace {

constexpr int kFrameTickMs = 100;
constexpr quint8 kPatternStart = 128;

struct FrameDot {
  QPoint at;
  bool white;
};

// The outline from `anchor` to `moving`, one dot per pixel in drawing order: the four edges
// anchor -> (moving.x, anchor.y) -> moving -> (anchor.x, moving.y) -> anchor, each without its
// end point (it starts the next edge). A one-bit pattern walks along the dots: five black,
// three white, its phase fixed by `patternStart`.
std::vector<FrameDot> frameDots(QPoint anchor, QPoint moving, quint8 patternStart) {
  const QPoint corners[] = {
      anchor, {moving.x(), anchor.y()}, moving, {anchor.x(), moving.y()}, anchor};
  std::vector<FrameDot> dots;
  quint8 pattern = patternStart;
  for (int edge = 0; edge < 4; ++edge) {
    const QPoint from = corners[edge], to = corners[edge + 1];
    const QPoint step((to.x() > from.x()) - (to.x() < from.x()),
                      (to.y() > from.y()) - (to.y() < from.y()));
    for (QPoint p = from; p != to; p += step) {
      pattern = quint8(pattern << 1);
      if (pattern == 0) pattern = 1;
      dots.push_back({p, (pattern & 0xE0) != 0});
    }
  }
  return dots;
}

// The pixels the outline through both corners encloses, the outline included.
QRect outline(QPoint a, QPoint b) {
  return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
               QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
}

// The pixels strictly inside the outline; empty when it is less than 3 pixels wide or high.
QRect interior(QPoint a, QPoint b) { return outline(a, b).adjusted(1, 1, -1, -1); }

// The screen that shows the given rectangle of the X screen. Qt keeps each screen's native
// origin as its logical origin and scales only the size.
QScreen* screenShowing(const QRect& nativeRect) {
  for (QScreen* screen : QGuiApplication::screens()) {
    const QRect native(screen->geometry().topLeft(),
                       screen->geometry().size() * screen->devicePixelRatio());
    if (native.contains(nativeRect.center())) return screen;
  }
  return QGuiApplication::primaryScreen();
}

}  // namespace

std::optional<QImage> TAreaForm::SelectArea(const QImage& frozen, const QRect& primaryScreenRect,
                                            platform::PointerControl& pointer) {
  TAreaForm form(frozen, primaryScreenRect, pointer);
  QEventLoop loop;
  connect(&form, &TAreaForm::finished, &loop, &QEventLoop::quit);
  form.showOverScreen();
  // Also left when the application quits: the form then holds no result.
  if (!form.isFinished()) loop.exec();
  return form.ResultBitmap();
}

TAreaForm::TAreaForm(const QImage& frozen, const QRect& primaryScreenRect,
                     platform::PointerControl& pointer)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      frozen_(frozen),
      pointer_(pointer) {
  // Drawn and cropped as device pixels, whatever scale the caller's picture carries.
  frozen_.setDevicePixelRatio(1);
  setWindowTitle(QStringLiteral("AreaForm"));
  setWindowModality(Qt::ApplicationModal);
  // Every pixel comes from the picture: no background fill before painting.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::CrossCursor);
  setFocusPolicy(Qt::StrongFocus);
  QScreen* screen = screenShowing(primaryScreenRect);
  setScreen(screen);
  setGeometry(screen->geometry());

  patternStart_ = kPatternStart;
  frameTimer_.setInterval(kFrameTickMs);
  connect(&frameTimer_, &QTimer::timeout, this, &TAreaForm::Timer1Timer);
  frameTimer_.start();
}

TAreaForm::~TAreaForm() { releasePointer(); }

void TAreaForm::showOverScreen() {
  setWindowState(Qt::WindowFullScreen);
  show();
  raise();
  activateWindow();
  setFocus();
}

void TAreaForm::Timer1Timer() {
  patternStart_ = quint8(patternStart_ >> 2);
  if (patternStart_ == 0) patternStart_ = kPatternStart;
  DrawFrame();
}

void TAreaForm::DrawFrame() {
  if (anchor_ == moving_) return;
  const QRect frame = outline(anchor_, moving_);
  const int l = frame.left(), t = frame.top(), w = frame.width(), h = frame.height();
  QRegion band;
  for (const QRect& edge : {QRect(l, t, w, 1), QRect(l, frame.bottom(), w, 1), QRect(l, t, 1, h),
                            QRect(frame.right(), t, 1, h)})
    band += logicalRect(edge);
  update(band);
}

void TAreaForm::Image1MouseDown(QPoint at) {
  EraseFrame();
  anchor_ = moving_ = at;
  // Refused when another program holds the pointer: the selection then works unconfined.
  if (QWindow* window = windowHandle()) confined_ = pointer_.confineTo(*window);
}

void TAreaForm::Image1MouseMove(QPoint at) {
  EraseFrame();
  moving_ = at;
  DrawFrame();
}

void TAreaForm::Image1MouseUp() {
  releasePointer();
  // The area inside the frame the user sees, copied from the picture (the frame is only ever
  // painted on the window).
  // Checked before intersecting: QRect's intersection would turn an inverted rectangle around.
  const QRect inside = interior(anchor_, moving_);
  const QRect area = inside.isEmpty() ? QRect() : inside & frozen_.rect();
  if (area.isEmpty()) {
    finish(std::nullopt);
    return;
  }
  finish(frozen_.copy(area));
}

void TAreaForm::finish(std::optional<QImage> result) {
  if (finished_) return;
  finished_ = true;
  releasePointer();
  frameTimer_.stop();
  result_ = std::move(result);
  hide();
  emit finished();
}

// Only a confinement of our own: a selection opened on top of another one must not free the
// pointer that the one below still holds.
void TAreaForm::releasePointer() {
  if (confined_) pointer_.release();
  confined_ = false;
}

void TAreaForm::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  // From here on one unit is one device pixel, which is one pixel of the picture.
  const qreal ratio = devicePixelRatio();
  painter.scale(1 / ratio, 1 / ratio);
  const QRect exposed = physicalRect(event->rect());
  if (!frozen_.rect().contains(exposed)) painter.fillRect(exposed, Qt::black);
  const QRect shown = exposed & frozen_.rect();
  if (!shown.isEmpty()) painter.drawImage(shown.topLeft(), frozen_, shown);
  for (const FrameDot& dot : frameDots(anchor_, moving_, patternStart_))
    painter.fillRect(QRect(dot.at, QSize(1, 1)), dot.white ? Qt::white : Qt::black);
}

// Every pointer event asks for its device pixel, also the ones it ignores: the answers come in
// the order of the events.
void TAreaForm::mousePressEvent(QMouseEvent* event) {
  const QPoint at = picturePoint(event->position());
  if (!finished_) Image1MouseDown(at);
}

void TAreaForm::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = picturePoint(event->position());
  // Only a held left button moves the frame; the right one starts and ends a selection only.
  if (!finished_ && (event->buttons() & Qt::LeftButton)) Image1MouseMove(at);
}

void TAreaForm::mouseReleaseEvent(QMouseEvent* event) {
  picturePoint(event->position());
  if (!finished_) Image1MouseUp();
}

void TAreaForm::keyPressEvent(QKeyEvent* event) {
  // The way out users expect from a full-screen overlay.
  if (event->key() == Qt::Key_Escape) {
    finish(std::nullopt);
    return;
  }
  QWidget::keyPressEvent(event);
}

void TAreaForm::closeEvent(QCloseEvent* event) {
  finish(std::nullopt);
  event->accept();
}

QPoint TAreaForm::picturePoint(const QPointF& position) {
  QPointF device = position * devicePixelRatio();
  if (QWindow* window = windowHandle()) {
    if (const std::optional<QPoint> exact = pointer_.devicePosition(*window, position))
      device = *exact;
  }
  const int right = std::max(frozen_.width() - 1, 0), bottom = std::max(frozen_.height() - 1, 0);
  return {std::clamp(qRound(device.x()), 0, right), std::clamp(qRound(device.y()), 0, bottom)};
}

QRect TAreaForm::physicalRect(const QRect& logical) const {
  const qreal ratio = devicePixelRatio();
  return QRectF(QPointF(logical.topLeft()) * ratio, QSizeF(logical.size()) * ratio).toAlignedRect();
}

QRect TAreaForm::logicalRect(const QRect& physical) const {
  const qreal ratio = devicePixelRatio();
  // One logical pixel more on every side: rounding must never leave a dot unrepainted.
  return QRectF(QPointF(physical.topLeft()) / ratio, QSizeF(physical.size()) / ratio)
      .toAlignedRect()
      .adjusted(-1, -1, 1, 1);
}

}  // namespace lumivex::capture
