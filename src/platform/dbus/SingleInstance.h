// One Lumivex per desktop session. The first instance owns a name on the session bus; a later
// start asks it for what that start wants (a capture, or by default the options dialog) and
// exits, so there is never a second tray icon or a fight over hotkeys. Without a session bus
// every start runs on its own.
//
// The bus interface is documented in resources/dbus/com.quorlan.Lumivex.xml; the build
// generates the adaptor that exports the slots below from that file.
#pragma once

#include <QDBusContext>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

#include "platform/AppIdentity.h"

class QDBusConnection;
class QDBusMessage;

namespace lumivex::platform {

// The bus name is the application id, as desktops expect of an application's own name.
inline constexpr const char* kInstanceService = kAppId;
inline constexpr const char* kInstancePath = "/Lumivex";
inline constexpr const char* kInstanceInterface = "com.quorlan.Lumivex";
// How long a start waits for the running instance's answer: a stopped or hung instance must
// not hang a desktop shortcut's command.
inline constexpr int kInstanceAnswerMs = 5000;

class SingleInstance : public QObject, protected QDBusContext {
  Q_OBJECT

 public:
  // What a start asks of the instance: a capture by its kind word ("screen", "area", ...), or
  // (none) the options dialog.
  using Request = std::optional<QString>;
  // Which kind words the program knows, and how to name them all in a message: the words belong
  // to the caller's command line, not to the bus.
  struct CaptureKinds {
    std::function<bool(const QString&)> isCaptureKind;  // unset: no word is known
    QString list;  // e.g. "screen, area, window, timed or toggle-mode"
  };
  enum class Claim {
    Owned,       // this process is the instance
    HandedOver,  // the running instance took the request
    NoAnswer     // the running instance did not take it: failure() says why
  };

  explicit SingleInstance(CaptureKinds kinds, QObject* parent = nullptr);

  // Claims the name. When another instance holds it, asks that one for `request` instead and
  // waits kInstanceAnswerMs at most for its answer.
  Claim claim(const Request& request = std::nullopt);
  // Why the running instance did not take the request, for the user.
  const QString& failure() const { return failure_; }

  // Carries `request` out from the event loop, as if it had come over the bus.
  void perform(Request request);

  // Asks the running instance to end, without becoming it: false only when one runs and did
  // not answer (failure() says why); no instance at all is the same as one that has ended.
  bool quitRunning();

  // Called from the event loop for each request, after its caller has had its answer.
  std::function<void()> onShowOptions;
  std::function<void(const QString& kind)> onCapture;
  std::function<void()> onQuit;

 public slots:  // com.quorlan.Lumivex
  void ShowOptions();
  void Capture(const QString& kind);
  void Quit();

 private:
  bool own(QDBusConnection& bus);
  static QDBusMessage requestMessage(const Request& request);

  CaptureKinds kinds_;
  QString failure_;
};

}  // namespace lumivex::platform
