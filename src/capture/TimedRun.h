// A timed capture: one frame of the primary monitor every interval, gathered into one animated
// GIF that the stop writes. Its file is named at the stop; it runs no after-capture action.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>

#include "codecs/GifImage.h"
#include "platform/Clock.h"
#include "platform/ScreenGrabber.h"
#include "platform/SoundPlayer.h"
#include "platform/UserEnvironment.h"
#include "settings/SettingsReader.h"
#include "shell/Notices.h"

namespace lumivex::capture {

class TimedRun {
 public:
  // Each must outlive the run.
  struct Services {
    const settings::SettingsReader& settings;
    const platform::UserEnvironment& environment;
    platform::Clock& clock;  // the frame timer (Timer1) and the stamp of the name
    platform::ScreenGrabber& screen;
    platform::SoundPlayer& sound;
    shell::Notices& notices;
  };
  explicit TimedRun(Services services);

  // Starts a run when `start`, stops the running one (writing its animated GIF) otherwise.
  // Refused, with a warning notice, while pictures go to the clipboard: then a run can be
  // neither started nor stopped.
  void SetTimedCapture(bool start);
  // The timed-capture hotkey: starts a run, or stops the running one.
  void Toggle() { SetTimedCapture(!running()); }
  bool running() const { return timer_->isActive(); }
  // One frame: grabbed, the shutter sound, appended with its display time.
  void TakeFrame();

  platform::Timer& timer() { return *timer_; }

 private:
  Services services_;
  std::unique_ptr<platform::Timer> timer_;  // Timer1
  codecs::TGIFImage frames_;                // Gif1's image: the run's frames
  std::int64_t frameIntervalMs_ = 0;        // of the running run
};

}  // namespace lumivex::capture
