// Where the user's things are: the folders and names the desktop gives a program.
#pragma once

#include <QString>

namespace lumivex::platform {

class UserEnvironment {
 public:
  virtual ~UserEnvironment() = default;
  virtual QString desktopFolder() const = 0;       // where pictures go by default
  virtual QString userName() const = 0;            // the login name, for picture names
  virtual QString configFolder() const = 0;        // $XDG_CONFIG_HOME or ~/.config
  virtual QString systemConfigFolder() const = 0;  // /etc/xdg, for machine-wide keys
};

// The running desktop's values.
class SystemUserEnvironment final : public UserEnvironment {
 public:
  QString desktopFolder() const override;
  QString userName() const override;
  QString configFolder() const override;
  QString systemConfigFolder() const override;
};

}  // namespace lumivex::platform
