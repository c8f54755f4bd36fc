// The archive hand-off: 7-Zip's command-line program packs a picture into a ZIP or 7-zip
// archive beside it. The program starts the archiver and never learns its outcome.
#pragma once

#include <QString>
#include <QStringList>

#include "platform/Launcher.h"

namespace lumivex::actions {

// The picture's full name with its extension (from the last dot of the name part on) replaced
// by ".zip" or ".7z", or with that appended when the name part has no dot.
QString ArchiveName(const QString& pictureName, bool zipFormat);

// The archiver's full path (7zz, 7z or 7za on the PATH), or empty when none is installed.
QString FindArchiver(const platform::Launcher& launcher);
// What the options dialog asks before offering the archive actions.
bool ArchiverPresent(const platform::Launcher& launcher);

// Starts a program detached; false when it could not be started.
bool RunProgram(platform::Launcher& launcher, const QString& program, const QStringList& arguments);

// Adds the picture, under its name part, to the archive beside it (created when absent) at
// maximum compression. Silent: no archiver, no picture or a failed start do nothing.
void ArchivePicture(platform::Launcher& launcher, const QString& fileName, bool zipFormat);

}  // namespace lumivex::actions
