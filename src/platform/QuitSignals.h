// SIGTERM, SIGINT and SIGHUP end the event loop like Exit does, so the tray icon and the
// hotkey grabs are released in order instead of by the process dying.
#pragma once

namespace lumivex::platform {

// Call once, after the application object exists.
void quitOnTerminationSignals();

}  // namespace lumivex::platform
