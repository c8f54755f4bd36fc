// A user whose desktop and settings live in a test's temporary folder.
#pragma once

#include "TempDir.h"
#include "app/RecordingErrorReporter.h"
#include "app/THidForm.h"
#include "capture/TAreaForm.h"
#include "platform/DisplaySession.h"
#include "platform/FakeClock.h"
#include "platform/FakeHotkeyBackend.h"
#include "platform/FakeNoticeService.h"
#include "platform/FakePointerControl.h"
#include "platform/FakeScreenGrabber.h"
#include "platform/FakeSoundPlayer.h"
#include "platform/FakeUserEnvironment.h"
#include "platform/dbus/DesktopNoticeService.h"
#include "platform/qt/QtClock.h"

#include <QApplication>
#include <QTimer>

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
// moved by hand, the screen a picture the test sets, sounds recorded.
struct FakePlatform {
  lumivex::platform::FakeHotkeyBackend hotkeys;
  lumivex::platform::FakeNoticeService notices;
  lumivex::platform::FakeClock clock;
  lumivex::platform::FakeScreenGrabber screen;
  lumivex::platform::FakeSoundPlayer sound;
  lumivex::platform::FakePointerControl pointer;
};

// The test desktop's own services, as main() chooses them there.
struct DesktopPlatform {
  lumivex::platform::PlatformServices desktop =
      lumivex::platform::createPlatformServices(lumivex::platform::DisplayBackend::kX11);
  lumivex::platform::DesktopNoticeService notices;
  lumivex::platform::QtClock clock;
};

// The services of a main form whose user lives in `env`, with the language file `lang`.
template <typename Platform>
lumivex::THidForm::Services formServices(const lumivex::platform::UserEnvironment& env,
                                         lumivex::ErrorReporter& errors, const QString& lang,
                                         Platform& platform) {
  if constexpr (requires { platform.desktop; })
    return {env,
            errors,
            lang,
            *platform.desktop.hotkeys,
            platform.notices,
            platform.clock,
            *platform.desktop.screen,
            *platform.desktop.sound,
            *platform.desktop.pointer};
  else
    return {env,
            errors,
            lang,
            platform.hotkeys,
            platform.notices,
            platform.clock,
            platform.screen,
            platform.sound,
            platform.pointer};
}

// Every area selection `form` opens is cancelled as soon as it shows, like a user pressing
// Escape, so that tests about other things are not held in its nested event loop.
inline void cancelAreaSelections(lumivex::THidForm& form) {
  QObject::connect(&form, &lumivex::THidForm::captureRequested, &form, [](bool areaMode) {
    if (!areaMode) return;
    QTimer::singleShot(0, [] {
      for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* overlay = qobject_cast<lumivex::capture::TAreaForm*>(window)) overlay->close();
    });
  });
}
