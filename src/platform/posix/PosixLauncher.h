// Programs started as detached processes of the running system.
#pragma once

#include "platform/Launcher.h"

namespace lumivex::platform {

class PosixLauncher final : public Launcher {
 public:
  QString findExecutable(const QString& name) const override;
  bool startDetached(const QString& program, const QStringList& arguments) override;
};

}  // namespace lumivex::platform
