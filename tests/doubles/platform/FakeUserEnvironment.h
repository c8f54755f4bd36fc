// Fixed folders and names, for tests.
#pragma once

#include "platform/UserEnvironment.h"

namespace lumivex::platform {

class FakeUserEnvironment final : public UserEnvironment {
 public:
  QString desktop, user, config, systemConfig;
  QString desktopFolder() const override { return desktop; }
  QString userName() const override { return user; }
  QString configFolder() const override { return config; }
  QString systemConfigFolder() const override { return systemConfig; }
};

}  // namespace lumivex::platform
