#include "capture/TimedRun.h"

#include "capture/TimedCapture.h"
#include "output/PictureName.h"
#include "output/PictureOutput.h"
#include "output/ShutterSound.h"
#include "settings/TextTable.h"

namespace lumivex::capture {
namespace {

constexpr int kIdleIntervalMs = 300000;  // the design's interval until a run sets its own

}  // namespace

TimedRun::TimedRun(Services services) : services_(services), timer_(services.clock.createTimer()) {
  timer_->setInterval(kIdleIntervalMs);
}

void TimedRun::SetTimedCapture(bool start) {
  if (services_.settings.clipboardMode()) {
    services_.notices.NotifyRefused(settings::text::kCommandNotAvailable,
                                    settings::text::kNoTimedCaptureToClipboard);
    return;
  }
  const QString name = output::ComposePictureName(
      {services_.settings, services_.environment, services_.clock.currentLocalTime()},
      QStringLiteral("gif"));
  // A count that is no integer throws here, before the timer changes.
  const std::int64_t interval =
      FrameInterval(QString::fromStdString(services_.settings.intervalText()),
                    QString::fromStdString(services_.settings.intervalUnitText()));
  frameIntervalMs_ = interval;
  timer_->setInterval(TimerInterval(interval));
  frames_.SetLooping(true);
  if (start) {
    frames_.Clear();  // also clears the looping flag; the stop sets it again
    timer_->start();  // the first frame comes one interval later
    return;
  }
  timer_->stop();
  // No frames yet: "No GIF Data to write", and no notice. A timed capture runs no action.
  const QString saved = output::SaveAnimation(name, frames_);
  services_.notices.NotifyDone(saved);
}

void TimedRun::TakeFrame() {
  if (frameIntervalMs_ <= 0) return;  // a count of zero or less takes no frames
  const bool minutes = MinutesUnit(QString::fromStdString(services_.settings.intervalUnitText()));
  const QImage frame = services_.screen.grabPrimaryScreen();
  // The desktop gave no picture this time (a portal refusal): this tick adds no frame and
  // makes no sound; the run goes on, and the next tick tries again.
  if (frame.isNull()) {
    if (services_.screen.lastGrabRefused())
      services_.notices.NotifyRefused(settings::text::kScreenshotNotAllowed,
                                      settings::text::kAllowScreenshots);
    return;
  }
  output::PlayCameraSound(services_.settings, services_.sound);
  const output::WriterPicture picture(frame, output::PictureType::Png);
  const std::size_t index = frames_.AddFrame(picture.view());
  frames_.Frame(index).SetDisplayTime(FrameDisplayTime(frameIntervalMs_, minutes));
}

}  // namespace lumivex::capture
