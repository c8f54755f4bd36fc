#include "shell/TrayIcon.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>

// Resources of a static library are registered by hand, outside any namespace.
static void initTrayPictures() { Q_INIT_RESOURCE(icons); }

namespace lumivex::shell {

TTrayIcon::TTrayIcon(platform::NoticeService& notices, QObject* parent)
    : QObject(parent), notices_(notices) {
  connect(&tray_, &QSystemTrayIcon::activated, this, &TTrayIcon::activated);
}

TTrayIcon::~TTrayIcon() {
  if (filteredMenu_) filteredMenu_->removeEventFilter(this);
  tray_.hide();
}

QList<QIcon> TTrayIcon::StoragePictures() {
  static const bool registered = (initTrayPictures(), true);
  Q_UNUSED(registered);
  QList<QIcon> pictures;
  for (const char* name : {"file", "clipboard"}) {
    QIcon icon;
    for (int size : {16, 22, 32, 48})
      icon.addFile(QStringLiteral(":/icons/tray-%1-%2.png").arg(QLatin1String(name)).arg(size));
    pictures.append(icon);
  }
  return pictures;
}

QString TTrayIcon::CutText(const QString& text, int max) {
  if (text.size() <= max) return text;
  int n = max;
  if (n > 0 && text.at(n - 1).isHighSurrogate()) --n;
  return text.left(n);
}

void TTrayIcon::SetIconList(const QList<QIcon>& icons) {
  iconList_ = icons;
  SetIconIndex(iconIndex_);
}

void TTrayIcon::SetIconIndex(int index) {
  if (iconList_.isEmpty()) return;
  iconIndex_ = index >= iconList_.size() ? int(iconList_.size()) - 1 : index;
  // A negative index names no picture: the tray gets an empty one, as for an unreadable icon.
  icon_ = iconIndex_ >= 0 ? iconList_.at(iconIndex_) : QIcon();
  UpdateIcon();
}

void TTrayIcon::SetHint(const QString& hint) {
  hint_ = hint;
  UpdateIcon();
}

void TTrayIcon::SetShowHint(bool show) {
  showHint_ = show;
  UpdateIcon();
}

QString TTrayIcon::ToolTip() const { return showHint_ ? CutText(hint_, kHintMax) : QString(); }

void TTrayIcon::UpdateIcon() {
  tray_.setIcon(icon_);
  tray_.setToolTip(ToolTip());
}

void TTrayIcon::SetIconVisible(bool visible) {
  iconVisible_ = visible;
  UpdateIcon();
  tray_.setVisible(visible);
}

bool TTrayIcon::ShowBalloonNotice(const QString& title, const QString& text, int iconKind,
                                  quint8 seconds, platform::NoticePlace place) {
  const QString cutTitle = CutText(title, kBalloonTitleMax);
  const QString cutText = CutText(text, kBalloonTextMax);
  const int timeoutMs = int(seconds) * 1000;
  if (notices_.notificationsAvailable() &&
      notices_.notify(cutTitle, cutText, iconKind, timeoutMs, place))
    return true;
  if (!iconVisible_) return false;
  return notices_.showBalloon(tray_, cutTitle, cutText, iconKind, timeoutMs);
}

void TTrayIcon::activated(QSystemTrayIcon::ActivationReason reason) {
  if (!Enabled) return;
  switch (reason) {
    case QSystemTrayIcon::Trigger:
      // The press that follows a double click is not a new request for the menu.
      if (doubleClickSeen_.isValid() &&
          doubleClickSeen_.elapsed() < QApplication::doubleClickInterval())
        return;
      if (LeftPopup) ShowMenuAtCursor(true);
      break;
    case QSystemTrayIcon::Context:
      // Qt opens the context menu itself, at the press, before it reports the press.
      if (!tray_.contextMenu()) ShowMenuAtCursor(false);
      break;
    case QSystemTrayIcon::DoubleClick:
      // The first press of the pair may have opened the menu already.
      if (filteredMenu_ && leftPressMenu_.isValid()) filteredMenu_->hide();
      leftPressMenu_.invalidate();
      raiseDoubleClick();
      break;
    default:
      break;
  }
}

void TTrayIcon::ShowMenuAtCursor(bool leftPress) {
  if (!popupMenu_) return;
  if (filteredMenu_ != popupMenu_) {
    if (filteredMenu_) filteredMenu_->removeEventFilter(this);
    filteredMenu_ = popupMenu_;
    filteredMenu_->installEventFilter(this);
  }
  if (leftPress)
    leftPressMenu_.start();
  else
    leftPressMenu_.invalidate();
  popupMenu_->popup(QCursor::pos());
}

void TTrayIcon::raiseDoubleClick() {
  doubleClickSeen_.start();
  emit OnDblClick();
}

// The menu opened by a left press grabs the pointer, so the second press of a double click
// lands on the menu: recognise it there by place and time.
bool TTrayIcon::eventFilter(QObject* watched, QEvent* event) {
  const bool isPress =
      event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
  if (watched == filteredMenu_ && isPress) {
    auto* press = static_cast<QMouseEvent*>(event);
    const QPoint at = press->globalPosition().toPoint();
    if (press->button() == Qt::LeftButton && leftPressMenu_.isValid() &&
        leftPressMenu_.elapsed() < QApplication::doubleClickInterval() &&
        !filteredMenu_->geometry().contains(at) && tray_.geometry().contains(at)) {
      leftPressMenu_.invalidate();
      filteredMenu_->hide();
      doubleClickSeen_.start();
      QTimer::singleShot(0, this, [this] { emit OnDblClick(); });
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace lumivex::shell
