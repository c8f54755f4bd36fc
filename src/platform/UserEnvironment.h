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

// The user's home folder: `homeVariable` ($HOME) when it is set and not empty, otherwise the
// password database's entry for the user, as the XDG base-directory rules expect: a program
// started without HOME must not put its settings and pictures at the file-system root.
QString HomeFolder(const QString& homeVariable, const QString& databaseHome);

// Sets HOME from the password database when it is unset or empty, before anything asks for a
// folder, so that Qt's folders and this program's agree for the whole run.
void SettleHomeFolder();

// The running desktop's values.
class SystemUserEnvironment final : public UserEnvironment {
 public:
  QString desktopFolder() const override;
  QString userName() const override;
  QString configFolder() const override;
  QString systemConfigFolder() const override;
};

}  // namespace lumivex::platform
