// Running the Qt event loop in a test until something has happened, always bounded in time.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <functional>

// Runs the event loop until `condition` holds or `timeoutMs` passes; the condition's last value.
inline bool runEventsUntil(const std::function<bool()>& condition, int timeoutMs = 10000) {
  QDeadlineTimer deadline(timeoutMs);
  while (!condition() && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  return condition();
}

// Lets the event loop run for a while (to show that nothing more happens).
inline void runEventsFor(int milliseconds) {
  runEventsUntil([] { return false; }, milliseconds);
}
