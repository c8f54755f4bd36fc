// Which of the five hotkeys a pressed combination means, decided from the settings of the moment.
#pragma once

#include <QString>

#include <array>
#include <cstddef>
#include <functional>

namespace lumivex::shell {

inline constexpr std::size_t kHotKeyCount = 5;

using ReadSettingInt = std::function<int(const QString& name, int fallback)>;
using HotKeyActions = std::array<std::function<void()>, kHotKeyCount>;

// Runs, in table order, the action of every hotkey whose setting holds `value` (as
// settings::hotKeyValue reads it: the default where the stored value is no combination, as
// registered). Each setting is read just before its own test, after the previous action has
// finished.
void DispatchHotKey(quint32 value, const ReadSettingInt& readSettingInt,
                    const HotKeyActions& actions);

}  // namespace lumivex::shell
