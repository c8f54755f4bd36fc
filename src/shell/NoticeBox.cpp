#include "shell/NoticeBox.h"

#include "shell/DesktopNotifier.h"

#include <QMessageBox>

namespace lumivex::shell {

void ShowNoticeBox(const QString& caption, const QString& text, int iconKind) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  if (iconKind == kBalloonInfo) icon = QMessageBox::Information;
  if (iconKind == kBalloonWarning) icon = QMessageBox::Warning;
  if (iconKind == kBalloonError) icon = QMessageBox::Critical;
  QMessageBox box(icon, caption, text, QMessageBox::Ok);
  box.exec();
}

}  // namespace lumivex::shell
