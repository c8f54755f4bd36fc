// Registry keys as settings files: HKEY_CURRENT_USER\Software\<path> lives in
// <user config folder>/<path>.conf, HKEY_LOCAL_MACHINE\Software\<path> in
// <system config folder>/<path>.conf, with "\" turned into folder separators.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "settings/SettingsFile.h"

namespace lumivex {

enum class RegistryRoot { CurrentUser, LocalMachine };

inline constexpr const char* kSettingsKey = "Software\\Quorlan Software\\Vistrel";

class Registry {
 public:
  // userConfigDir: $XDG_CONFIG_HOME or ~/.config; systemConfigDir: /etc/xdg normally.
  Registry(std::filesystem::path userConfigDir, std::filesystem::path systemConfigDir);

  // The settings file standing for a key path. Throws "Failed to create key %s" for a path
  // that names no file (empty parts, "." or "..").
  SettingsFile key(std::string_view keyPath, RegistryRoot root = RegistryRoot::CurrentUser) const;

  // Never fails: an absent value, an unreadable file or a bad key path all give empty text.
  std::string ReadRegistryText(std::string_view keyPath, std::string_view valueName,
                               RegistryRoot root = RegistryRoot::CurrentUser) const;

  // Creates the key as needed; any failure raises "Error creating system registry entry".
  void WriteRegistryText(std::string_view keyPath, std::string_view valueName,
                         std::string_view value,
                         RegistryRoot root = RegistryRoot::CurrentUser) const;

 private:
  std::filesystem::path userConfigDir_;
  std::filesystem::path systemConfigDir_;
};

}  // namespace lumivex
