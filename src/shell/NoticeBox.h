// A notice as a modal message box, for desktops that cannot show notices otherwise.
#pragma once

#include <QString>

namespace lumivex::shell {

// Shows `text` with the information icon under `caption` and returns when the user closes it.
void ShowNoticeBox(const QString& caption, const QString& text);

}  // namespace lumivex::shell
