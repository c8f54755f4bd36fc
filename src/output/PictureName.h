// The full file name of a picture: folder, optional user-name part, base name, optional
// date-time stamp, extension. Composed before anything is grabbed, so that a bad setting stops
// the capture before the shutter sound.
#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

#include "platform/UserEnvironment.h"
#include "settings/SettingsReader.h"

namespace lumivex::output {

// What composing a name reads from outside; tests give fixed values.
struct NamingSources {
  const settings::SettingsReader& settings;
  const platform::UserEnvironment& environment;  // user name and desktop folder
  QDateTime now;                                 // the moment of the capture
};

// "png", "bmp", "jpg" for picture types 0, 1, 2; empty for any other number.
QString PictureExtension(int pictureType);

inline constexpr const char* kBaseNameWithSeparator = "The file name \"%s\" must not contain \"/\"";
inline constexpr const char* kUserNameWithSeparator = "The user name \"%s\" must not contain \"/\"";

// The full name, from the settings of this moment. `extension` overrides the picture type
// ("gif" for timed captures); without it "PicType_ItemIndex" chooses, and a text there that is
// no integer throws "'%s' is not a valid integer value". The first free name of the series
// name.ext, name_1.ext, name_2.ext... is taken, where name ends in the stamp when the stamp is
// on. A base name or user name holding "/" throws kBaseNameWithSeparator or
// kUserNameWithSeparator: a picture stays in its folder.
QString ComposePictureName(const NamingSources& sources,
                           const std::optional<QString>& extension = std::nullopt);

// The login name; the desktop folder (empty when the desktop gives none).
QString GetCurrentUserName(const platform::UserEnvironment& environment);
QString DesktopFolder(const platform::UserEnvironment& environment);

// "YYYY_MM_DD HH_mm_ss" of the local time: 2005_06_19 22_22_17.
QString PictureStamp(const QDateTime& now);

// True for an existing directory (or a link to one); false for empty text.
bool DirectoryExists(const QString& path);

// The folder with one trailing separator ("/" here): unchanged when it already ends in one,
// so empty text becomes "/".
QString AddTrailingSeparator(const QString& folder);  // AddTrailingBackslash

// The first name of stem.ext, stem<sep>1.ext, stem<sep>2.ext... that names no directory entry:
// a file, a folder and a dangling link all count as taken. Nothing is reserved: the writer
// (WritePictureFile) goes on along the same series when the name is taken by the time it names
// the file.
QString MakeUniqueFileName(const QString& stem, const QString& extension, const QString& separator);

}  // namespace lumivex::output
