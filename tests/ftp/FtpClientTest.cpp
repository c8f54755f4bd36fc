// The engine against the scripted server: what real servers rarely do.
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "FtpTestSupport.h"
#include "ftp/FtpClient.h"

namespace lumivex::ftp {
namespace {

using test::ServerProcess;

// One client uploading one file, with everything it reports written down.
struct Session {
  TCustomFtpClient ftp;
  std::vector<std::string> events;
  std::vector<std::string> commands;
  std::vector<std::string> replies;
  std::string localFile;
  std::string remotePath = "/upload.bin";
  bool transferOK = false, closed = false, loginError = false, error = false;
  int errorCode = 0;
  uint64_t bytesAtTransferOK = 0;

  explicit Session(std::string file) : localFile(std::move(file)) {
    ftp.OnFtpStatus = [this](TCustomFtpClient&, TFtpStatusCode code, const std::string&) {
      events.push_back(StatusName(code));
      if (code == fscLogin) {
        QTimer::singleShot(0, &ftp, [this] { ftp.Store(remotePath, localFile, 0, 1); });
      } else if (code == fscTransferOK) {
        transferOK = true;
        bytesAtTransferOK = ftp.ByteCount();
        ftp.Logout();
      } else if (code == fscClose) {
        closed = true;
      }
    };
    ftp.OnFtpError = [this](TCustomFtpClient&, int code, const std::string&) {
      events.push_back("error " + std::to_string(code));
      error = true;
      errorCode = code;
    };
    ftp.OnFtpLoginError = [this](TCustomFtpClient&, int code, const std::string&) {
      events.push_back("login-error " + std::to_string(code));
      loginError = true;
      errorCode = code;
    };
    ftp.OnError = [this](TSockControl&, int, int code, const std::string&) {
      events.push_back("socket-error " + std::to_string(code));
    };
    ftp.OnFtpReply = [this](TCustomFtpClient&, int, const std::string& text) {
      replies.push_back(text);
    };
    ftp.OnFtpCommand = [this](TCustomFtpClient&, const std::string& command) {
      commands.push_back(command);
    };
  }

  void Start(int port) {
    ASSERT_GT(port, 0) << "server did not start";
    ASSERT_TRUE(ftp.Login("127.0.0.1:" + std::to_string(port), "test", "secret", ""));
  }
  // Until the connection is gone (both ends), bounded.
  bool RunToEnd(int milliseconds = 8000) {
    return runEventsUntil([this] { return (closed || loginError) && ftp.ConnectionCount() == 0; },
                          milliseconds);
  }
};

class ScriptedServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    file_ = dir_.filePath("upload.bin").toStdString();
    content_ = test::RandomBytes(300000, 7);
    test::WriteFile(file_, content_);
  }
  QTemporaryDir dir_;
  std::string file_;
  std::string content_;
};

TEST_F(ScriptedServerTest, OddlyShapedRepliesAreHandledWholeAndTheUploadCompletes) {
  struct Case {
    const char* scenario;
    std::string greeting;  // the text of the first reply
  };
  const Case cases[] = {
      {"multiline_greeting", "220-Welcome to the scripted server\r\n220-second line\r\n"},
      {"long_line", "220-" + std::string(9000, 'x') + "\r\n"},  // longer than the buffer
      {"split", "220 scripted server ready\r\n"},               // every reply torn across reads
      {"pasv_other", "220 scripted server ready\r\n"},  // 227 names another host: the peer serves
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario);
    ServerProcess server("scripted_ftpd.py", {c.scenario});
    Session session(file_);
    session.Start(server.Port());
    ASSERT_TRUE(session.RunToEnd());
    EXPECT_TRUE(session.transferOK);
    EXPECT_EQ(session.bytesAtTransferOK, content_.size());
    ASSERT_FALSE(session.replies.empty());
    EXPECT_EQ(session.replies.front(), c.greeting);
    for (const std::string& reply : session.replies) EXPECT_TRUE(reply.ends_with("\r\n")) << reply;
    EXPECT_EQ(session.commands, (std::vector<std::string>{"USER test", "PASS secret", "TYPE I",
                                                          "PASV", "STOR /upload.bin", "QUIT"}));
    EXPECT_TRUE(server.Transcript().contains("data 300000"));
  }
}

TEST_F(ScriptedServerTest, LineOverOneMebibyteIsDroppedWithError8001) {
  ServerProcess server("scripted_ftpd.py", {"huge_line"});
  Session session(file_);
  session.Start(server.Port());
  ASSERT_TRUE(session.RunToEnd());
  EXPECT_TRUE(session.loginError);
  EXPECT_EQ(session.errorCode, kLineTooLongError);
  EXPECT_EQ(session.ftp.State(), ftpIdle);
  EXPECT_FALSE(session.transferOK);
}

TEST_F(ScriptedServerTest, FailedStoreIsAnErrorAndLeavesTheSessionReady) {
  struct Case {
    const char* scenario;
    int errorCode;
    const char* transcriptHas;
  };
  const Case cases[] = {
      {"pasv_garbage", EDESTADDRREQ, "> PASV"},  // the data connection fails: no STOR
      {"550_before_close", 550, "> STOR"},
      {"550_after_close", 550, "data 300000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario);
    ServerProcess server("scripted_ftpd.py", {c.scenario});
    Session session(file_);
    session.Start(server.Port());
    ASSERT_TRUE(runEventsUntil([&] { return session.error; }));
    runEventsFor(300);
    EXPECT_EQ(session.errorCode, c.errorCode);
    EXPECT_EQ(session.ftp.State(), ftpReady);
    EXPECT_EQ(session.ftp.DataConnection(), -1);
    session.ftp.Logout();
    ASSERT_TRUE(session.RunToEnd());
    EXPECT_FALSE(session.transferOK);
    QString transcript = server.Transcript();
    EXPECT_TRUE(transcript.contains(c.transcriptHas)) << transcript.toStdString();
    EXPECT_EQ(transcript.contains("> STOR"), c.errorCode == 550);
  }
}

TEST_F(ScriptedServerTest, ConfirmationCompletesOnceAfterTheDataClose) {
  // 226 before the data connection closes; 226 and 250 together after it; in active mode a
  // second connection to the listening socket, closed before the 226, and one from another
  // host before the server's.
  const std::pair<const char*, bool> cases[] = {{"226_before_close", true},
                                                {"confirm_twice", true},
                                                {"active", false},
                                                {"port_twice", false},
                                                {"port_thief", false}};
  for (auto [scenario, passive] : cases) {
    SCOPED_TRACE(scenario);
    ServerProcess server("scripted_ftpd.py", {scenario});
    Session session(file_);
    session.ftp.SetPassiveMode(passive);
    session.Start(server.Port());
    ASSERT_TRUE(session.RunToEnd());
    EXPECT_TRUE(session.transferOK);
    EXPECT_EQ(std::count(session.events.begin(), session.events.end(), "fscTransferOK"), 1);
    EXPECT_EQ(session.bytesAtTransferOK, content_.size());
    QString transcript = server.Transcript();
    EXPECT_TRUE(transcript.contains("data 300000")) << transcript.toStdString();
    // In active mode only the server's own address is let in.
    EXPECT_EQ(transcript.contains("thief"), transcript.contains("thief 0"));
  }
}

TEST_F(ScriptedServerTest, FailedAcceptEndsTheTransferOnce) {
#ifdef __SANITIZE_ADDRESS__
  // The sanitizers' runtime needs descriptors of its own (it probes memory through a pipe) and
  // misreports when none are left; the normal build runs this test.
  GTEST_SKIP() << "needs free descriptors under the sanitizers";
#endif
  // No descriptor left when the server connects back: the pending connection stays, so an
  // accept that is simply retried would fail on every pass of the event loop.
  ServerProcess server("scripted_ftpd.py", {"active"});
  Session session(file_);
  session.ftp.SetPassiveMode(false);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  std::vector<int> filler;
  session.ftp.OnFtpCommand = [&](TCustomFtpClient&, const std::string& command) {
    if (!command.starts_with("STOR")) return;
    rlimit low = saved;
    low.rlim_cur =
        static_cast<rlim_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                          std::filesystem::directory_iterator{}));
    setrlimit(RLIMIT_NOFILE, &low);
    for (int fd; (fd = ::dup(0)) >= 0;) filler.push_back(fd);
  };
  session.Start(server.Port());
  bool failed = runEventsUntil([&] { return session.error || session.closed; }, 5000);
  runEventsFor(300);
  for (int fd : filler) ::close(fd);
  setrlimit(RLIMIT_NOFILE, &saved);
  ASSERT_FALSE(filler.empty());
  EXPECT_TRUE(failed);
  EXPECT_EQ(session.errorCode, EMFILE);
  EXPECT_EQ(std::count_if(session.events.begin(), session.events.end(),
                          [](const std::string& e) { return e.find("error") != e.npos; }),
            1);
  session.ftp.Logout();  // unless the server has already given up
  ASSERT_TRUE(session.RunToEnd());
  EXPECT_FALSE(session.transferOK);
}

TEST_F(ScriptedServerTest, CompletionReportedAfter421LeavesTheClientIdle) {
  // The 421 is handled before the posted completion: the session is over all the same.
  ServerProcess server("scripted_ftpd.py", {"confirm_then_421"});
  Session session(file_);
  int stateAtTransferOK = -1;
  session.ftp.OnFtpStatus = [&](TCustomFtpClient& ftp, TFtpStatusCode code, const std::string&) {
    if (code == fscLogin) QTimer::singleShot(0, &ftp, [&] { ftp.Store("/f", file_, 0, 1); });
    if (code != fscTransferOK) return;
    session.transferOK = true;
    stateAtTransferOK = ftp.State();
  };
  session.Start(server.Port());
  ASSERT_TRUE(runEventsUntil([&] { return session.transferOK; }));
  EXPECT_EQ(stateAtTransferOK, ftpIdle);
  EXPECT_EQ(int{session.ftp.State()}, ftpIdle);
  // Idle, so a new log-on is accepted.
  EXPECT_TRUE(session.ftp.Login("127.0.0.1:" + std::to_string(server.Port()), "u", "p", ""));
}

TEST_F(ScriptedServerTest, NoticeRunningItsOwnEventLoopOutlivesTheConnection) {
  // A modal notice shown on the connection report runs the event loop; the server closes
  // meanwhile, so the connection is gone when the report returns.
  ServerProcess server("scripted_ftpd.py", {"close_at:0"});
  Session session(file_);
  bool nested = false;
  session.ftp.OnFtpConnected = [&](TCustomFtpClient& ftp) {
    nested = runEventsUntil([&] { return ftp.ConnectionCount() == 0; }, 5000);
    runEventsFor(100);
  };
  session.Start(server.Port());
  ASSERT_TRUE(session.RunToEnd());
  EXPECT_TRUE(nested);
  EXPECT_EQ(session.ftp.State(), ftpIdle);
}

TEST_F(ScriptedServerTest, LogOnAfter421DropsTheConnectionTheServerLeftOpen) {
  ServerProcess server("scripted_ftpd.py", {"421_stay"});
  Session session(file_);
  session.Start(server.Port());
  ASSERT_TRUE(runEventsUntil([&] { return session.ftp.State() == ftpIdle; }));
  runEventsFor(200);
  EXPECT_EQ(session.ftp.ConnectionCount(), 1u);  // the server has not closed it
  ASSERT_TRUE(session.ftp.Login("127.0.0.1:" + std::to_string(server.Port()), "u", "p", ""));
  EXPECT_EQ(session.ftp.ConnectionCount(), 1u);
  EXPECT_TRUE(runEventsUntil([&] { return server.Transcript(0).contains("end"); }, 3000));
}

TEST_F(ScriptedServerTest, ServerClosingAtEveryStepLeavesTheClientIdle) {
  for (int step = 0; step <= 5; ++step) {
    SCOPED_TRACE("close at step " + std::to_string(step));
    ServerProcess server("scripted_ftpd.py", {"close_at:" + QString::number(step)});
    Session session(file_);
    session.Start(server.Port());
    ASSERT_TRUE(session.RunToEnd());
    EXPECT_FALSE(session.transferOK);
    EXPECT_EQ(session.ftp.State(), ftpIdle);
    EXPECT_FALSE(session.ftp.LoggedOn());
    EXPECT_EQ(session.ftp.DataConnection(), -1);
    // A new log-on is accepted again (and fails cleanly: the server is gone).
    session.closed = session.loginError = false;
    EXPECT_TRUE(session.ftp.Login("127.0.0.1:" + std::to_string(server.Port()), "u", "p", ""));
    ASSERT_TRUE(session.RunToEnd());
  }
}

// ---- without a server -----------------------------------------------------------------------

TEST(FtpClientTest, RefusesOperationsOutOfTurnAndLineBreaksInArguments) {
  TCustomFtpClient ftp;
  QTemporaryDir dir;
  std::string file = dir.filePath("f").toStdString();
  test::WriteFile(file, "x");
  EXPECT_FALSE(ftp.Store("/f", file, 0, 1));  // not logged on
  EXPECT_FALSE(ftp.Logout());
  EXPECT_THROW(ftp.Login("127.0.0.1", "user\r\nDELE x", "p", ""), std::runtime_error);
  EXPECT_THROW(ftp.Login("127.0.0.1", "user", "p\nq", ""), std::runtime_error);
  EXPECT_EQ(ftp.State(), ftpIdle);
  EXPECT_EQ(ftp.ConnectionCount(), 0u);
  try {
    ftp.Login("", "", "", "");
    ADD_FAILURE() << "an empty server text was accepted";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Destination address required");
  }
  EXPECT_EQ(ftp.State(), ftpIdle);
  EXPECT_EQ(ftp.ConnectionCount(), 0u);

  // A greeting without a user name is the log-on.
  std::vector<TFtpStatusCode> statuses;
  ftp.OnFtpStatus = [&](TCustomFtpClient&, TFtpStatusCode code, const std::string&) {
    statuses.push_back(code);
  };
  ftp.HandleReplyLine("220 hello\r\n");
  EXPECT_EQ(ftp.State(), ftpReady);
  EXPECT_TRUE(ftp.LoggedOn());
  EXPECT_EQ(statuses, std::vector<TFtpStatusCode>{fscLogin});
  EXPECT_THROW(ftp.Store("/a\r\nDELE b", file, 0, 1), std::runtime_error);
  EXPECT_FALSE(ftp.Store("", file, 0, 1));
  EXPECT_FALSE(ftp.Store("/f", dir.filePath("missing").toStdString(), 0, 1));
  EXPECT_EQ(ftp.State(), ftpReady);
}

TEST(FtpClientTest, ReplyTableStatusesAndFailures) {
  TCustomFtpClient ftp;
  std::vector<std::string> seen;
  ftp.OnFtpStatus = [&](TCustomFtpClient&, TFtpStatusCode code, const std::string& info) {
    seen.push_back(std::string(StatusName(code)) + ":" + info);
  };
  ftp.OnFtpError = [&](TCustomFtpClient&, int code, const std::string&) {
    seen.push_back("error:" + std::to_string(code));
  };
  ftp.HandleReplyLine("257 \"/home/pics\" is the current directory\r\n");
  ftp.HandleReplyLine("211-Features:\r\n");
  ftp.HandleReplyLine(" SIZE\r\n");
  ftp.HandleReplyLine("211 End\r\n");
  ftp.HandleReplyLine("500 what?\r\n");
  ftp.HandleReplyLine("garbage\r\n");
  ftp.HandleReplyLine("226 done\r\n");  // in Ready a stray 226 means nothing
  EXPECT_EQ(seen,
            (std::vector<std::string>{"fscCurrentDir:/home/pics", "fscInfo:-Features:\r\n SIZE\r\n",
                                      "error:500", "error:0"}));
}

}  // namespace
}  // namespace lumivex::ftp
