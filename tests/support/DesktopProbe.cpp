#include "DesktopProbe.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QWidget>

namespace probe {

QString run(const QString& program, const QStringList& args, int* exitCode) {
  QProcess p;
  p.start(program, args);
  // The event loop keeps running, so a program that talks to us (the tray host) gets answers.
  runEventsUntil([&] { return p.state() == QProcess::NotRunning; }, 15000);
  if (p.state() != QProcess::NotRunning) {
    p.kill();
    p.waitForFinished(1000);
  }
  if (exitCode) *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  return QString::fromUtf8(p.readAllStandardOutput());
}

namespace {

QList<QJsonObject> jsonLines(const char* logVariable) {
  QList<QJsonObject> out;
  QFile log(qEnvironmentVariable(logVariable));
  if (!log.open(QIODevice::ReadOnly)) return out;
  for (const QByteArray& line : log.readAll().split('\n'))
    if (!line.trimmed().isEmpty()) out.append(QJsonDocument::fromJson(line).object());
  return out;
}

}  // namespace

QList<QJsonObject> notices() { return jsonLines("DESK_NOTIFY_LOG"); }

QList<QJsonObject> portalCalls() { return jsonLines("DESK_PORTAL_LOG"); }

bool session(const QString& command) {
  int code = -1;
  run(qEnvironmentVariable("LUMIVEX_DESKTOP_SESSION"),
      {command, qEnvironmentVariable("DESK_STATE")}, &code);
  return code == 0;
}

bool xdotool(const QStringList& args) {
  int code = -1;
  run(QStringLiteral("xdotool"), args, &code);
  return code == 0;
}

QList<quint64> parentChain(quint64 window) {
  QList<quint64> chain;
  static const QRegularExpression parent(QStringLiteral("Parent window id: (0x[0-9a-f]+)"));
  for (int depth = 0; depth < 16 && window != 0; ++depth) {
    const QString tree =
        run(QStringLiteral("xwininfo"), {"-children", "-id", QString::number(window)});
    const auto m = parent.match(tree);
    if (!m.hasMatch()) break;
    window = m.captured(1).toULongLong(nullptr, 16);
    chain.append(window);
  }
  return chain;
}

QList<quint64> windowsOfClass(const QString& className) {
  QList<quint64> out;
  const QString text = run(QStringLiteral("xdotool"), {"search", "--class", className});
  for (const QString& id : text.split('\n', Qt::SkipEmptyParts)) out.append(id.toULongLong());
  return out;
}

bool insideTrayHost(quint64 window) {
  if (window == 0) return false;
  const QList<quint64> hosts = windowsOfClass(QStringLiteral("tint2"));
  for (quint64 parent : parentChain(window))
    if (hosts.contains(parent)) return true;
  return false;
}

quint64 embeddedTrayIcon() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (QByteArray(w->metaObject()->className()) == "QSystemTrayIconSys" && w->isVisible() &&
        insideTrayHost(w->winId()))
      return w->winId();
  return 0;
}

quint64 dockedTrayIcon(const QString& className) {
  for (quint64 window : windowsOfClass(className))
    if (insideTrayHost(window)) return window;
  return 0;
}

QList<quint64> visibleWindowsOf(qint64 pid) {
  QList<quint64> out;
  const QString text =
      run(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--pid", QString::number(pid)});
  for (const QString& id : text.split('\n', Qt::SkipEmptyParts)) out.append(id.toULongLong());
  return out;
}

QString windowName(quint64 window) {
  return run(QStringLiteral("xdotool"), {"getwindowname", QString::number(window)}).trimmed();
}

quint64 activeWindow() {
  return run(QStringLiteral("xdotool"), {"getactivewindow"}).trimmed().toULongLong();
}

QRect screenRect(quint64 window) {
  const QString info = run(QStringLiteral("xwininfo"), {"-id", QString::number(window)});
  auto field = [&](const QString& name) {
    const qsizetype at = info.indexOf(name + ':');
    return at < 0 ? 0 : info.mid(at + name.size() + 1).section('\n', 0, 0).trimmed().toInt();
  };
  return {field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
          field("Height")};
}

QRect frameOf(quint64 client) {
  QList<quint64> chain = parentChain(client);  // ..., frame, root, none
  chain.removeAll(0);
  return screenRect(chain.size() >= 2 ? chain[chain.size() - 2] : client);
}

}  // namespace probe
