// The shutter sound that marks the moment of a capture.
#pragma once

#include <QByteArray>

#include <future>

#include "platform/SoundPlayer.h"
#include "settings/SettingsReader.h"

namespace lumivex::output {

// The embedded shutter sound ("CAMERA"): a RIFF WAVE, PCM, mono, 11025 Hz, 8 bits, 5090 samples.
QByteArray CameraSound();

// Plays the shutter sound and returns when it has been played, when "ClickOn_Checked" reads
// "true" in any letter case at this call (an absent value counts as off). A sound that cannot be
// played is not reported: the capture goes on. Called right after the grab (and the area
// selection), before the picture is stored; a timed capture calls it at every frame.
void PlayCameraSound(const settings::SettingsReader& settings, platform::SoundPlayer& player);

// The same sound for a single picture, which is stored while it plays: returns once the sound
// has begun (on a thread of its own), with a future that is ready when it has been played; the
// future's destruction waits for that too. The setting is read here, on the caller's thread. The
// picture's notice waits for the future, so the user still hears the shutter, then is told.
std::future<void> StartCameraSound(const settings::SettingsReader& settings,
                                   platform::SoundPlayer& player);

}  // namespace lumivex::output
