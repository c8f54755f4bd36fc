#include "platform/FakeLauncher.h"

namespace lumivex::platform {

QString FakeLauncher::findExecutable(const QString& name) const { return executables_.value(name); }

bool FakeLauncher::startDetached(const QString& program, const QStringList& arguments) {
  starts_.append({program, arguments});
  return !startsFail_;
}

void FakeLauncher::addExecutable(const QString& name, const QString& path) {
  executables_.insert(name, path);
}

}  // namespace lumivex::platform
