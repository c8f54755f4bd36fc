// The after-capture FTP upload: reads the FTP settings, logs on, stores the picture half a
// second after the log-on, and reports progress in the tray. The server setting's scheme asks
// for TLS ("ftpes://host", "ftps://host"); the client does the rest. The main form owns the job and
// the client and wires it to the settings, the texts and an FtpJobHost for the notices.
#pragma once

#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "ftp/FtpClient.h"
#include "platform/Clock.h"
#include "settings/SettingsReader.h"
#include "settings/Texts.h"

namespace lumivex::ftp {

// Where the job's progress goes. Texts are UTF-8.
class FtpJobHost {
 public:
  virtual ~FtpJobHost() = default;
  // The program's notice: `title` on a balloon, `boxCaption` on a message box (the host decides
  // which). Icon kind: 0 none, 1 information, 2 warning, 3 error.
  virtual void ShowNotice(const std::string& title, const std::string& boxCaption,
                          const std::string& text, int iconKind, int timeoutSeconds) = 0;
  virtual void SetTrayHint(const std::string& hint) = 0;
  // The application's standard error report, for failures of the delayed upload start.
  virtual void ShowError(const std::exception& error) = 0;
};

// "" -> "/", "pics" -> "/pics/", "/a/b" -> "/a/b/"; backslashes stay for the client to turn.
std::string NormaliseRemoteFolder(std::string_view folder);
// The port for the client: an integer in 1..65535, or an error naming the text.
uint16_t ParsePortText(std::string_view text);

class FtpUploadJob {
 public:
  // Takes over the client's OnFtpConnected and OnFtpStatus events; the store delay runs on `clock`.
  FtpUploadJob(const settings::SettingsReader& settings, const settings::Texts& texts,
               FtpJobHost& host, TCustomFtpClient& client, platform::Clock& clock);
  FtpUploadJob(const FtpUploadJob&) = delete;
  FtpUploadJob& operator=(const FtpUploadJob&) = delete;

  // Errors (a bad port text, an empty server text) go to the caller; nothing has connected.
  void StartFtpUpload(const std::string& fileName);
  // The client's events (ftp1FtpConnected, ftp1FtpStatus): the notice of the connection, the
  // tray's hint at each step, the store delay after the log-on, the outcome's notice.
  void onConnected(TCustomFtpClient& sender);
  void onStatus(TCustomFtpClient& sender, TFtpStatusCode statusCode, const std::string& info);
  // The client's error events (ftp1FtpError, ftp1FtpLoginError): a TLS failure's notice says
  // why nothing was uploaded; other failures stay silent as before.
  void onFailure(int code, const std::string& text);
  // The store delay's end (Timer2Timer): the picture goes to the server.
  void storePicture();

  const std::string& PendingRemotePath() const { return pendingRemotePath_; }
  const std::string& PendingLocalFile() const { return pendingLocalFile_; }
  // Timer2: the half second between the log-on and the store.
  platform::Timer& StoreDelay() { return *storeDelay_; }

 private:
  // A text of the language file, or its default from the text table.
  std::string Text(int number);
  void Notice(const std::string& title, const std::string& text);

  const settings::SettingsReader& settings_;
  const settings::Texts& texts_;
  FtpJobHost& host_;
  TCustomFtpClient& client_;
  std::unique_ptr<platform::Timer> storeDelay_;  // Timer2
  std::string pendingRemotePath_;
  std::string pendingLocalFile_;
};

}  // namespace lumivex::ftp
