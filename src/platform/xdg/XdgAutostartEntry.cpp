#include "platform/xdg/XdgAutostartEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "base/Error.h"
#include "platform/AppIdentity.h"

namespace lumivex::platform {
namespace {

// An Exec argument in double quotes: inside them ", `, $ and \ take a backslash; a literal %
// is doubled since % starts a field code.
QString quotedArgument(const QString& argument) {
  QString out = QStringLiteral("\"");
  for (QChar c : argument) {
    if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') out += u'\\';
    if (c == u'%') out += u'%';
    out += c;
  }
  return out + u'"';
}

// The general escapes of a string value; applied after the Exec quoting, so a backslash of
// the quoting becomes "\\" in the file.
QString escapedValue(const QString& value) {
  QString out;
  for (QChar c : value) {
    if (c == u'\\')
      out += QStringLiteral("\\\\");
    else if (c == u'\n')
      out += QStringLiteral("\\n");
    else if (c == u'\t')
      out += QStringLiteral("\\t");
    else if (c == u'\r')
      out += QStringLiteral("\\r");
    else
      out += c;
  }
  return out;
}

}  // namespace

XdgAutostartEntry::XdgAutostartEntry(QString configFolder, QString executable)
    : configFolder_(std::move(configFolder)), executable_(std::move(executable)) {}

QString XdgAutostartEntry::entryPath() const {
  return configFolder_ + QStringLiteral("/autostart/") + QLatin1String(kDesktopEntryName);
}

QByteArray XdgAutostartEntry::entryText(const QString& executable, bool on) {
  const QString enabled = on ? QStringLiteral("true") : QStringLiteral("false");
  const QString hidden = on ? QStringLiteral("false") : QStringLiteral("true");
  QString text = QStringLiteral(
                     "[Desktop Entry]\n"
                     "Type=Application\n"
                     "Name=Lumivex\n"
                     "Comment=Screenshot utility in the tray\n"
                     "Exec=%1\n"
                     "Terminal=false\n"
                     "Hidden=%2\n"
                     "X-GNOME-Autostart-enabled=%3\n")
                     .arg(escapedValue(quotedArgument(executable)), hidden, enabled);
  return text.toUtf8();
}

void XdgAutostartEntry::setEnabled(bool on) {
  if (!QDir().mkpath(configFolder_ + QStringLiteral("/autostart"))) throw Error(kAutostartError);
  QSaveFile file(entryPath());
  if (!file.open(QIODevice::WriteOnly)) throw Error(kAutostartError);
  file.write(entryText(executable_, on));
  if (!file.commit()) throw Error(kAutostartError);
  // Earlier versions named the entry lumivex.desktop: left behind, it would start Lumivex at
  // log-in whatever this one says.
  const QString earlier = configFolder_ + QStringLiteral("/autostart/lumivex.desktop");
  if (QFileInfo::exists(earlier) && !QFile::remove(earlier)) throw Error(kAutostartError);
}

}  // namespace lumivex::platform
