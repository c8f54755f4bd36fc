// The after-capture actions on their own: settings in a temporary store, the FTP upload and
// the error box recorded.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>
#include <memory>

#include "TempDir.h"
#include "actions/AfterCaptureActions.h"
#include "settings/Registry.h"
#include "settings/SettingsTable.h"

namespace lumivex::actions::test {

struct ActionsRig {
  TempDir dir;
  Registry registry{dir.path / "config", dir.path / "etc"};
  settings::SettingsReader settings{registry.key(kSettingsKey)};
  settings::Texts texts{dir.path / "lang.txt"};
  QStringList uploads;
  QStringList errors;

  std::unique_ptr<AfterCaptureActions> make(platform::Launcher& launcher) {
    return std::make_unique<AfterCaptureActions>(ActionServices{
        settings, launcher, texts, [this](const QString& fileName) { uploads << fileName; },
        [this](const QString& text) { errors << text; }});
  }
  // A translation of string 250 in the language file.
  void translateMailBody(const std::string& text) const {
    dir.write("lang.txt", "[lumivex_it]\n250=" + text + "\n");
  }
  void setAction(const char* doFinal, const char* action) {
    registry.WriteRegistryText(kSettingsKey, settings::kDoAction, doFinal);
    registry.WriteRegistryText(kSettingsKey, settings::kAction, action);
  }
  QString picture(const std::string& name, const std::string& bytes = "picture") const {
    return QString::fromStdString(dir.write(name, bytes).string());
  }
};

// Waits at most `milliseconds` for `done`, for detached programs that finish on their own.
inline bool waitFor(const std::function<bool()>& done, int milliseconds = 20000) {
  QDeadlineTimer deadline(milliseconds);
  while (!done() && !deadline.hasExpired()) QThread::msleep(50);
  return done();
}

}  // namespace lumivex::actions::test
