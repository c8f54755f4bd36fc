#include "output/PictureOutput.h"

#include <QSysInfo>

#include "base/Error.h"
#include "base/Text.h"
#include "codecs/BmpWriter.h"
#include "codecs/JpegImage.h"
#include "codecs/PngWriter.h"
#include "output/PictureFile.h"

namespace lumivex::output {
namespace {

// 16- and 32-bit QImage pixels are native-endian words; the writers read little-endian ones.
constexpr bool kLittleEndian = QSysInfo::ByteOrder == QSysInfo::LittleEndian;

// Bits per pixel of a format whose memory layout a writer's view describes, or 0.
int viewDepth(QImage::Format format) {
  switch (format) {
    case QImage::Format_Mono:
      return 1;
    case QImage::Format_Indexed8:
      return 8;
    case QImage::Format_RGB555:
      return kLittleEndian ? 16 : 0;
    case QImage::Format_BGR888:
      return 24;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
      return kLittleEndian ? 32 : 0;
    default:
      return 0;
  }
}

QImage writableImage(const QImage& image, PictureType type) {
  if (image.isNull() || viewDepth(image.format()) != 0) return image;
  if (image.format() == QImage::Format_MonoLSB) return image.convertToFormat(QImage::Format_Mono);
  if (image.format() == QImage::Format_RGB888) return image.convertToFormat(QImage::Format_BGR888);
  if (image.format() == QImage::Format_RGB16 && type == PictureType::Bmp)
    return image.convertToFormat(QImage::Format_RGB555);
  return image.convertToFormat(kLittleEndian ? QImage::Format_RGB32 : QImage::Format_BGR888);
}

constexpr const char* kUnknownPictureType =
    "'%s' is not a picture type: 0 is PNG, 1 is BMP, 2 is JPG";

}  // namespace

WriterPicture::WriterPicture(const QImage& image, PictureType type)
    : image_(writableImage(image, type)) {
  if (image_.isNull()) return;  // the view's defaults: a 0 x 0 picture
  colours_ = image_.colorTable();
  view_.width = image_.width();
  view_.height = image_.height();
  view_.bitsPerPixel = viewDepth(image_.format());
  view_.bits = image_.constBits();  // constBits: bits() would detach and copy the pixels
  view_.stride = image_.bytesPerLine();
  view_.colourTable = colours_.isEmpty() ? nullptr : colours_.constData();
  view_.colourCount = int(colours_.size());
}

PictureType ReadPictureType(const settings::SettingsReader& settings) {
  const int type = settings.pictureType();
  if (type < 0 || type > 2) throw Error(formatText(kUnknownPictureType, std::to_string(type)));
  return PictureType(type);
}

void CheckPictureSettings(const settings::SettingsReader& settings) {
  if (settings.clipboardMode()) return;
  const PictureType type = ReadPictureType(settings);
  if (type == PictureType::Png) settings.pngLevel();
  if (type == PictureType::Jpg) settings.jpegQuality();
}

void PutPictureOnClipboard(QClipboard& clipboard, const QImage& picture) {
  // Replaces every format the clipboard held before.
  clipboard.setImage(picture);
}

QString SavePicture(const QString& fileName, const QImage& picture, PictureType type,
                    const settings::SettingsReader& settings) {
  switch (type) {
    case PictureType::Png:
      return SaveAsPng(fileName, picture, settings);
    case PictureType::Bmp:
      return SaveAsBmp(fileName, picture);
    case PictureType::Jpg:
      return SaveAsJpeg(fileName, picture, settings);
  }
  throw Error(formatText(kUnknownPictureType, std::to_string(int(type))));
}

QString SaveAsPng(const QString& fileName, const QImage& picture,
                  const settings::SettingsReader& settings) {
  const int level = settings.pngLevel();  // the writer keeps its low 8 bits
  const WriterPicture source(picture, PictureType::Png);
  codecs::TPNGWriter writer;
  writer.Assign(source.view());
  writer.SetCompressionLevel(level);
  return WritePictureFile(fileName, [&](codecs::ByteSink& sink) { writer.SaveToStream(sink); });
}

QString SaveAsBmp(const QString& fileName, const QImage& picture) {
  const WriterPicture source(picture, PictureType::Bmp);
  return WritePictureFile(fileName,
                          [&](codecs::ByteSink& sink) { codecs::WriteBmp(sink, source.view()); });
}

QString SaveAsJpeg(const QString& fileName, const QImage& picture,
                   const settings::SettingsReader& settings) {
  const int quality = settings.jpegQuality();
  const WriterPicture source(picture, PictureType::Jpg);
  codecs::TJPEGImage image;
  image.Assign(source.view());
  image.SetCompressionQuality(quality);
  // Compressed before the file is made: a libjpeg failure leaves not even an unnamed file.
  image.Compress();
  return WritePictureFile(fileName, [&](codecs::ByteSink& sink) {
    const auto bytes = image.Data();
    if (!bytes.empty()) sink.Write(bytes.data(), bytes.size());
  });
}

QString SaveAnimation(const QString& fileName, const codecs::TGIFImage& frames) {
  // A run stopped before its first frame says "No GIF Data to write" (the writer's own check,
  // which throws before a byte is written), whatever the folder would have said.
  if (frames.FrameCount() == 0) {
    codecs::MemorySink nothing;
    frames.SaveToStream(nothing);
  }
  return WritePictureFile(fileName, [&](codecs::ByteSink& sink) { frames.SaveToStream(sink); });
}

}  // namespace lumivex::output
