#include "ftp/FtpUploadJob.h"

#include "base/Error.h"
#include "base/Text.h"
#include "settings/TextTable.h"

#include <stdexcept>

namespace lumivex::ftp {
namespace {

std::string FileNamePart(std::string_view name) {
  size_t slash = name.rfind('/');
  return std::string(slash == std::string_view::npos ? name : name.substr(slash + 1));
}

}  // namespace

std::string NormaliseRemoteFolder(std::string_view folder) {
  std::string out(folder);
  if (!out.starts_with('/')) out.insert(out.begin(), '/');
  if (!out.ends_with('/')) out += '/';
  return out;
}

uint16_t ParsePortText(std::string_view text) {
  int port = textToInt(text);
  if (port < 1 || port > 65535)
    throw Error("'" + std::string(text) +
                "' is not a valid FTP port: use a number from 1 to 65535");
  return static_cast<uint16_t>(port);
}

FtpUploadJob::FtpUploadJob(const settings::SettingsReader& settings, const settings::Texts& texts,
                           FtpJobHost& host, TCustomFtpClient& client, platform::Clock& clock)
    : settings_(settings),
      texts_(texts),
      host_(host),
      client_(client),
      storeDelay_(clock.createTimer()) {
  storeDelay_->setInterval(500);
  storeDelay_->setTimeoutHandler([this] {
    try {
      storePicture();
    } catch (const std::exception& error) {
      host_.ShowError(error);
    }
  });
  client_.OnFtpConnected = [this](TCustomFtpClient& sender) { onConnected(sender); };
  client_.OnFtpStatus = [this](TCustomFtpClient& sender, TFtpStatusCode code,
                               const std::string& info) { onStatus(sender, code, info); };
  // A TLS failure is the one the user must hear of: the picture stayed here on purpose.
  client_.OnFtpLoginError = [this](TCustomFtpClient&, int code, const std::string& text) {
    onFailure(code, text);
  };
  client_.OnFtpError = [this](TCustomFtpClient&, int code, const std::string& text) {
    onFailure(code, text);
  };
}

void FtpUploadJob::onFailure(int code, const std::string& text) {
  if (IsTlsError(code)) Notice(Text(settings::text::kUploadFailed), text);
}

void FtpUploadJob::StartFtpUpload(const std::string& fileName) {
  std::string user = settings_.ftpUser();
  std::string password = settings_.ftpPassword();
  std::string folder = NormaliseRemoteFolder(settings_.ftpFolder());
  // A bad port stops the job here, before the pending names change or anything connects.
  uint16_t port = ParsePortText(settings_.ftpPortText());
  std::string server = settings_.ftpServer();

  std::string localFile(trimmed(fileName));
  pendingRemotePath_ = folder + FileNamePart(localFile);
  pendingLocalFile_ = localFile;

  client_.DefaultPort = port;
  // The options dialog's "Passive connection (PASV)" box; unset keeps the client's default.
  if (const std::optional<bool> passive = settings_.ftpPassive()) client_.SetPassiveMode(*passive);
  // Refused while an earlier connection is busy; that connection then takes the new names.
  client_.Login(server, user, password, "");
}

std::string FtpUploadJob::Text(int number) { return texts_.LookupText(number); }

void FtpUploadJob::Notice(const std::string& title, const std::string& text) {
  host_.ShowNotice(title, "Lumivex", text, 1, 60);
}

void FtpUploadJob::onConnected(TCustomFtpClient& sender) {
  Notice(Text(settings::text::kFtpStatus),
         Text(settings::text::kConnectedTo) + ": " + sender.Server());
}

void FtpUploadJob::onStatus(TCustomFtpClient& sender, TFtpStatusCode statusCode,
                            const std::string& info) {
  switch (statusCode) {
    case fscClose:
      host_.SetTrayHint("Lumivex");
      break;
    case fscLogin:
      host_.SetTrayHint(sender.User() + " " + Text(settings::text::kLoggedOnTo) + " " +
                        sender.Server());
      storeDelay_->start();
      break;
    case fscCurrentDir:
      host_.SetTrayHint(info);
      break;
    case fscProgress:
      host_.SetTrayHint(std::to_string(sender.ByteCount()) + " " +
                        Text(settings::text::kBytesTransferred));
      break;
    case fscTransferOK:
      host_.SetTrayHint("Lumivex");
      Notice(Text(settings::text::kUploadComplete), "File " + FileNamePart(pendingLocalFile_) +
                                                        " " + Text(settings::text::kUploadedTo) +
                                                        " " + sender.Server() + ".");
      client_.Logout();
      break;
    case fscTimeout:
      Notice(Text(settings::text::kUploadFailed), Text(settings::text::kUploadTimedOut));
      break;
    default:
      break;
  }
}

void FtpUploadJob::storePicture() {
  storeDelay_->stop();
  client_.Store(pendingRemotePath_, pendingLocalFile_, 0, 1);
}

}  // namespace lumivex::ftp
