#include "capture/PictureCapture.h"

#include <QGuiApplication>

#include <exception>
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

void PictureCapture::Capture(settings::CaptureKind kind) {
  switch (kind) {
    case settings::CaptureKind::Screen:
      return CaptureScreen(false);
    case settings::CaptureKind::Area:
      return CaptureScreen(true);
    case settings::CaptureKind::Window:
      return CaptureActiveWindow();
    case settings::CaptureKind::Timed:
    case settings::CaptureKind::ToggleMode:
      return;
  }
}

QString PictureCapture::ComposePictureName(const std::optional<QString>& extension) const {
  return output::ComposePictureName(
      {services_.settings, services_.environment, services_.clock.currentLocalTime()}, extension);
}

void PictureCapture::CaptureScreen(bool areaMode) {
  // Named first: the stamp is the moment of the request, however long the selection takes.
  const QString name = ComposePictureName();
  QImage picture = services_.screen.grabPrimaryScreen();
  if (picture.isNull()) throw Error(kScreenGrabFailed);
  if (areaMode) {
    std::optional<QImage> area =
        TAreaForm::SelectArea(picture, services_.screen.primaryScreenRect(), services_.pointer);
    // Cancelled, or a frame without interior: the capture ends without a trace.
    if (!area) return;
    picture = std::move(*area);
  }
  output::PlayCameraSound(services_.settings, services_.sound);
  outputPicture(name, std::move(picture));
}

void PictureCapture::CaptureActiveWindow() {
  if (!services_.screen.canGrabActiveWindow()) {
    services_.notices.NotifyRefused(settings::text::kActiveWindow,
                                    settings::text::kNoWindowCapture);
    return;
  }
  const QString name = ComposePictureName();
  QImage picture = services_.screen.grabActiveWindow();
  if (picture.isNull()) throw Error(kWindowGrabFailed);
  output::PlayCameraSound(services_.settings, services_.sound);
  outputPicture(name, std::move(picture));
}

void PictureCapture::outputPicture(const QString& fullFileName, QImage picture) {
  if (services_.settings.clipboardMode()) {
    output::PutPictureOnClipboard(*QGuiApplication::clipboard(), picture);
    picture = QImage();  // released: the clipboard holds its own copy
    services_.notices.NotifyDone(fullFileName);
    services_.actions.DoFinalAction(fullFileName);
    return;
  }
  const std::optional<output::PictureType> type = output::ReadPictureType(services_.settings);
  if (!type) return;  // a type that writes no file: no notice and no action either
  std::exception_ptr writeError;
  try {
    output::SavePicture(fullFileName, picture, *type, services_.settings);
  } catch (...) {
    writeError = std::current_exception();
  }
  picture = QImage();
  // The notice and the action follow the write whether or not it succeeded; its error last.
  services_.notices.NotifyDone(fullFileName);
  services_.actions.DoFinalAction(fullFileName);
  if (writeError) std::rethrow_exception(writeError);
}

}  // namespace lumivex::capture
