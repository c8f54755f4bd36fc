#include "capture/PictureCapture.h"

#include <QGuiApplication>

#include <utility>

#include "base/Error.h"
#include "capture/TAreaForm.h"
#include "output/PictureName.h"
#include "output/PictureOutput.h"
#include "output/ShutterSound.h"
#include "settings/TextTable.h"

namespace lumivex::capture {
namespace {

// A grab that yields no picture (no display, the portal refused, no active window) ends the
// capture with one of these: nothing is stored, so no sound, notice or action says otherwise.
const char* const kScreenGrabFailed = "The screen could not be captured.";
const char* const kWindowGrabFailed = "The active window could not be captured.";

}  // namespace

PictureCapture::PictureCapture(Services services) : services_(services) {}

QString PictureCapture::ComposePictureName(const std::optional<QString>& extension) const {
  return output::ComposePictureName(
      {services_.settings, services_.environment, services_.clock.currentLocalTime()}, extension);
}

void PictureCapture::CaptureScreen(bool areaMode) {
  // Named first: the stamp is the moment of the request, however long the selection takes.
  const QString name = ComposePictureName();
  // Settings a write would fail on stop the capture here, before the grab and the shutter sound.
  output::CheckPictureSettings(services_.settings);
  QImage picture = services_.screen.grabPrimaryScreen();
  if (picture.isNull()) {
    // Without a word the user would see nothing happen; the desktop decides, the user can
    // change its mind there.
    if (services_.screen.lastGrabRefused())
      return services_.notices.NotifyRefused(settings::text::kScreenshotNotAllowed,
                                             settings::text::kAllowScreenshots);
    throw Error(kScreenGrabFailed);
  }
  if (areaMode) {
    std::optional<QImage> area =
        TAreaForm::SelectArea(picture, services_.screen.primaryScreenRect(), services_.pointer);
    // Cancelled, or a frame without interior: the capture ends without a trace.
    if (!area) return;
    picture = std::move(*area);
  }
  outputPicture(name, std::move(picture),
                output::StartCameraSound(services_.settings, services_.sound));
}

void PictureCapture::CaptureActiveWindow() {
  if (!services_.screen.canGrabActiveWindow()) {
    services_.notices.NotifyRefused(settings::text::kActiveWindow,
                                    settings::text::kNoWindowCapture);
    return;
  }
  const QString name = ComposePictureName();
  output::CheckPictureSettings(services_.settings);
  QImage picture = services_.screen.grabActiveWindow();
  if (picture.isNull()) throw Error(kWindowGrabFailed);
  outputPicture(name, std::move(picture),
                output::StartCameraSound(services_.settings, services_.sound));
}

void PictureCapture::outputPicture(const QString& fullFileName, QImage picture,
                                   std::future<void> shutterSound) {
  if (services_.settings.clipboardMode()) {
    output::PutPictureOnClipboard(*QGuiApplication::clipboard(), picture);
    picture = QImage();  // released: the clipboard holds its own copy
    shutterSound.wait();
    services_.notices.NotifyDone(fullFileName);
    services_.actions.DoFinalAction(fullFileName);
    return;
  }
  // The picture is written while the shutter sounds. A failed write shows its error alone: no
  // notice names a file that is not there, and no action uploads or mails it. The notice and the
  // action name the file as it was written (the next free name when another entry took the composed
  // one meanwhile).
  const QString saved = output::SavePicture(
      fullFileName, picture, output::ReadPictureType(services_.settings), services_.settings);
  picture = QImage();
  shutterSound.wait();
  services_.notices.NotifyDone(saved);
  services_.actions.DoFinalAction(saved);
}

}  // namespace lumivex::capture
