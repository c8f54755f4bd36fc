// Which of the five capture commands a pressed combination means, decided from the settings of
// the moment.
#pragma once

#include <QtGlobal>

#include <functional>

#include "settings/CaptureCommands.h"
#include "settings/SettingsReader.h"

namespace lumivex::shell {

// Runs, in table order, every command whose hotkey is `value`, as SettingsReader::hotkey reads it:
// the default where the stored value is no combination, as it was registered and listed. Each
// setting is read just before its own test, after the previous command has finished.
void DispatchHotKey(quint32 value, const settings::SettingsReader& settings,
                    const std::function<void(settings::CaptureKind)>& run);

}  // namespace lumivex::shell
