// Takes pictures of the options dialog's Main and Advanced pages, window frame included, as
// the desktop shows them. Run inside a desktop: scripts/options-screenshots.sh.
//   options_screenshots OUTPUT_PREFIX [LANGUAGE_FILE]
#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QTabWidget>
#include <QThread>

#include <cstdio>
#include <filesystem>

#include "options/TOptForm.h"
#include "platform/FakeAutostartEntry.h"
#include "platform/FakeHotkeyBackend.h"
#include "settings/LanguageFile.h"
#include "settings/Registry.h"
#include "settings/SettingsTable.h"
#include "shell/HotKeyManager.h"

using namespace lumivex;

namespace {

void settle(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
}

bool shoot(QWidget& window, const QString& file) {
  settle(400);
  const QRect frame = window.frameGeometry();
  return window.screen()
      ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
      .save(file);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: options_screenshots OUTPUT_PREFIX [LANGUAGE_FILE]\n");
    return 2;
  }
  const QString prefix = QString::fromLocal8Bit(argv[1]);
  const std::string lang = argc > 2 ? argv[2] : "";
  const auto config = std::filesystem::temp_directory_path() /
                      ("lumivex-shots-" + std::to_string(QCoreApplication::applicationPid()));
  Registry registry(config, config / "etc");
  SettingsFile key = registry.key(kSettingsKey);
  for (const auto& row : settings::kSeedTable)
    key.write(row.name, row.seed ? row.seed : "/home/user/Desktop");

  platform::FakeAutostartEntry autostart;
  platform::FakeHotkeyBackend backend;
  shell::THotKeyManager hotkeys(backend);
  options::TOptForm dialog({key,
                            [&](int n, const QString& d) {
                              return QString::fromStdString(
                                  lookupLanguageText(lang, n, d.toStdString()));
                            },
                            [&](quint32 v) { return hotkeys.HotKeyToText(v, true); },
                            "/home/user/Desktop",
                            [] { return true; },
                            autostart,
                            {}});
  dialog.show();
  auto* pages = dialog.findChild<QTabWidget*>("pages");
  bool ok = shoot(dialog, prefix + "-main.png");
  pages->setCurrentIndex(1);
  ok = shoot(dialog, prefix + "-advanced.png") && ok;
  std::filesystem::remove_all(config);
  return ok ? 0 : 1;
}
