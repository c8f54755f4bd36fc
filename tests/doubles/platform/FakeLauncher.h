// In-memory launcher for tests: executables are declared, starts are recorded, nothing runs.
#pragma once

#include "platform/Launcher.h"

#include <QHash>
#include <QList>

namespace lumivex::platform {

class FakeLauncher final : public Launcher {
 public:
  struct Start {
    QString program;
    QStringList arguments;
  };

  QString findExecutable(const QString& name) const override;
  bool startDetached(const QString& program, const QStringList& arguments) override;

  // `name` is found on the PATH as `path` from now on.
  void addExecutable(const QString& name, const QString& path);
  // Starts fail from now on (the program is recorded all the same).
  void failStarts() { startsFail_ = true; }

  const QList<Start>& starts() const { return starts_; }

 private:
  QHash<QString, QString> executables_;
  QList<Start> starts_;
  bool startsFail_ = false;
};

}  // namespace lumivex::platform
