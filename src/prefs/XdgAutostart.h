#pragma once

#include "prefs/LaunchAtLoginController.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// Launch at login on desktops that follow the XDG autostart convention: a desktop entry in
// $XDG_CONFIG_HOME/autostart (~/.config/autostart) that starts the executable at login. The
// status is always read back from the file on disk, so a user who disables the entry in their
// session settings (Hidden=true) sees the switch off.
namespace quorvel::XdgAutostart {

// $XDG_CONFIG_HOME/autostart; ~/.config/autostart when the variable is unset or not absolute.
QString directory();
// The application's entry: <directory>/app.quorvel.Quorvel.desktop.
QString entryPath();

// The Exec value that starts `executable`: quoted and escaped by the desktop-entry rules when
// the path holds a blank or a character the rules reserve.
QString execValue(const QString &executable);
// The arguments of an Exec value, quoting undone; none when the quoting is broken.
std::optional<QStringList> execArguments(const QString &exec);
// The whole entry file for `executable`.
QByteArray entryText(const QString &executable);

// What the entry on disk says: no readable entry, or one switched off with Hidden=true or
// X-GNOME-Autostart-enabled=false, is notRegistered; an entry whose program is no longer an
// executable file is notFound; otherwise enabled.
LoginItemStatus status();
// Writes the entry atomically, making the folder when needed. False when it cannot be written.
bool registerEntry(const QString &executable);
// Removes the entry; an entry that is not there counts as removed.
bool unregisterEntry();

// The three login-item functions over the entry; `executable` names the program to start.
LaunchAtLoginController makeController(std::function<QString()> executable);

} // namespace quorvel::XdgAutostart
