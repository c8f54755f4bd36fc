#include "output/PictureName.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include "base/Error.h"
#include "base/Text.h"

namespace lumivex::output {
namespace {

// A part of the file name that holds a "/" would put the picture into another folder.
void refuseSeparator(const char* pattern, const QString& part) {
  if (part.contains('/')) throw Error(formatText(pattern, part.toStdString()));
}

// The user's name and "_", or nothing when the setting is off or no name can be had (a lone
// "_" in front of every picture name would say nothing).
QString userNamePart(const NamingSources& sources) {
  if (!sources.settings.addUserName()) return {};
  const QString name = GetCurrentUserName(sources.environment);
  qsizetype first = 0, last = name.size();
  while (first < last && name[first].unicode() <= 32) ++first;
  while (last > first && name[last - 1].unicode() <= 32) --last;
  if (first == last) return {};
  const QString trimmed = name.mid(first, last - first);
  refuseSeparator(kUserNameWithSeparator, trimmed);
  return trimmed + '_';
}

QString pictureFolder(const NamingSources& sources) {
  const QString desktop = DesktopFolder(sources.environment);
  const QString folder = QString::fromStdString(sources.settings.folder(desktop.toStdString()));
  // A folder that no longer exists falls back to the desktop without a word.
  return DirectoryExists(folder) ? folder : desktop;
}

QString extensionFromSettings(const NamingSources& sources) {
  return PictureExtension(sources.settings.pictureType());
}

}  // namespace

QString PictureExtension(int pictureType) {
  switch (pictureType) {
    case 0:
      return QStringLiteral("png");
    case 1:
      return QStringLiteral("bmp");
    case 2:
      return QStringLiteral("jpg");
    default:
      return {};
  }
}

QString ComposePictureName(const NamingSources& sources, const std::optional<QString>& extension) {
  const QString base = QString::fromStdString(sources.settings.baseName());
  refuseSeparator(kBaseNameWithSeparator, base);
  const QString user = userNamePart(sources);
  const QString folder = pictureFolder(sources);
  const QString ext = extension ? *extension : extensionFromSettings(sources);
  const QString stamp = PictureStamp(sources.now);
  const QString stem = AddTrailingSeparator(folder) + user + base;
  // Stamped or not, an existing entry is never the picture's name: a second capture in the same
  // second gets NAME_1.ext.
  if (sources.settings.addStamp())
    return MakeUniqueFileName(stem + '_' + stamp, ext, QStringLiteral("_"));
  return MakeUniqueFileName(stem, ext, QStringLiteral("_"));
}

QString GetCurrentUserName(const platform::UserEnvironment& environment) {
  return environment.userName();
}

QString DesktopFolder(const platform::UserEnvironment& environment) {
  return environment.desktopFolder();
}

QString PictureStamp(const QDateTime& now) {
  const QDateTime local = now.toLocalTime();
  const QDate d = local.date();
  const QTime t = local.time();
  return QString::asprintf("%04d_%02d_%02d %02d_%02d_%02d", d.year(), d.month(), d.day(), t.hour(),
                           t.minute(), t.second());
}

bool DirectoryExists(const QString& path) { return !path.isEmpty() && QFileInfo(path).isDir(); }

QString AddTrailingSeparator(const QString& folder) {
  return folder.endsWith('/') ? folder : folder + '/';
}

QString MakeUniqueFileName(const QString& stem, const QString& extension,
                           const QString& separator) {
  // lstat, not stat: a link counts as the entry it is, whether or not its target exists.
  auto taken = [](const QString& name) {
    struct stat entry;
    return lstat(QFile::encodeName(name).constData(), &entry) == 0;
  };
  QString name = stem + '.' + extension;
  for (int n = 1; taken(name); ++n) name = stem + separator + QString::number(n) + '.' + extension;
  return name;
}

}  // namespace lumivex::output
