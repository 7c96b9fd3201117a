#pragma once

#include <QFileDevice>
#include <QString>

// Where Korvane keeps its files: the program's own folder, or, when that folder cannot be
// written or belongs to an installed program, $XDG_DATA_HOME/Korvane (made private to the
// user).
struct DataDirChoice
{
    QString path;
    bool isFallback = false;
    QString programDir;
};

DataDirChoice resolveDataDir(const QString &programDir);

// Where an installed program's shipped files are: <prefix>/share/korvane for a program in
// <prefix>/bin.
QString sharedDataDir(const QString &programDir);

// A DataDir path literal such as "\Accounts.ini" or "\Lang\" as a path inside dataDir.
QString dataPath(const QString &dataDir, const QString &literal);

// The file a literal names in the data folder when it is there, else the one shipped in
// sharedDir (empty: none) when that is there, else the data folder's (which then does not
// exist): a user's own copy of a shipped file wins.
QString ownOrShippedPath(const QString &dataDir, const QString &sharedDir, const QString &literal);

// The data files hold passwords and mail: only their owner may read them.
constexpr QFileDevice::Permissions privateFileMode
    = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions privateFolderMode = privateFileMode | QFileDevice::ExeOwner;

// Gives a file privateFileMode, or a folder privateFolderMode, unless it has it already (a
// change of mode would make backups take every mail file again). False when the mode is not
// that afterwards.
bool makePrivate(const QString &path);

// Makes the folder (with any missing parents) and then private. False when it cannot be
// made or made private.
bool makePrivateFolder(const QString &path);
