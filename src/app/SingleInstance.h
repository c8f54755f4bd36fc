// One Lumivex per desktop session. The first instance owns a name on the session bus; a later
// start asks it to open its options dialog and exits, so there is never a second tray icon or
// a fight over hotkeys. Without a session bus every start runs on its own.
#pragma once

#include <QObject>
#include <functional>

namespace lumivex {

inline constexpr const char* kInstanceService = "com.quorlan.Lumivex";
inline constexpr const char* kInstancePath = "/Lumivex";
inline constexpr const char* kInstanceInterface = "com.quorlan.Lumivex";

class SingleInstance : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.quorlan.Lumivex")

 public:
  // Claims the name. False when another instance holds it: that one has then been asked to
  // show its options dialog.
  bool claim();

  // Called, from the event loop, when a later start asks for the options dialog.
  std::function<void()> onShowOptions;

 public slots:
  Q_SCRIPTABLE void ShowOptions();
};

}  // namespace lumivex
