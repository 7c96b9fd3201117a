#pragma once

#include <QString>

// The start-with-system entry: an XDG autostart file whose Exec is the program's full path.
namespace Autostart {

// $XDG_CONFIG_HOME/autostart/Korvane.desktop
QString entryPath();

[[nodiscard]] bool write(const QString &programPath, const QString &entry = entryPath());
// A missing entry is no error.
[[nodiscard]] bool remove(const QString &entry = entryPath());

} // namespace Autostart
