#include "actions/AfterCaptureActions.h"

#include <QFileInfo>

#include <exception>
#include <utility>

#include "actions/ArchiveHandOff.h"
#include "base/Text.h"
#include "settings/TextTable.h"

namespace lumivex::actions {

AfterCaptureActions::AfterCaptureActions(ActionServices services)
    : services_(std::move(services)), email_(services_.launcher) {}

void AfterCaptureActions::DoFinalAction(const QString& fullFileName) {
  try {
    dispatch(fullFileName);
  } catch (const std::exception& e) {
    services_.showError(QString::fromUtf8(e.what()));
  }
}

void AfterCaptureActions::dispatch(const QString& fullFileName) {
  if (!services_.settings.doFinalAction()) return;
  // Converted only when the action is on: a bad number is an error then, and only then.
  switch (services_.settings.finalAction()) {
    case kFtpUpload:
      services_.startFtpUpload(fullFileName);
      break;
    case kMailPicture:
      MailPicture(fullFileName);
      break;
    case kZipPicture:
      ArchivePicture(fullFileName, true);
      break;
    case kSevenZipPicture:
      ArchivePicture(fullFileName, false);
      break;
    default:
      break;  // none, or a number the list does not have
  }
}

void AfterCaptureActions::MailPicture(const QString& fileName) {
  const QString namePart = QFileInfo(fileName).fileName();
  email_.Attachment = QStringList{fileName};
  email_.Subject = namePart;
  email_.SetBodyText(QString::fromStdString(services_.texts.LookupText(settings::text::kMailBody)) +
                     QStringLiteral(": ") + namePart);
  email_.SendMailMessage();  // its outcome goes to OnMapiError, which the program leaves unset
}

void AfterCaptureActions::ArchivePicture(const QString& fileName, bool zipFormat) {
  actions::ArchivePicture(services_.launcher, fileName, zipFormat);
}

}  // namespace lumivex::actions
