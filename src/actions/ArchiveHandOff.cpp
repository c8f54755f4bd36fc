#include "actions/ArchiveHandOff.h"

#include <QFileInfo>

namespace lumivex::actions {

QString ArchiveName(const QString& pictureName, bool zipFormat) {
  const QString extension = zipFormat ? QStringLiteral(".zip") : QStringLiteral(".7z");
  const qsizetype dot = pictureName.lastIndexOf('.');
  if (dot < 0 || dot < pictureName.lastIndexOf('/')) return pictureName + extension;
  return pictureName.left(dot) + extension;
}

QString FindArchiver(const platform::Launcher& launcher) {
  // 7zz is 7-Zip's own build (Debian's 7zip), 7z and 7za come with p7zip-full.
  for (const char* name : {"7zz", "7z", "7za"})
    if (QString path = launcher.findExecutable(QLatin1String(name)); !path.isEmpty()) return path;
  return {};
}

bool ArchiverPresent(const platform::Launcher& launcher) {
  return !FindArchiver(launcher).isEmpty();
}

bool RunProgram(platform::Launcher& launcher, const QString& program,
                const QStringList& arguments) {
  return launcher.startDetached(program, arguments);
}

void ArchivePicture(platform::Launcher& launcher, const QString& fileName, bool zipFormat) {
  // Without the picture (clipboard mode, a failed write) 7-Zip would leave an empty archive.
  const QFileInfo picture(fileName);
  if (!picture.isFile()) return;
  const QString archiver = FindArchiver(launcher);
  if (archiver.isEmpty()) return;  // not installed: nothing happens, as with a failed start
  // An absolute picture path is stored under its name part; "--" ends the switches, so names
  // starting with a dash stay names.
  const QStringList arguments{QStringLiteral("a"),
                              zipFormat ? QStringLiteral("-tzip") : QStringLiteral("-t7z"),
                              QStringLiteral("-mx=9"),
                              QStringLiteral("--"),
                              ArchiveName(picture.absoluteFilePath(), zipFormat),
                              picture.absoluteFilePath()};
  RunProgram(launcher, archiver, arguments);  // the outcome is the archiver's business
}

}  // namespace lumivex::actions
