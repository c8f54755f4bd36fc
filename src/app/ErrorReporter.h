// The one place where an error that leaves an event handler is shown; the loop then goes on.
#pragma once

#include <QString>
#include <exception>

namespace lumivex {

class ErrorReporter {
 public:
  virtual ~ErrorReporter() = default;
  virtual void showError(const QString& text) = 0;
};

// The application's standard error box: a modal message box titled with the application title.
class MessageBoxErrorReporter final : public ErrorReporter {
 public:
  void showError(const QString& text) override;
};

// Runs an event handler; an error escaping it is shown and goes no further.
template <typename Handler>
void guarded(ErrorReporter& reporter, Handler&& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    reporter.showError(QString::fromUtf8(e.what()));
  }
}

}  // namespace lumivex
