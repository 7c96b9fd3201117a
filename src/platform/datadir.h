#pragma once

#include <QString>

// Where Korvane keeps its files: the program's own folder, or, when that folder cannot be
// written, $XDG_DATA_HOME/Korvane.
struct DataDirChoice
{
    QString path;
    bool isFallback = false;
};

DataDirChoice resolveDataDir(const QString &programDir);

// A DataDir path literal such as "\Accounts.ini" or "\Lang\" as a path inside dataDir.
QString dataPath(const QString &dataDir, const QString &literal);
