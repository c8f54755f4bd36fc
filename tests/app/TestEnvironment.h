// A user whose desktop and settings live in a test's temporary folder.
#pragma once

#include "TempDir.h"
#include "platform/UserEnvironment.h"

inline lumivex::platform::FakeUserEnvironment environmentIn(const TempDir& dir) {
  lumivex::platform::FakeUserEnvironment env;
  env.desktop = QString::fromStdString((dir.path / "Desktop").string());
  env.user = QStringLiteral("tester");
  env.config = QString::fromStdString((dir.path / "config").string());
  env.systemConfig = QString::fromStdString((dir.path / "etc").string());
  return env;
}
