// A picture file is complete or absent. It is written into an unnamed file in the target folder
// and named only when whole, without replacing any entry: a crash or a failed write leaves
// nothing behind, an existing picture is never overwritten, and a link or FIFO planted under
// the coming name is never opened.
#pragma once

#include <QString>

#include <functional>

#include "codecs/ByteSink.h"

namespace lumivex::output {

// Puts the whole file into the sink; throws on any failure.
using WriteFileBytes = std::function<void(codecs::ByteSink& sink)>;

// Writes the file `write` produces and names it `fileName`, or when that name is taken by then
// (another capture in the same second, an entry someone planted), the first free name of the
// series NAME_1.ext, NAME_2.ext... Returns the name the file got. Throws "Cannot create file
// "%s". <reason>" when the folder takes no file or no name, "Stream write error" when a write
// fails (a full disk), or the error of `write`; nothing is named then. `write` may be called a
// second time, from the start, where the file system keeps unnamed files from being named.
QString WritePictureFile(const QString& fileName, const WriteFileBytes& write);

// The name after `fileName` in its series: NAME.ext gives NAME_1.ext, then NAME_2.ext...
// (`number` counts from 1); a name without extension gets the number at its end.
QString NumberedName(const QString& fileName, int number);

// Off: files are written under a hidden temporary name and linked from there, as on file systems
// without unnamed files. For tests of that road.
void UseUnnamedPictureFiles(bool use);

}  // namespace lumivex::output
