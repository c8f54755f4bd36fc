// The timing rules of a timed capture: how often a frame is taken, and how long each frame
// shows in the animated GIF.
#pragma once

#include <QString>

#include <cstdint>

namespace lumivex::capture {

// "tmcType_ItemIndex" reads exactly "0": the interval counts minutes; any other text: seconds.
bool MinutesUnit(const QString& unitText);

// Milliseconds between frames: the "IntList1_Text" count times a minute or a second. Throws
// "'%s' is not a valid integer value" for a count that is no integer. Zero or less when the
// count is: such a run takes no frames.
std::int64_t FrameInterval(const QString& countText, const QString& unitText);

// How long a frame shows: the interval in seconds mode; a tenth of it in minutes mode, so the
// animation plays ten times faster than the run. The GIF writer gives times beyond its largest
// delay (655350 ms) that largest delay.
std::uint32_t FrameDisplayTime(std::int64_t intervalMs, bool minutes);

// The interval a timer can hold: a non-positive or oversized interval becomes the longest one
// (about 24.8 days), so the timer never spins; the tick then checks FrameInterval itself.
int TimerInterval(std::int64_t intervalMs);

}  // namespace lumivex::capture
