#include <gtest/gtest.h>

#include <QProcess>

#include "TempDir.h"
#include "base/Error.h"
#include "platform/xdg/XdgAutostartEntry.h"

using namespace lumivex;
using platform::XdgAutostartEntry;

namespace {

// desktop-file-validate's verdict: empty when the entry is valid.
QString validationErrors(const std::filesystem::path& file) {
  QProcess validate;
  validate.start(QStringLiteral("desktop-file-validate"), {QString::fromStdString(file.string())});
  if (!validate.waitForFinished(10000)) return QStringLiteral("desktop-file-validate did not run");
  const QString out = QString::fromUtf8(validate.readAll());
  return validate.exitCode() == 0 && !out.contains("error") ? QString() : out;
}

TEST(XdgAutostartEntry, EnabledEntryStartsTheExecutableAndDisablingKeepsTheFile) {
  TempDir dir;
  // Blanks, quotes, a dollar, a back quote, a backslash and a percent sign in the path.
  const QString exe = QString::fromStdString((dir.path / "my apps").string()) +
                      R"(/it's "lumi"$HOME`x`\%u/lumivex)";
  XdgAutostartEntry entry(QString::fromStdString((dir.path / "config").string()), exe);
  const auto file = dir.path / "config/autostart/com.quorlan.Lumivex.desktop";
  // An enabled entry of an earlier version would go on starting Lumivex.
  dir.write("config/autostart/lumivex.desktop", "[Desktop Entry]\nType=Application\nExec=x\n");

  entry.setEnabled(true);
  EXPECT_FALSE(std::filesystem::exists(dir.path / "config/autostart/lumivex.desktop"));
  const std::string text = dir.read(file);
  EXPECT_EQ(validationErrors(file), "");
  const std::string exec = "Exec=\"" + (dir.path / "my apps").string() +
                           R"(/it's \\"lumi\\"\\$HOME\\`x\\`\\\\%%u/lumivex")";
  EXPECT_NE(text.find(exec + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Hidden=false\n"), std::string::npos);

  entry.setEnabled(false);
  ASSERT_TRUE(std::filesystem::exists(file)) << "unchecking keeps the entry";
  EXPECT_EQ(validationErrors(file), "");
  EXPECT_NE(dir.read(file).find("Hidden=true\n"), std::string::npos);
  EXPECT_NE(dir.read(file).find(exec), std::string::npos);
}

TEST(XdgAutostartEntry, UnwritableFolderGivesTheRegistryEntryError) {
  TempDir dir;
  dir.write("config/autostart", "a file where the folder should be");
  XdgAutostartEntry entry(QString::fromStdString((dir.path / "config").string()), "/usr/bin/x");
  try {
    entry.setEnabled(true);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Error creating system registry entry");
  }
}

}  // namespace
