// The mail hand-off through the real xdg-email to a stand-in mail program registered for
// mailto links in a private XDG data and config home.
#include <gtest/gtest.h>

#include <QFile>
#include <QHash>
#include <QUrl>

#include <filesystem>

#include "ActionsTestSupport.h"
#include "platform/posix/PosixLauncher.h"

namespace lumivex::actions {
namespace {

// The fields of "mailto:?subject=…&body=…&attach=…", decoded.
QHash<QString, QString> mailtoFields(const QString& link) {
  QHash<QString, QString> fields;
  if (!link.startsWith("mailto:?")) return fields;
  for (const QString& pair : link.mid(8).split('&')) {
    const qsizetype eq = pair.indexOf('=');
    fields.insert(pair.left(eq), QUrl::fromPercentEncoding(pair.mid(eq + 1).toUtf8()));
  }
  return fields;
}

TEST(MailDesktopTest, StandInMailProgramReceivesSubjectBodyAndAttachment) {
  test::ActionsRig rig;
  const std::filesystem::path out = rig.dir.path / "received.txt";
  const auto mailer = rig.dir.write("bin/standin-mailer",
                                    "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + out.string() + "'\n");
  std::filesystem::permissions(mailer, std::filesystem::perms::owner_all);
  rig.dir.write("data/applications/standin-mailer.desktop",
                "[Desktop Entry]\nType=Application\nName=Stand-in mailer\nExec=" + mailer.string() +
                    " %u\nMimeType=x-scheme-handler/mailto;\n");
  rig.dir.write("xdg-config/mimeapps.list",
                "[Default Applications]\nx-scheme-handler/mailto=standin-mailer.desktop\n");
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString((rig.dir.path / "data").string()));
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((rig.dir.path / "xdg-config").string()));
  qunsetenv("XDG_CURRENT_DESKTOP");  // xdg-email's generic path reads the registration
  ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY"));

  platform::PosixLauncher launcher;
  auto actions = rig.make(launcher);
  ASSERT_TRUE(actions->mail().MapiAvail()) << "xdg-email (package xdg-utils) is not installed";
  rig.setAction("True", "2");
  const QString plain = rig.picture("pics/shot one.png");
  const QString odd = rig.picture("pics/-it's \"q\" $HOME & more.png");
  actions->DoFinalAction(plain + ".missing");  // opens nothing
  actions->DoFinalAction(plain);
  actions->DoFinalAction(odd);

  QStringList lines;
  EXPECT_TRUE(test::waitFor([&] {
    lines = QString::fromStdString(rig.dir.read(out)).split('\n', Qt::SkipEmptyParts);
    return lines.size() >= 2;
  }));
  ASSERT_EQ(lines.size(), 2) << lines.join('\n').toStdString();
  QHash<QString, QHash<QString, QString>> bySubject;
  for (const QString& line : lines)
    bySubject.insert(mailtoFields(line).value("subject"), mailtoFields(line));
  for (const QString& picture : {plain, odd}) {
    const QString name = picture.mid(picture.lastIndexOf('/') + 1);
    SCOPED_TRACE(name.toStdString());
    const auto fields = bySubject.value(name);
    EXPECT_EQ(fields.value("body"),
              "Lumivex has attached a picture to this e-mail message: " + name);
    EXPECT_EQ(fields.value("attach"), picture);
    EXPECT_FALSE(fields.contains("to"));
  }
  EXPECT_TRUE(rig.errors.isEmpty());
}

}  // namespace
}  // namespace lumivex::actions
