// A frozen screen for the area overlay's tests: every pixel differs from its neighbours and none
// is pure black or white, so a frame dot in a crop cannot hide.
#pragma once

#include <QImage>
#include <QSize>

inline QImage areaTestPicture(QSize size) {
  QImage picture(size, QImage::Format_RGB32);
  for (int y = 0; y < size.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
    for (int x = 0; x < size.width(); ++x)
      line[x] = qRgb(20 + x % 211, 20 + y % 199, 20 + (x * 7 + y * 3) % 193);
  }
  return picture;
}
