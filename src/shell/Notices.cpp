#include "shell/Notices.h"

#include "settings/TextTable.h"

namespace lumivex::shell {
namespace {

constexpr int kDoneSeconds = 60;
constexpr int kRefusalSeconds = 15;
constexpr int kStorageModeSeconds = 15;

}  // namespace

Notices::Notices(platform::NoticeService& service, TTrayIcon& trayIcon,
                 const settings::Texts& texts, const settings::SettingsReader& settings)
    : service_(service),
      trayIcon_(trayIcon),
      texts_(texts),
      settings_(settings),
      oldShellSystem_(service.isOldShell()) {}

void Notices::ShowNotice(const QString& title, const QString& boxCaption, const QString& text,
                         int iconKind, int seconds, platform::NoticePlace place) {
  if (oldShellSystem_)
    service_.showMessageBox(boxCaption, text, iconKind);
  else
    trayIcon_.ShowBalloonNotice(title, text, iconKind, quint8(seconds), place);
}

void Notices::NotifyDone(const QString& fullFileName) {
  if (!settings_.balloonOn()) return;
  const QString message = settings_.clipboardMode()
                              ? text(settings::text::kPictureOnClipboard)
                              : text(settings::text::kPictureSavedAs) + ' ' + fullFileName;
  ShowNotice(text(settings::text::kScreenCaptured), kBoxCaption, message, platform::kNoticeInfo,
             kDoneSeconds);
}

void Notices::NotifyRefused(int titleNumber, int textNumber) {
  ShowNotice(text(titleNumber), kBoxCaption, text(textNumber), platform::kNoticeWarning,
             kRefusalSeconds);
}

void Notices::NotifyStorageMode(const StorageMode& mode) {
  ShowNotice(text(settings::text::kNewStorageMode), kBoxCaption, text(mode.messageNumber()),
             platform::kNoticeInfo, kStorageModeSeconds);
}

QString Notices::text(int number) const {
  return QString::fromStdString(texts_.LookupText(number));
}

}  // namespace lumivex::shell
