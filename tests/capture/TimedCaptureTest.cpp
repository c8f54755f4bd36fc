// How often a timed capture takes a frame and how long each frame shows, from the two settings.
#include "capture/TimedCapture.h"
#include "settings/Error.h"

#include <gtest/gtest.h>

#include <limits>

using namespace lumivex::capture;

namespace {

TEST(TimedCapture, MinutesPlayTenTimesFasterThanTheRunSecondsInRealTime) {
  EXPECT_EQ(FrameInterval("5", "0"), 300000);
  EXPECT_EQ(FrameDisplayTime(FrameInterval("5", "0"), true), 30000u);  // a delay of 3000
  EXPECT_EQ(FrameDisplayTime(FrameInterval("60", "0"), true), 360000u);
  // Only exactly "0" means minutes; the dialog stores "1" for seconds.
  EXPECT_EQ(FrameInterval("5", "1"), 5000);
  EXPECT_EQ(FrameInterval("5", " 0"), 5000);
  EXPECT_EQ(FrameDisplayTime(FrameInterval("5", "1"), false), 5000u);
  EXPECT_THROW(FrameInterval("5s", "1"), lumivex::Error);
}

// Typed counts beyond the offered list: no timer spins, none overflows.
TEST(TimedCapture, CountsOfZeroOrLessOrTooLargeNeverSpinTheTimer) {
  EXPECT_EQ(FrameInterval("0", "1"), 0);
  EXPECT_EQ(TimerInterval(0), std::numeric_limits<int>::max());
  EXPECT_EQ(TimerInterval(FrameInterval("-3", "0")), std::numeric_limits<int>::max());
  const std::int64_t huge = FrameInterval("2147483647", "0");
  EXPECT_EQ(huge, 2147483647LL * 60000);
  EXPECT_EQ(TimerInterval(huge), std::numeric_limits<int>::max());
  EXPECT_EQ(FrameDisplayTime(huge, false), std::numeric_limits<std::uint32_t>::max());
}

}  // namespace
