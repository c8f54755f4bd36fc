#include "platform/posix/PosixLauncher.h"

#include <QProcess>
#include <QStandardPaths>

namespace lumivex::platform {

QString PosixLauncher::findExecutable(const QString& name) const {
  return QStandardPaths::findExecutable(name);
}

bool PosixLauncher::startDetached(const QString& program, const QStringList& arguments) {
  // QProcess starts a detached program through a short-lived intermediate child that it reaps
  // itself, and execs it directly: the arguments reach it without a shell.
  QProcess process;
  process.setProgram(program);
  process.setArguments(arguments);
  process.setStandardInputFile(QProcess::nullDevice());
  process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  return process.startDetached();
}

}  // namespace lumivex::platform
