// The program's icon in the notification area: picture, tooltip, menu, double click, notices.
#pragma once

#include "platform/NoticeService.h"

#include <QElapsedTimer>
#include <QIcon>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

namespace lumivex::shell {

class TTrayIcon : public QObject {
  Q_OBJECT

 public:
  static constexpr int kHintMax = 127;
  static constexpr int kBalloonTitleMax = 63;
  static constexpr int kBalloonTextMax = 255;

  // Notices go through `notices`, which must outlive the icon.
  explicit TTrayIcon(platform::NoticeService& notices, QObject* parent = nullptr);
  ~TTrayIcon() override;  // the icon leaves the tray at once

  // The tray pictures shipped with the program: 0 file output, 1 clipboard output.
  static QList<QIcon> StoragePictures();
  // At most `max` characters, never splitting a surrogate pair.
  static QString CutText(const QString& text, int max);

  void SetIconList(const QList<QIcon>& icons);
  int IconIndex() const { return iconIndex_; }
  // An index past the list shows its last picture.
  void SetIconIndex(int index);
  QIcon Icon() const { return icon_; }

  QString Hint() const { return hint_; }
  void SetHint(const QString& hint);
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool show);
  // The tooltip handed to the tray: the cut hint, or nothing.
  QString ToolTip() const;

  // Also the tray's context menu: a status-notifier panel (KDE Plasma, GNOME's AppIndicator
  // extension) shows only a menu the item exports, and on Wayland no program can open one at
  // the pointer itself.
  void SetPopupMenu(QMenu* menu) {
    popupMenu_ = menu;
    tray_.setContextMenu(menu);
  }
  QMenu* PopupMenu() const { return popupMenu_; }
  bool LeftPopup = true;  // the left button opens the menu too
  bool Enabled = true;    // presses are answered only when true

  bool IconVisible() const { return iconVisible_; }
  void SetIconVisible(bool visible);
  // Brings the icon up; the program has no window to hide.
  void HideToTray() { SetIconVisible(true); }

  // Shows a notice (title, text, icon kind, time-out in seconds) that replaces the previous one,
  // or stands beside it where the desktop's notification service takes it. Sent to that service
  // when there is one, else as the tray's balloon (which always replaces).
  bool ShowBalloonNotice(const QString& title, const QString& text, int iconKind, quint8 seconds,
                         platform::NoticePlace place = platform::NoticePlace::kReplacing);

  QSystemTrayIcon& TrayIcon() { return tray_; }

 signals:
  void OnDblClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void UpdateIcon();
  void ShowMenuAtCursor(bool leftPress);
  void activated(QSystemTrayIcon::ActivationReason reason);
  void raiseDoubleClick();

  QSystemTrayIcon tray_;
  platform::NoticeService& notices_;
  QList<QIcon> iconList_;
  int iconIndex_ = 0;
  QIcon icon_;
  QString hint_;
  bool showHint_ = true;
  bool iconVisible_ = false;
  QPointer<QMenu> popupMenu_;
  QPointer<QMenu> filteredMenu_;
  QElapsedTimer leftPressMenu_;    // since the left press that opened the menu
  QElapsedTimer doubleClickSeen_;  // since the last double click was raised
};

}  // namespace lumivex::shell
