#include "settings/Seeding.h"

#include <exception>

#include "base/Error.h"
#include "settings/SettingsTable.h"

namespace lumivex::settings {

void SeedSettings(const SettingsFile& key, const std::function<std::string()>& desktopFolder) {
  for (const SeedRow& row : kSeedTable) {
    if (!key.read(row.name).value_or(std::string()).empty()) continue;
    try {
      key.write(row.name, row.seed ? std::string(row.seed) : desktopFolder());
    } catch (const std::exception&) {
      throw Error("Error creating system registry entry");
    }
  }
}

}  // namespace lumivex::settings
