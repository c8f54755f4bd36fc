#include "settings/Registry.h"

#include "base/Error.h"
#include "base/Text.h"

namespace lumivex {

Registry::Registry(std::filesystem::path userConfigDir, std::filesystem::path systemConfigDir)
    : userConfigDir_(std::move(userConfigDir)), systemConfigDir_(std::move(systemConfigDir)) {}

SettingsFile Registry::key(std::string_view keyPath, RegistryRoot root) const {
  std::string_view rest = keyPath;
  if (rest.size() > 9 && equalsIgnoreCase(rest.substr(0, 9), "Software\\")) rest.remove_prefix(9);
  std::filesystem::path file =
      root == RegistryRoot::CurrentUser ? userConfigDir_ : systemConfigDir_;
  while (true) {
    auto sep = rest.find('\\');
    auto part = rest.substr(0, sep);
    if (part.empty() || part == "." || part == ".." || part.find('/') != std::string_view::npos)
      throw Error(formatText("Failed to create key %s", keyPath));
    if (sep == std::string_view::npos) {
      file /= std::string(part) + ".conf";
      break;
    }
    file /= std::string(part);
    rest.remove_prefix(sep + 1);
  }
  return SettingsFile(std::move(file), std::string(keyPath));
}

std::string Registry::ReadRegistryText(std::string_view keyPath, std::string_view valueName,
                                       RegistryRoot root) const {
  try {
    return key(keyPath, root).read(valueName).value_or(std::string());
  } catch (const std::exception&) {
    return {};  // the direct read never fails: callers treat empty text as "not set"
  }
}

void Registry::WriteRegistryText(std::string_view keyPath, std::string_view valueName,
                                 std::string_view value, RegistryRoot root) const {
  try {
    key(keyPath, root).write(valueName, value);
  } catch (const std::exception&) {
    throw Error("Error creating system registry entry");
  }
}

}  // namespace lumivex
