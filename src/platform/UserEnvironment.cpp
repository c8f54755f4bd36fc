#include "platform/UserEnvironment.h"

#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace lumivex::platform {

QString HomeFolder(const QString& homeVariable, const QString& databaseHome) {
  return homeVariable.isEmpty() ? databaseHome : homeVariable;
}

void SettleHomeFolder() {
  const passwd* pw = getpwuid(geteuid());
  const QString databaseHome = pw && pw->pw_dir ? QString::fromLocal8Bit(pw->pw_dir) : QString();
  const QString home = HomeFolder(qEnvironmentVariable("HOME"), databaseHome);
  // Without any home there is nothing better to say; Qt then answers "/" as before.
  if (!home.isEmpty()) qputenv("HOME", QFile::encodeName(home));
}

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
