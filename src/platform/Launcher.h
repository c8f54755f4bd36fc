// Starting other programs: the mail hand-off, the archiver and whatever else the program hands
// work to. Programs run on their own; the caller never waits for them nor learns their outcome.
#pragma once

#include <QString>
#include <QStringList>

namespace lumivex::platform {

class Launcher {
 public:
  virtual ~Launcher() = default;

  // The full path of the executable `name` in the folders of the PATH as it is now, or empty.
  virtual QString findExecutable(const QString& name) const = 0;

  // Starts `program` with `arguments`, each handed over unchanged (no shell sees them), and
  // returns at once. The program's input and output are /dev/null, and it is no child of ours
  // once it runs, so it never lingers as a zombie. False when it could not be started.
  virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
};

// Where programs cannot be started: finds nothing, starts nothing.
class NullLauncher final : public Launcher {
 public:
  QString findExecutable(const QString&) const override { return {}; }
  bool startDetached(const QString&, const QStringList&) override { return false; }
};

}  // namespace lumivex::platform
