// File or clipboard output, as the pair "Radiobutton1_Checked" / "Radiobutton2_Checked" holds it.
#pragma once

#include <QString>

#include <functional>

#include "settings/TextTable.h"

namespace lumivex::shell {

struct StorageMode {
  bool clipboard;
  int iconIndex() const { return clipboard ? 1 : 0; }
  // The notice's text number ("Capture to clipboard." / "Capture to file.").
  int messageNumber() const {
    return clipboard ? settings::text::kCaptureToClipboard : settings::text::kCaptureToFile;
  }
};

// The mode that the storage-mode hotkey switches to from the stored "Radiobutton1_Checked":
// clipboard when it reads "false" in any letter case, file for any other text.
StorageMode ToggledStorageMode(const QString& radiobutton1Checked);

using WriteSetting = std::function<void(const QString& name, const QString& value)>;
void WriteStorageMode(const StorageMode& mode, const WriteSetting& writeSetting);

}  // namespace lumivex::shell
