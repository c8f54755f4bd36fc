// One capture of a single picture, from its name to its after-capture action: the name is
// composed, the picture grabbed (and, for an area, cut out on the frozen screen), the shutter
// sound started, the picture stored on the clipboard or in a file while it plays, then the
// completion notice and the after-capture action follow.
#pragma once

#include <QImage>
#include <QString>

#include <future>
#include <optional>

#include "actions/AfterCaptureActions.h"
#include "platform/Clock.h"
#include "platform/PointerControl.h"
#include "platform/ScreenGrabber.h"
#include "platform/SoundPlayer.h"
#include "platform/UserEnvironment.h"
#include "settings/SettingsReader.h"
#include "shell/Notices.h"

namespace lumivex::capture {

class PictureCapture {
 public:
  // Each must outlive the capture road.
  struct Services {
    const settings::SettingsReader& settings;
    const platform::UserEnvironment& environment;  // the user's name and desktop folder
    platform::Clock& clock;                        // the stamp of the name
    platform::ScreenGrabber& screen;               // the primary monitor and the active window
    platform::PointerControl& pointer;             // kept inside the area-selection overlay
    platform::SoundPlayer& sound;
    shell::Notices& notices;
    actions::AfterCaptureActions& actions;
  };
  explicit PictureCapture(Services services);

  // Errors leave as exceptions (the caller shows them in the standard error box); a failed
  // grab throws after nothing was stored, and a cancelled area selection ends quietly.
  // The primary monitor; with `areaMode` the user then drags out an area of the frozen picture.
  void CaptureScreen(bool areaMode);
  // The foreground window with its frame. Where the desktop gives no program that picture
  // (Wayland), a warning notice says so and nothing else happens.
  void CaptureActiveWindow();

  // The full file name of the next picture, stamped with the clock's local time; `extension`
  // replaces the one of the picture type ("gif" for a timed capture).
  QString ComposePictureName(const std::optional<QString>& extension = std::nullopt) const;

 private:
  // Stores the picture by the storage mode and type of this moment while the shutter sound
  // plays, then, once the sound has ended too, the notice and the action. A failed write throws
  // (after the sound) instead of them.
  void outputPicture(const QString& fullFileName, QImage picture, std::future<void> shutterSound);

  Services services_;
};

}  // namespace lumivex::capture
