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

// Copies the data files and the saved copies of one data folder into another, unless the
// other one holds data files already (its data is never replaced). Each file is written
// whole under a temporary name, synced, and only then given its name; a failure removes the
// temporary files, so nothing half-copied ever looks complete.
struct DataCopy
{
    enum class Outcome { NothingToCopy, AlreadyThere, Copied, Failed };
    Outcome outcome = Outcome::NothingToCopy;
    QStringList failed; // what could not be copied
};
[[nodiscard]] DataCopy copyDataFiles(const QString &from, const QString &to);
