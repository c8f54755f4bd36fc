// The mail component: opens a new message in the user's own mail program, with a subject, a
// body and attachments and no addressee, through the freedesktop `xdg-email` program. The user
// addresses and sends it there.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

#include "platform/Launcher.h"

namespace lumivex::actions {

// The outcome codes the component reports, those of the mail interface it stands in for.
inline constexpr int kMailSuccess = 0;
inline constexpr int kMailFailure = 2;  // the mail program could not be started
inline constexpr int kMailAttachmentNotFound = 11;

inline constexpr const char* kMailProgram = "xdg-email";

class TEmail {
 public:
  // Whether mail can be handed off ("MAPI present") is decided here, once: an `xdg-email`
  // executable on the PATH.
  explicit TEmail(platform::Launcher& launcher);

  QStringList Attachment;  // full paths of the files to attach
  QString Subject;         // none when empty
  // Receives every non-zero outcome code; unassigned, outcomes go unnoticed.
  std::function<void(int code)> OnMapiError;

  void SetBodyText(const QString& text) { bodyText_ = text; }
  bool MapiAvail() const { return !mailProgram_.isEmpty(); }

  // Opens the compose window and returns at once with an outcome code; a missing attachment
  // opens nothing. Raises "MAPI services are not available on this system" without a mail program.
  int SendMailMessage();

 private:
  int report(int code);

  platform::Launcher& launcher_;
  QString mailProgram_;
  QString bodyText_;
};

}  // namespace lumivex::actions
