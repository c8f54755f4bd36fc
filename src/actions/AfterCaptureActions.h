// The one optional action after a single-picture capture: upload the picture by FTP, hand it to
// the mail program, or pack it into an archive beside it. The capture road runs it after each
// single picture.
#pragma once

#include <QString>

#include <functional>

#include "actions/TEmail.h"
#include "platform/Launcher.h"
#include "settings/SettingsReader.h"
#include "settings/Texts.h"

namespace lumivex::actions {

// The action numbers of the "FAction_ItemIndex" setting (the options dialog's list).
enum FinalAction {
  kNoAction = 0,
  kFtpUpload = 1,
  kMailPicture = 2,
  kZipPicture = 3,
  kSevenZipPicture = 4
};

struct ActionServices {
  const settings::SettingsReader& settings;  // read at every call
  platform::Launcher& launcher;
  const settings::Texts& texts;
  std::function<void(const QString& fileName)> startFtpUpload;  // the upload job
  std::function<void(const QString& text)> showError;           // the standard error box
};

class AfterCaptureActions {
 public:
  explicit AfterCaptureActions(ActionServices services);

  // Runs the action the settings name on the picture just produced (its full name, passed on
  // unchanged even when no file was written). An error of the dispatch or of the action is
  // shown in the error box here, so a capture's clean-up step can call this and still show
  // its own error afterwards.
  void DoFinalAction(const QString& fullFileName);

  void MailPicture(const QString& fileName);
  void ArchivePicture(const QString& fileName, bool zipFormat);

  TEmail& mail() { return email_; }  // Email1

 private:
  void dispatch(const QString& fullFileName);

  ActionServices services_;
  TEmail email_;  // Email1
};

}  // namespace lumivex::actions
