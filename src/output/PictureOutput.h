// Where a captured picture goes: the clipboard, or a PNG, BMP or JPG file written by the
// picture writers. One function per step; the capture road (capture/PictureCapture) runs them
// in this order:
//
//   CheckPictureSettings(settings);                             // before the grab and the sound
//   ...grab...
//   if (settings.clipboardMode()) {
//     PutPictureOnClipboard(clipboard, picture); release; NotifyDone(name); DoFinalAction(name);
//   } else {
//     saved = SavePicture(name, picture, ReadPictureType(settings), settings);
//     release; NotifyDone(saved); DoFinalAction(saved);         // only for a file that exists
//   }
#pragma once

#include <QClipboard>
#include <QImage>
#include <QList>
#include <QString>

#include "codecs/GifImage.h"
#include "codecs/Picture.h"
#include "settings/SettingsReader.h"

namespace lumivex::output {

// "PicType_ItemIndex" values that write a file.
enum class PictureType { Png = 0, Bmp = 1, Jpg = 2 };

// The picture type of this moment. Throws "'%s' is not a valid integer value" for a text that is
// no integer and "'%s' is not a picture type: 0 is PNG, 1 is BMP, 2 is JPG" for another number.
PictureType ReadPictureType(const settings::SettingsReader& settings);

// Refuses, before anything is grabbed, the file-mode settings a write would fail on: the picture
// type, and the PNG level or JPG quality of that type, each with the error ReadPictureType or
// the writer would throw. Nothing to check in clipboard mode.
void CheckPictureSettings(const settings::SettingsReader& settings);

// Clipboard mode: replaces the clipboard's content with the picture. The clipboard keeps it for
// other programs as long as this program runs.
void PutPictureOnClipboard(QClipboard& clipboard, const QImage& picture);

// File mode: writes the picture in the chosen format through WritePictureFile (complete or
// absent, never over an existing entry) and returns the name the file got: `fileName`, or the
// next free one of its series when that was taken. PNG and JPG read their level or quality
// ("PNGCompr1_Position", "JPGCompr1_Position") from the settings at this call; a text that
// is no integer throws "'%s' is not a valid integer value". Writer failures throw their own
// texts ("Cannot create file ...", "Stream write error").
QString SavePicture(const QString& fileName, const QImage& picture, PictureType type,
                    const settings::SettingsReader& settings);
QString SaveAsPng(const QString& fileName, const QImage& picture,
                  const settings::SettingsReader& settings);
QString SaveAsBmp(const QString& fileName, const QImage& picture);
QString SaveAsJpeg(const QString& fileName, const QImage& picture,
                   const settings::SettingsReader& settings);
// The timed capture's frames as one animated GIF, the same way; "No GIF Data to write" without
// frames.
QString SaveAnimation(const QString& fileName, const codecs::TGIFImage& frames);

// A captured picture as the writers see it. Its pixels are the image's own, shared and not
// copied, for the formats a writer's view describes (Mono, Indexed8, RGB555, BGR888, RGB32,
// ARGB32 on this machine's byte order). Any other format is converted once, keeping its depth
// where a view can: MonoLSB to Mono, RGB888 to BGR888, 5-6-5 to 5-5-5 for BMP (a 16-bit screen
// stays a 16-bit file, as the original program wrote it) but to 32 bits for PNG and JPG (no
// colour lost), the rest to 32 bits. A null image is a 0 x 0 picture.
class WriterPicture {
 public:
  WriterPicture(const QImage& image, PictureType type);
  WriterPicture(const WriterPicture&) = delete;
  WriterPicture& operator=(const WriterPicture&) = delete;

  // Valid while this object lives, whatever happens to the image it was made from.
  const codecs::PictureView& view() const { return view_; }

 private:
  QImage image_;         // holds the pixels the view points into
  QList<QRgb> colours_;  // the colour table, which QImage hands out only as a copy
  codecs::PictureView view_;
};

}  // namespace lumivex::output
