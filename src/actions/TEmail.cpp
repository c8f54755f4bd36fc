#include "actions/TEmail.h"

#include <QFileInfo>

#include "base/Error.h"

namespace lumivex::actions {

TEmail::TEmail(platform::Launcher& launcher)
    : launcher_(launcher), mailProgram_(launcher.findExecutable(QLatin1String(kMailProgram))) {}

int TEmail::SendMailMessage() {
  if (!MapiAvail()) throw Error("MAPI services are not available on this system");
  QStringList arguments;
  if (!Subject.isEmpty()) arguments << QStringLiteral("--subject") << Subject;
  arguments << QStringLiteral("--body") << bodyText_;
  // Paths go whole: a shortened path names another file or none.
  for (const QString& path : Attachment) {
    if (!QFileInfo(path).isFile()) return report(kMailAttachmentNotFound);
    arguments << QStringLiteral("--attach") << path;
  }
  // xdg-email may run as long as the mail program does: detached, the capture goes on at once.
  return report(launcher_.startDetached(mailProgram_, arguments) ? kMailSuccess : kMailFailure);
}

int TEmail::report(int code) {
  if (code != kMailSuccess && OnMapiError) OnMapiError(code);
  return code;
}

}  // namespace lumivex::actions
