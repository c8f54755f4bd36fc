// Sound through ALSA's "default" device, which the desktop's sound server (PipeWire,
// PulseAudio) or the sound card's own mixer provides.
#pragma once

#include "platform/SoundPlayer.h"

#include <memory>

namespace lumivex::platform {

std::unique_ptr<SoundPlayer> createAlsaSoundPlayer();

}  // namespace lumivex::platform
