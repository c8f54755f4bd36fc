#include "app/ErrorReporter.h"

#include <QApplication>
#include <QMessageBox>

namespace lumivex {

void MessageBoxErrorReporter::showError(const QString& text) {
  QMessageBox::critical(nullptr, QApplication::applicationDisplayName(), text);
}

}  // namespace lumivex
