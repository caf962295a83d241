// What the tool remembers between runs: the window's size and position, the
// table's column widths and the addresses where "Add by address…" found
// cameras. A QSettings file in the user's configuration folder
// (~/.config/corvanta/corvanta ipc tool.conf); never a password.
#ifndef APP_TOOL_SETTINGS_H
#define APP_TOOL_SETTINGS_H

#include <QSettings>
#include <QStringList>

#include <memory>

std::unique_ptr<QSettings> toolSettings();

// The remembered addresses ("a.b.c.d"), and adding found ones (duplicates
// count once; the oldest go beyond 1024).
QStringList rememberedAddresses();
void rememberAddresses(const QStringList &addresses);
void forgetAddresses();

#endif
