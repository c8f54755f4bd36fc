// Servers for the FTP tests: a real pyftpdlib server and the scripted one, each a child process
// that is killed when the object goes (and exits by itself when our end of its stdin closes).
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "EventLoop.h"

#include <fstream>
#include <functional>
#include <random>
#include <string>

#ifndef LUMIVEX_FTP_TEST_DIR
#error "LUMIVEX_FTP_TEST_DIR must name tests/ftp"
#endif

namespace lumivex::ftp::test {

class ServerProcess {
 public:
  ServerProcess(const QString& script, const QStringList& arguments) {
    process_.setProgram("/usr/bin/python3");
    process_.setArguments(QStringList{QString(LUMIVEX_FTP_TEST_DIR) + "/" + script} + arguments);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start();
    if (!process_.waitForStarted(5000)) return;
    QDeadlineTimer deadline(10000);
    while (!process_.canReadLine() && !deadline.hasExpired())
      process_.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    QByteArray line = process_.readLine().trimmed();
    if (line.startsWith("ready ")) port_ = line.mid(6).toInt();
  }
  ~ServerProcess() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  int Port() const { return port_; }
  // Everything the server printed after "ready", once it has ended (bounded wait).
  QString Transcript(int milliseconds = 5000) {
    process_.waitForFinished(milliseconds);
    transcript_ += QString::fromLatin1(process_.readAllStandardOutput());
    return transcript_;
  }

 private:
  QProcess process_;
  int port_ = 0;
  QString transcript_;
};

// pyftpdlib on 127.0.0.1: user "test", password "secret", writable root.
class RealServer {
 public:
  RealServer() {
    std::random_device random;
    int low = 42000 + static_cast<int>(random() % 2000) * 10;
    process_ = std::make_unique<ServerProcess>(
        "ftpd.py", QStringList{root_.path(), QString::number(low), QString::number(low + 9)});
  }
  int Port() const { return process_->Port(); }
  std::string Root() const { return root_.path().toStdString(); }

 private:
  QTemporaryDir root_;
  std::unique_ptr<ServerProcess> process_;
};

// Throwaway certificates (make_certs.py), made once for the test program; the TLS client is
// told to trust their CA alone (SSL_CERT_FILE, and an empty SSL_CERT_DIR), never the machine's
// store. lumivex-ftp inherits the setting.
inline QString TestCertificates() {
  static QTemporaryDir dir;
  static const bool made = [] {
    ServerProcess maker("make_certs.py", {dir.path()});  // "ready" comes when all are written
    qputenv("SSL_CERT_FILE", dir.filePath("ca.pem").toLocal8Bit());
    qputenv("SSL_CERT_DIR", dir.filePath("no-such-folder").toLocal8Bit());
    return QFile::exists(dir.filePath("self.key"));
  }();
  return made ? dir.path() : QString();
}

// vsftpd with TLS on 127.0.0.1 (vsftpd_tls.py): anonymous log-on, uploads to UploadFolder().
class VsftpdServer {
 public:
  explicit VsftpdServer(bool implicitTls = false) {
    QString certs = TestCertificates();
    process_ = std::make_unique<ServerProcess>(
        "vsftpd_tls.py", QStringList{root_.path(), certs + "/good.pem", certs + "/good.key",
                                     implicitTls ? "implicit" : "explicit"});
  }
  int Port() const { return process_->Port(); }
  std::string UploadFolder() const { return root_.path().toStdString() + "/up/"; }

 private:
  QTemporaryDir root_;
  std::unique_ptr<ServerProcess> process_;
};

inline std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string out(size, '\0');
  for (char& c : out) c = static_cast<char>(random());
  return out;
}

inline void WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace lumivex::ftp::test
