// The user's start-up list: whether the desktop starts Lumivex when the user logs in.
#pragma once

namespace lumivex::platform {

// The text shown when the entry cannot be written.
inline constexpr const char* kAutostartError = "Error creating system registry entry";

class AutostartEntry {
 public:
  virtual ~AutostartEntry() = default;

  // On: the desktop starts the running executable at log-in. Off: the entry stays but is
  // disabled, so a later "on" needs nothing but this call. Throws lumivex::Error with
  // kAutostartError when the entry cannot be written.
  virtual void setEnabled(bool on) = 0;
};

}  // namespace lumivex::platform
