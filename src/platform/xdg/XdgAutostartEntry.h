// The start-up list of freedesktop.org desktops: a desktop entry in the user's autostart folder.
#pragma once

#include <QString>

#include "platform/AutostartEntry.h"

namespace lumivex::platform {

class XdgAutostartEntry final : public AutostartEntry {
 public:
  // configFolder: $XDG_CONFIG_HOME or ~/.config; executable: the full path to start.
  XdgAutostartEntry(QString configFolder, QString executable);

  // Writes <configFolder>/autostart/<application id>.desktop; "off" writes Hidden=true and keeps
  // the file. An entry under the earlier name lumivex.desktop is removed.
  void setEnabled(bool on) override;

  QString entryPath() const;

  // The entry's text: exposed for tests of the quoting rules.
  static QByteArray entryText(const QString& executable, bool on);

 private:
  QString configFolder_;
  QString executable_;
};

}  // namespace lumivex::platform
