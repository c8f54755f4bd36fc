#include "shell/NoticeBox.h"

#include <QMessageBox>

namespace lumivex::shell {

void ShowNoticeBox(const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok);
  box.exec();
}

}  // namespace lumivex::shell
