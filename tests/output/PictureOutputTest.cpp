// Captured pictures written through the picture writers: the files decode (with Qt's readers)
// to the captured pixels at every screen depth, the quality settings are read at each write, and
// a quality that is no integer stops the write before the file exists.
#include "output/PictureOutput.h"
#include "settings/Registry.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>

#include "TempDir.h"
#include "base/Error.h"

using namespace lumivex;
using output::PictureType;

namespace {

// Gradients: neighbouring pixels differ in every channel, and JPEG keeps them close.
QImage screenPicture(QImage::Format format) {
  QImage image(37, 23, QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x * 7, y * 11, (x + y) * 4));
  if (format == QImage::Format_Indexed8 || format == QImage::Format_Mono)
    return image.convertToFormat(format, Qt::ThresholdDither | Qt::AvoidDither);
  return image.convertToFormat(format);
}

struct Difference {
  int largest = 0;  // of any channel of any pixel
  double mean = 0;  // over all channels of all pixels
};

Difference difference(const QImage& a, const QImage& b) {
  const QImage x = a.convertToFormat(QImage::Format_RGB32);
  const QImage y = b.convertToFormat(QImage::Format_RGB32);
  Difference d;
  for (int row = 0; row < x.height(); ++row)
    for (int col = 0; col < x.width(); ++col) {
      const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
      for (int c : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)}) {
        d.largest = std::max(d.largest, std::abs(c));
        d.mean += std::abs(c);
      }
    }
  d.mean /= 3.0 * x.width() * x.height();
  return d;
}

class PictureOutput : public ::testing::Test {
 protected:
  PictureOutput() {
    store("PNGCompr1_Position", "9");
    store("JPGCompr1_Position", "100");
  }
  void store(const char* name, const char* value) const {
    registry.WriteRegistryText(kSettingsKey, name, value);
  }
  QString file(const char* name) const {
    return QString::fromStdString((dir.path / name).string());
  }

  TempDir dir;
  Registry registry{dir.path / "config", dir.path / "system"};
  settings::SettingsReader settings{registry.key(kSettingsKey)};
};

}  // namespace

TEST_F(PictureOutput, FilesHoldTheCapturedPixelsAtEveryDepth) {
  for (QImage::Format format :
       {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_BGR888, QImage::Format_RGB555,
        QImage::Format_RGB16, QImage::Format_Indexed8, QImage::Format_Mono, QImage::Format_MonoLSB,
        QImage::Format_RGB888}) {
    SCOPED_TRACE(format);
    const QImage picture = screenPicture(format);
    for (const char* name : {"p.png", "p.bmp", "p.jpg"}) std::filesystem::remove(dir.path / name);
    output::SavePicture(file("p.png"), picture, PictureType::Png, settings);
    output::SavePicture(file("p.bmp"), picture, PictureType::Bmp, settings);
    output::SavePicture(file("p.jpg"), picture, PictureType::Jpg, settings);
    EXPECT_EQ(difference(QImage(file("p.png"), "PNG"), picture).largest, 0);
    // A 16-bit picture stays a 16-bit BMP (5-6-5 as 5-5-5); Qt's reader widens 5-bit channels
    // without repeating their top bits, hence up to 7 below the writer's widening.
    const bool sixteen = format == QImage::Format_RGB555 || format == QImage::Format_RGB16;
    EXPECT_EQ(dir.read(dir.path / "p.bmp")[28],
              char(sixteen                           ? 16
                   : format == QImage::Format_RGB888 ? 24
                                                     : picture.depth()));
    EXPECT_LE(difference(QImage(file("p.bmp"), "BMP"), picture).largest, sixteen ? 7 : 0);
    const QImage jpeg(file("p.jpg"), "JPG");
    ASSERT_EQ(jpeg.size(), picture.size());
    // Close, not equal: a swapped channel or a row out of place would differ by tens.
    EXPECT_LT(difference(jpeg, picture).mean, 10.0);
  }
}

TEST_F(PictureOutput, WritersReadTheScreenPixelsInPlace) {
  for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_RGB555,
                                QImage::Format_Indexed8, QImage::Format_Mono}) {
    const QImage picture = screenPicture(format);
    const output::WriterPicture view(picture, PictureType::Png);
    EXPECT_EQ(view.view().bits, picture.constBits()) << format;
    EXPECT_EQ(view.view().stride, picture.bytesPerLine()) << format;
  }
}

TEST_F(PictureOutput, QualityIsReadAtEachWrite) {
  const QImage picture = screenPicture(QImage::Format_RGB32);
  store("PNGCompr1_Position", "0");
  output::SaveAsPng(file("stored.png"), picture, settings);
  store("PNGCompr1_Position", "9");
  output::SaveAsPng(file("packed.png"), picture, settings);
  EXPECT_GT(std::filesystem::file_size(dir.path / "stored.png"),
            std::filesystem::file_size(dir.path / "packed.png"));
}

TEST_F(PictureOutput, QualityThatIsNoIntegerStopsTheWriteBeforeTheFileExists) {
  const QImage picture = screenPicture(QImage::Format_RGB32);
  dir.write("old.png", "old");
  store("PNGCompr1_Position", "9 ");
  store("JPGCompr1_Position", "");
  auto expectRefused = [&](PictureType type, const char* name, const char* text) {
    try {
      output::SavePicture(file(name), picture, type, settings);
      ADD_FAILURE() << name << " was written";
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), text);
    }
  };
  expectRefused(PictureType::Png, "old.png", "'9 ' is not a valid integer value");
  expectRefused(PictureType::Jpg, "new.jpg", "'' is not a valid integer value");
  EXPECT_EQ(dir.read(dir.path / "old.png"), "old");
  EXPECT_FALSE(std::filesystem::exists(dir.path / "new.jpg"));
}

TEST_F(PictureOutput, StorageModeAndPictureTypeOfTheMoment) {
  EXPECT_FALSE(settings.clipboardMode());
  EXPECT_EQ(output::ReadPictureType(settings), PictureType::Png);
  store("Radiobutton1_Checked", "TRUE");
  store("PicType_ItemIndex", "2");
  EXPECT_TRUE(settings.clipboardMode());
  EXPECT_EQ(output::ReadPictureType(settings), PictureType::Jpg);
  store("PicType_ItemIndex", "3");  // no file type: an error, before anything is grabbed
  EXPECT_THROW(output::ReadPictureType(settings), Error);
  store("PicType_ItemIndex", "x");
  EXPECT_THROW(output::ReadPictureType(settings), Error);
}

// Each setting a write would fail on is found before the grab, with the error the write gives;
// clipboard mode writes nothing and checks nothing.
TEST_F(PictureOutput, SettingsAWriteWouldFailOnAreFoundBeforehand) {
  auto refusal = [&]() -> std::string {
    try {
      output::CheckPictureSettings(settings);
      return "accepted";
    } catch (const Error& e) {
      return e.what();
    }
  };
  store("PNGCompr1_Position", "9");
  store("JPGCompr1_Position", "90");
  EXPECT_EQ(refusal(), "accepted");
  store("PicType_ItemIndex", "3");
  EXPECT_EQ(refusal(), "'3' is not a picture type: 0 is PNG, 1 is BMP, 2 is JPG");
  store("PNGCompr1_Position", "9.5");
  store("JPGCompr1_Position", "high");
  store("PicType_ItemIndex", "0");
  EXPECT_EQ(refusal(), "'9.5' is not a valid integer value");
  store("PicType_ItemIndex", "2");
  EXPECT_EQ(refusal(), "'high' is not a valid integer value");
  store("PicType_ItemIndex", "1");  // a BMP has no level to read
  EXPECT_EQ(refusal(), "accepted");
  store("PicType_ItemIndex", "7");
  store("Radiobutton1_Checked", "True");
  EXPECT_EQ(refusal(), "accepted");
}

TEST_F(PictureOutput, ClipboardModeLeavesThePictureOnTheClipboard) {
  const QImage picture = screenPicture(QImage::Format_RGB32);
  output::PutPictureOnClipboard(*QGuiApplication::clipboard(), picture);
  EXPECT_EQ(difference(QGuiApplication::clipboard()->image(), picture).largest, 0);
}
