#pragma once

#include <QByteArray>

#include <optional>

// Reads one value of an INI file the way the profile functions do: section and key names
// compared without regard to case, blanks around names and values removed, one pair of
// enclosing quotes removed from the value. The first section of the name and the first
// key of the name in it count. Nothing when the section or the key is missing.
std::optional<QByteArray> readIniValue(const QByteArray &iniText, const QByteArray &section,
                                       const QByteArray &key);
