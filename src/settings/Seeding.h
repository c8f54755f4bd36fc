// The first values of a new user, and of values a user emptied.
#pragma once

#include <functional>
#include <string>

#include "settings/SettingsFile.h"

namespace lumivex::settings {

// Writes the seed of every value of kSeedTable that is absent or empty, in table order; the
// picture folder's seed is the user's desktop folder, asked for only when it is written. A
// failing write throws "Error creating system registry entry" and leaves the rest unseeded.
void SeedSettings(const SettingsFile& key, const std::function<std::string()>& desktopFolder);

}  // namespace lumivex::settings
