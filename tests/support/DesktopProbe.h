// Looking at the test desktop from outside: recorded notices, X windows, input by XTEST.
#pragma once

#include "EventLoop.h"

#include <QJsonObject>
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>

namespace probe {

// Runs a program to its end (bounded); its standard output.
QString run(const QString& program, const QStringList& args, int* exitCode = nullptr);
// Every Notify call the fake notification service has recorded so far.
QList<QJsonObject> notices();
// Every call the stand-in desktop portal (PORTAL=fake or xdp) has logged so far.
QList<QJsonObject> portalCalls();
// The desktop session script's helper command, for example restart-tray.
bool session(const QString& command);
// xdotool with these arguments (XTEST input, seen by grabs like real keys).
bool xdotool(const QStringList& args);
// The parent chain of an X window, nearest first.
QList<quint64> parentChain(quint64 window);
// X windows whose class name is `className`.
QList<quint64> windowsOfClass(const QString& className);

// The X window of this process's tray icon, once it sits inside the tray host (0 before).
quint64 embeddedTrayIcon();
// The X window of another program's tray icon (by its window class) inside the tray host.
quint64 dockedTrayIcon(const QString& className);
// Whether an X window lies inside the tray host's window.
bool insideTrayHost(quint64 window);

// The mapped top-level X windows of a process (by _NET_WM_PID).
QList<quint64> visibleWindowsOf(qint64 pid);
QString windowName(quint64 window);
// The window that has the keyboard focus, as the window manager says (0 when none).
quint64 activeWindow();
// A window's rectangle on the screen.
QRect screenRect(quint64 window);
// The window manager's frame around a client window (title bar and borders included).
QRect frameOf(quint64 client);

}  // namespace probe
