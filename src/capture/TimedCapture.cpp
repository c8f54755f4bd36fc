#include "capture/TimedCapture.h"

#include <algorithm>
#include <limits>

#include "settings/Text.h"

namespace lumivex::capture {

bool MinutesUnit(const QString& unitText) { return unitText == QLatin1String("0"); }

std::int64_t FrameInterval(const QString& countText, const QString& unitText) {
  const std::int64_t count = textToInt(countText.toStdString());
  return count * (MinutesUnit(unitText) ? 60000 : 1000);
}

std::uint32_t FrameDisplayTime(std::int64_t intervalMs, bool minutes) {
  const std::int64_t time = intervalMs / (minutes ? 10 : 1);
  return std::uint32_t(
      std::clamp<std::int64_t>(time, 0, std::numeric_limits<std::uint32_t>::max()));
}

int TimerInterval(std::int64_t intervalMs) {
  constexpr std::int64_t kLongest = std::numeric_limits<int>::max();
  return int(intervalMs <= 0 ? kLongest : std::min(intervalMs, kLongest));
}

}  // namespace lumivex::capture
