// A user whose desktop and settings live in a test's temporary folder.
#pragma once

#include "TempDir.h"
#include "app/THidForm.h"
#include "platform/FakeClock.h"
#include "platform/FakeHotkeyBackend.h"
#include "platform/FakeNoticeService.h"
#include "platform/UserEnvironment.h"
#include "platform/dbus/DesktopNoticeService.h"
#include "platform/qt/QtClock.h"
#include "platform/x11/X11HotkeyBackend.h"

#include <memory>

inline lumivex::platform::FakeUserEnvironment environmentIn(const TempDir& dir) {
  lumivex::platform::FakeUserEnvironment env;
  env.desktop = QString::fromStdString((dir.path / "Desktop").string());
  env.user = QStringLiteral("tester");
  env.config = QString::fromStdString((dir.path / "config").string());
  env.systemConfig = QString::fromStdString((dir.path / "etc").string());
  return env;
}

// In-memory platform services for a main form: hotkeys pressed by hand, notices recorded, time
// moved by hand.
struct FakePlatform {
  lumivex::platform::FakeHotkeyBackend hotkeys;
  lumivex::platform::FakeNoticeService notices;
  lumivex::platform::FakeClock clock;
};

// The test desktop's own services, as main() chooses them there.
struct DesktopPlatform {
  std::unique_ptr<lumivex::platform::HotkeyBackend> hotkeys =
      lumivex::platform::createX11HotkeyBackend();
  lumivex::platform::DesktopNoticeService notices;
  lumivex::platform::QtClock clock;
};

// The services of a main form whose user lives in `env`, with the language file `lang`.
template <typename Platform>
lumivex::THidForm::Services formServices(const lumivex::platform::UserEnvironment& env,
                                         lumivex::ErrorReporter& errors, const QString& lang,
                                         Platform& platform) {
  if constexpr (requires { *platform.hotkeys; })
    return {env, errors, lang, *platform.hotkeys, platform.notices, platform.clock};
  else
    return {env, errors, lang, platform.hotkeys, platform.notices, platform.clock};
}
