#include "actions/AfterCaptureActions.h"

#include <QFileInfo>

#include <exception>
#include <utility>

#include "actions/ArchiveHandOff.h"
#include "base/Text.h"
#include "settings/SettingsTable.h"

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
  const auto read = [this](const char* name) {
    return services_.registry.ReadRegistryText(kSettingsKey, name);
  };
  if (!isTrueText(read(settings::kDoAction))) return;
  // Converted only when the action is on: a bad number is an error then, and only then.
  switch (textToInt(read(settings::kAction))) {
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
  email_.SetBodyText(
      services_.lookupText(
          250, QStringLiteral("Lumivex has attached a picture to this e-mail message")) +
      QStringLiteral(": ") + namePart);
  email_.SendMailMessage();  // its outcome goes to OnMapiError, which the program leaves unset
}

void AfterCaptureActions::ArchivePicture(const QString& fileName, bool zipFormat) {
  actions::ArchivePicture(services_.launcher, fileName, zipFormat);
}

}  // namespace lumivex::actions
