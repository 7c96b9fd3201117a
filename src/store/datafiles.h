#pragma once

#include <QString>
#include <QStringList>

// The layout of the data folder: makes every missing file and folder, changes nothing that
// exists. Returns the paths that could not be created (empty when all is well).
QStringList CreateFiles(const QString &dataDir);

// Korvane's own files are the data files at the top of the data folder (with what was moved
// aside from them as ".bad") and the saved copies and verdicts in its "Mails" folder. Only
// these are ever protected or copied: other files a user keeps there are left alone.

// Gives "Mails" and Korvane's own files in the data folder the private modes, for files made
// before they were private. The folder itself is the caller's to judge. Gives the paths whose
// mode could not be set.
QStringList protectDataFiles(const QString &dataDir);
