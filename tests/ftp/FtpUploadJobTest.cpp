// The upload job with a fake host against a real pyftpdlib server.
#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "FtpTestSupport.h"
#include "ftp/FtpUploadJob.h"
#include "platform/qt/QtClock.h"
#include "settings/Registry.h"
#include "settings/SettingsTable.h"

namespace lumivex::ftp {
namespace {

// The settings file and the language file of a test, written as a test assigns values.
struct StoredFiles {
  QTemporaryDir dir;
  SettingsFile key{dir.filePath("Vistrel.conf").toStdString(), kSettingsKey};
  std::filesystem::path languageFile = dir.filePath("lang.txt").toStdString();
  std::map<int, std::string> entries;

  struct Value {
    const SettingsFile& key;
    std::string name;
    void operator=(const std::string& value) const { key.write(name, value); }
  };
  Value operator[](const char* name) const { return {key, name}; }
  void operator=(std::initializer_list<std::pair<const char*, std::string>> values) const {
    for (const auto& [name, value] : values) key.write(name, value);
  }
  // An entry of the language file.
  void translate(int number, const std::string& text) {
    entries[number] = text;
    std::string file = "[lumivex_it]\n";
    for (const auto& [n, t] : entries) file += std::to_string(n) + "=" + t + "\n";
    test::WriteFile(languageFile.string(), file);
  }
};

class FakeHost : public FtpJobHost {
 public:
  StoredFiles settings;
  lumivex::settings::SettingsReader reader{settings.key};
  lumivex::settings::Texts texts{settings.languageFile};
  std::vector<std::string> notices;  // "title|text"
  std::vector<std::string> hints;
  std::vector<std::string> errors;

  void ShowNotice(const std::string& title, const std::string& boxCaption, const std::string& text,
                  int iconKind, int timeoutSeconds) override {
    EXPECT_EQ(boxCaption, "Lumivex");
    EXPECT_EQ(iconKind, 1);
    EXPECT_EQ(timeoutSeconds, 60);
    notices.push_back(title + "|" + text);
  }
  void SetTrayHint(const std::string& hint) override { hints.push_back(hint); }
  void ShowError(const std::exception& error) override { errors.push_back(error.what()); }
  bool HintSeen(const std::string& hint) const {
    return std::find(hints.begin(), hints.end(), hint) != hints.end();
  }
};

// The settings texts of the job: the remote folder and the port.
TEST(UploadJobText, FolderNormalisationAndPortTexts) {
  EXPECT_EQ(NormaliseRemoteFolder(""), "/");
  EXPECT_EQ(NormaliseRemoteFolder("/"), "/");
  EXPECT_EQ(NormaliseRemoteFolder("pics"), "/pics/");
  EXPECT_EQ(NormaliseRemoteFolder("/a/b"), "/a/b/");
  EXPECT_EQ(NormaliseRemoteFolder("upload\\2005"), "/upload\\2005/");

  EXPECT_EQ(ParsePortText("21"), 21);
  EXPECT_EQ(ParsePortText(" 2121"), 2121);
  EXPECT_EQ(ParsePortText("65535"), 65535);
  auto message = [](const char* text) {
    try {
      ParsePortText(text);
    } catch (const std::exception& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  EXPECT_EQ(message("abc"), "'abc' is not a valid integer value");
  EXPECT_EQ(message(""), "'' is not a valid integer value");
  EXPECT_EQ(message("21 "), "'21 ' is not a valid integer value");
  EXPECT_EQ(message("99999999999"), "'99999999999' is not a valid integer value");
  EXPECT_EQ(message("0"), "'0' is not a valid FTP port: use a number from 1 to 65535");
  EXPECT_EQ(message("65536"), "'65536' is not a valid FTP port: use a number from 1 to 65535");
  EXPECT_EQ(message("-21"), "'-21' is not a valid FTP port: use a number from 1 to 65535");
}

class UploadJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GT(server_.Port(), 0) << "pyftpdlib did not start";
    server = "127.0.0.1:" + std::to_string(server_.Port());
    host.settings = {
        {settings::kFtpUser, "test"},        {settings::kFtpPassword, "secret"},
        {settings::kFtpFolder, "/"},         {settings::kFtpPort, std::to_string(server_.Port())},
        {settings::kFtpServer, "127.0.0.1"}, {settings::kFtpPassive, "True"}};
    picture = local_.filePath("anna_LumivexPhoto_2005_06_19 22_22_17.png").toStdString();
    content = test::RandomBytes(200000, 3);
    test::WriteFile(picture, content);
  }
  // Until the server has closed the connection after QUIT (or any close), bounded.
  bool RunToClose() {
    return runEventsUntil([&] { return ftp.State() == ftpIdle && ftp.ConnectionCount() == 0; },
                          10000);
  }
  std::string Remote(const std::string& path) const { return server_.Root() + path; }

  test::RealServer server_;
  QTemporaryDir local_;
  std::string server;
  std::string picture, content;
  FakeHost host;
  TCustomFtpClient ftp;
  platform::QtClock clock;
  FtpUploadJob job{host.reader, host.texts, host, ftp, clock};
};

TEST_F(UploadJobTest, SuccessfulUploadShowsTheWholeSequence) {
  host.settings.translate(210, "caricato su");  // a language file entry replaces the default
  job.StartFtpUpload("  " + picture + " \n");
  EXPECT_EQ(job.PendingLocalFile(), picture);
  EXPECT_EQ(job.PendingRemotePath(), "/anna_LumivexPhoto_2005_06_19 22_22_17.png");
  ASSERT_TRUE(runEventsUntil([&] { return host.notices.size() >= 2; }));
  ASSERT_TRUE(RunToClose());
  EXPECT_EQ(host.notices,
            (std::vector<std::string>{
                "FTP Status|Connected to: 127.0.0.1",
                "Upload Complete|File anna_LumivexPhoto_2005_06_19 22_22_17.png caricato su "
                "127.0.0.1."}));
  ASSERT_GE(host.hints.size(), 3u);
  EXPECT_EQ(host.hints.front(), "test logged on to 127.0.0.1");
  EXPECT_EQ(host.hints[host.hints.size() - 2], "Lumivex");  // transfer complete
  EXPECT_EQ(host.hints.back(), "Lumivex");                  // connection closed
  for (size_t i = 1; i + 2 < host.hints.size(); ++i)
    EXPECT_TRUE(host.hints[i].ends_with(" bytes transferred")) << host.hints[i];
  EXPECT_TRUE(test::ReadFile(Remote("/anna_LumivexPhoto_2005_06_19 22_22_17.png")) == content);
  EXPECT_TRUE(host.errors.empty());
}

TEST_F(UploadJobTest, RemoteFoldersAndServerTexts) {
  std::filesystem::create_directories(Remote("/pics"));
  std::filesystem::create_directories(Remote("/upload/2005"));
  std::string port = std::to_string(server_.Port());
  struct Case {
    std::string folder, serverText, portText, expected;
  };
  const Case cases[] = {
      {"pics", "127.0.0.1", port, "/pics/"},
      {"upload\\2005", "127.0.0.1", port, "/upload/2005/"},
      {"", "ftp://127.0.0.1:" + port, "21", "/"},  // the server text's port wins
      {"/pics/", "localhost:" + port, "1", "/pics/"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder + " " + c.serverText);
    host.settings[settings::kFtpFolder] = c.folder;
    host.settings[settings::kFtpServer] = c.serverText;
    host.settings[settings::kFtpPort] = c.portText;
    std::string file = local_.filePath("shot" + QString::number(++n) + ".png").toStdString();
    test::WriteFile(file, content);
    host.notices.clear();
    job.StartFtpUpload(file);
    ASSERT_TRUE(runEventsUntil([&] { return host.notices.size() >= 2; }));
    EXPECT_EQ(host.notices.back(), "Upload Complete|File shot" + std::to_string(n) +
                                       ".png uploaded to " + c.serverText + ".");
    ASSERT_TRUE(RunToClose());
    EXPECT_TRUE(test::ReadFile(Remote(c.expected + "shot" + std::to_string(n) + ".png")) ==
                content);
  }
}

TEST_F(UploadJobTest, ActiveModeFromTheSetting) {
  host.settings[settings::kFtpPassive] = "False";
  job.StartFtpUpload(picture);
  EXPECT_FALSE(ftp.PassiveMode());
  ASSERT_TRUE(runEventsUntil([&] { return host.notices.size() >= 2; }));
  EXPECT_EQ(host.notices[0], "FTP Status|Connected to: 127.0.0.1");
  EXPECT_EQ(host.notices[1],
            "Upload Complete|File anna_LumivexPhoto_2005_06_19 22_22_17.png uploaded to "
            "127.0.0.1.");
  ASSERT_TRUE(RunToClose());
  EXPECT_TRUE(test::ReadFile(Remote("/anna_LumivexPhoto_2005_06_19 22_22_17.png")) == content);
}

TEST_F(UploadJobTest, BadSettingsStopBeforeAnyConnection) {
  job.StartFtpUpload(picture);  // sets the pending names
  ASSERT_TRUE(runEventsUntil([&] { return host.notices.size() >= 2; }));
  ASSERT_TRUE(RunToClose());
  host.notices.clear();
  for (const char* portText : {"abc", "0", "65536", ""}) {
    SCOPED_TRACE(portText);
    host.settings[settings::kFtpPort] = portText;
    EXPECT_THROW(job.StartFtpUpload(local_.filePath("other.png").toStdString()),
                 std::runtime_error);
    EXPECT_EQ(job.PendingLocalFile(), picture);  // left before the names were replaced
  }
  host.settings[settings::kFtpPort] = "21";
  host.settings[settings::kFtpServer] = "";
  try {
    job.StartFtpUpload(picture);
    ADD_FAILURE() << "an empty server text was accepted";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Destination address required");
  }
  runEventsFor(200);
  EXPECT_EQ(ftp.State(), ftpIdle);
  EXPECT_TRUE(host.notices.empty());
}

TEST_F(UploadJobTest, RejectedPasswordShowsNothingAndKeepsTheClientBusy) {
  host.settings[settings::kFtpPassword] = "wrong";
  job.StartFtpUpload(picture);
  ASSERT_TRUE(runEventsUntil([&] { return !host.notices.empty(); }));
  runEventsFor(800);
  EXPECT_EQ(host.notices, std::vector<std::string>{"FTP Status|Connected to: 127.0.0.1"});
  EXPECT_EQ(ftp.State(), ftpLoggingIn);
  EXPECT_TRUE(host.hints.empty());
  // A second picture is refused by the busy client, but its names replace the first ones.
  std::string second = local_.filePath("second.png").toStdString();
  test::WriteFile(second, "2");
  job.StartFtpUpload(second);
  EXPECT_EQ(job.PendingLocalFile(), second);
  runEventsFor(300);
  EXPECT_EQ(host.notices.size(), 1u);
}

TEST_F(UploadJobTest, EmptyUserAndMissingFileNeverReportCompletion) {
  // No user name: the greeting counts as the log-on; this server then refuses the upload.
  host.settings[settings::kFtpUser] = "";
  job.StartFtpUpload(picture);
  ASSERT_TRUE(runEventsUntil([&] { return host.HintSeen(" logged on to 127.0.0.1"); }));
  runEventsFor(1000);
  EXPECT_EQ(host.notices.size(), 1u);
  EXPECT_EQ(ftp.State(), ftpReady);
  ftp.Logout();
  ASSERT_TRUE(RunToClose());

  // A picture that is not there (clipboard mode): log-on, no transfer.
  host.settings[settings::kFtpUser] = "test";
  host.notices.clear();
  host.hints.clear();
  job.StartFtpUpload(local_.filePath("clipboard.png").toStdString());
  ASSERT_TRUE(runEventsUntil([&] { return host.HintSeen("test logged on to 127.0.0.1"); }));
  runEventsFor(1000);
  EXPECT_EQ(host.notices, std::vector<std::string>{"FTP Status|Connected to: 127.0.0.1"});
  EXPECT_EQ(ftp.State(), ftpReady);
  EXPECT_FALSE(std::filesystem::exists(Remote("/clipboard.png")));
}

TEST_F(UploadJobTest, SecondCaptureDuringLogOnUploadsTheNewerPicture) {
  std::string second = local_.filePath("newer.png").toStdString();
  test::WriteFile(second, "newer picture");
  job.StartFtpUpload(picture);
  job.StartFtpUpload(second);  // refused by the busy client; the names are replaced
  ASSERT_TRUE(runEventsUntil([&] { return host.notices.size() >= 2; }));
  EXPECT_EQ(host.notices.size(), 2u);
  EXPECT_EQ(host.notices.back(), "Upload Complete|File newer.png uploaded to 127.0.0.1.");
  ASSERT_TRUE(RunToClose());
  EXPECT_EQ(test::ReadFile(Remote("/newer.png")), "newer picture");
  EXPECT_FALSE(std::filesystem::exists(Remote("/anna_LumivexPhoto_2005_06_19 22_22_17.png")));
}

TEST(UploadJobTimeoutTest, StalledTransferShowsTheTimeoutNoticeAndStaysLoggedOn) {
  test::ServerProcess server("scripted_ftpd.py", {"stall"});
  ASSERT_GT(server.Port(), 0);
  QTemporaryDir local;
  std::string picture = local.filePath("shot.png").toStdString();
  test::WriteFile(picture, test::RandomBytes(5000, 1));
  FakeHost host;
  host.settings = {{settings::kFtpUser, "test"},
                   {settings::kFtpPassword, "secret"},
                   {settings::kFtpPort, std::to_string(server.Port())},
                   {settings::kFtpServer, "127.0.0.1"}};
  TCustomFtpClient ftp;
  ftp.TransferTimeout = 1000;
  platform::QtClock clock;
  FtpUploadJob job(host.reader, host.texts, host, ftp, clock);
  job.StartFtpUpload(picture);
  ASSERT_TRUE(runEventsUntil([&] { return host.notices.size() >= 2; }));
  EXPECT_EQ(host.notices[1], "Upload Failed|Upload timed out.");
  EXPECT_EQ(ftp.State(), ftpReady);  // no log-off, no retry
  EXPECT_EQ(ftp.DataConnection(), -1);
  EXPECT_TRUE(ftp.PassiveMode());  // no stored choice: the client's default
  runEventsFor(300);
  EXPECT_EQ(host.notices.size(), 2u);
  ftp.Logout();
  ASSERT_TRUE(runEventsUntil([&] { return ftp.State() == ftpIdle && ftp.ConnectionCount() == 0; }));
  EXPECT_EQ(host.hints.back(), "Lumivex");
  EXPECT_TRUE(server.Transcript().contains("stalling"));
}

// The after-capture upload with a server setting that asks for explicit TLS: to vsftpd in both
// modes; then a server whose certificate is for another name gets nothing, and the notice says why.
TEST(UploadJobTlsTest, UploadsInBothModesAndShowsWhyACertificateIsRefused) {
  test::VsftpdServer vsftpd;
  ASSERT_GT(vsftpd.Port(), 0) << "vsftpd did not start";
  QTemporaryDir local;
  FakeHost host;
  TCustomFtpClient ftp;
  platform::QtClock clock;
  FtpUploadJob job(host.reader, host.texts, host, ftp, clock);
  host.settings = {{settings::kFtpUser, "anonymous"},
                   {settings::kFtpPassword, "secret"},
                   {settings::kFtpFolder, vsftpd.UploadFolder()},
                   {settings::kFtpPort, std::to_string(vsftpd.Port())},
                   {settings::kFtpServer, "ftpes://127.0.0.1"}};
  auto upload = [&](const std::string& name, const std::string& content) {
    std::string file = local.filePath(QString::fromStdString(name)).toStdString();
    test::WriteFile(file, content);
    host.notices.clear();
    job.StartFtpUpload(file);
    return runEventsUntil([&] { return host.notices.size() >= 2; });
  };
  for (const char* passive : {"True", "False"}) {
    std::string name = std::string(passive) + ".png", content = test::RandomBytes(250000, 1);
    host.settings[settings::kFtpPassive] = passive;
    ASSERT_TRUE(upload(name, content)) << name;
    EXPECT_EQ(host.notices[1], "Upload Complete|File " + name + " uploaded to ftpes://127.0.0.1.");
    ASSERT_TRUE(
        runEventsUntil([&] { return ftp.State() == ftpIdle && ftp.ConnectionCount() == 0; }));
    EXPECT_TRUE(test::ReadFile(vsftpd.UploadFolder() + name) == content) << name;
  }

  test::ServerProcess other("scripted_ftpd.py", {"tls_other", test::TestCertificates()});
  ASSERT_GT(other.Port(), 0);
  host.settings[settings::kFtpPort] = std::to_string(other.Port());
  ASSERT_TRUE(upload("refused.png", "picture"));
  EXPECT_EQ(host.notices[1],
            "Upload Failed|The server's TLS certificate is not accepted: it is for another name "
            "than 127.0.0.1");
  EXPECT_EQ(ftp.State(), ftpIdle);
  QString transcript = other.Transcript();
  EXPECT_FALSE(transcript.contains("> USER")) << transcript.toStdString();
  EXPECT_TRUE(transcript.contains("wire-secret 0")) << transcript.toStdString();
}

}  // namespace
}  // namespace lumivex::ftp
