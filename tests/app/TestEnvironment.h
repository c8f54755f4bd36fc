// A user whose desktop and settings live in a test's temporary folder.
#pragma once

#include "TempDir.h"
#include "app/RecordingErrorReporter.h"
#include "app/THidForm.h"
#include "capture/TAreaForm.h"
#include "options/TOptForm.h"
#include "platform/DisplaySession.h"
#include "platform/FakeAutostartEntry.h"
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

#include <functional>
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
  lumivex::platform::FakeAutostartEntry autostart;
};

// The test desktop's own services, as main() chooses them there.
struct DesktopPlatform {
  lumivex::platform::PlatformServices desktop =
      lumivex::platform::createPlatformServices(lumivex::platform::DisplayBackend::kX11);
  lumivex::platform::DesktopNoticeService notices;
  lumivex::platform::QtClock clock;
  lumivex::platform::FakeAutostartEntry autostart;
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
            *platform.desktop.pointer,
            platform.autostart};
  else
    return {env,
            errors,
            lang,
            platform.hotkeys,
            platform.notices,
            platform.clock,
            platform.screen,
            platform.sound,
            platform.pointer,
            platform.autostart};
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

// Answers every options dialog that shows while `scope` lives: `act` runs inside the dialog's
// modal loop, then the dialog closes the way the user closes it (saving its values).
inline void answerOptionsDialogs(QObject& scope,
                                 std::function<void(lumivex::options::TOptForm&)> act) {
  class Answerer : public QObject {
   public:
    Answerer(QObject& parent, std::function<void(lumivex::options::TOptForm&)> act)
        : QObject(&parent), act_(std::move(act)) {
      qApp->installEventFilter(this);
    }

   protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
      auto* dialog = qobject_cast<lumivex::options::TOptForm*>(watched);
      if (dialog && event->type() == QEvent::Show)
        QTimer::singleShot(0, dialog, [this, dialog] {
          act_(*dialog);
          dialog->close();
        });
      return false;
    }

   private:
    std::function<void(lumivex::options::TOptForm&)> act_;
  };
  new Answerer(scope, std::move(act));
}
