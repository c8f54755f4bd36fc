// Keeps the texts of the error box instead of showing it, for tests.
#pragma once

#include <QStringList>

#include "app/ErrorReporter.h"

namespace lumivex {

class RecordingErrorReporter final : public ErrorReporter {
 public:
  QStringList errors;
  void showError(const QString& text) override { errors << text; }
};

}  // namespace lumivex
