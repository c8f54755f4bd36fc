// A notice as a modal message box, for desktops that cannot show notices otherwise.
#pragma once

#include <QString>

namespace lumivex::shell {

// Shows `text` under `caption` with the icon of a notice's kind (BalloonIcon) and returns when
// the user closes it.
void ShowNoticeBox(const QString& caption, const QString& text, int iconKind);

}  // namespace lumivex::shell
