#include "platform/UserEnvironment.h"

#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QStandardPaths>

namespace lumivex::platform {

QString SystemUserEnvironment::desktopFolder() const {
  // XDG_DESKTOP_DIR from user-dirs.dirs; Qt falls back to ~/Desktop.
  QString folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  return folder.isEmpty() ? QDir::homePath() : QDir::toNativeSeparators(folder);
}

QString SystemUserEnvironment::userName() const {
  if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name && *pw->pw_name)
    return QString::fromLocal8Bit(pw->pw_name);
  return qEnvironmentVariable("USER");
}

QString SystemUserEnvironment::configFolder() const {
  QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
  return QDir::isAbsolutePath(xdg) ? xdg : QDir::homePath() + QStringLiteral("/.config");
}

QString SystemUserEnvironment::systemConfigFolder() const {
  QString dirs = qEnvironmentVariable("XDG_CONFIG_DIRS");
  QString first = dirs.section(':', 0, 0);
  return QDir::isAbsolutePath(first) ? first : QStringLiteral("/etc/xdg");
}

}  // namespace lumivex::platform
