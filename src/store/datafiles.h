#pragma once

#include <QString>
#include <QStringList>

// The layout of the data folder: makes every missing file and folder, changes nothing that
// exists. Returns the paths that could not be created (empty when all is well).
QStringList CreateFiles(const QString &dataDir);
