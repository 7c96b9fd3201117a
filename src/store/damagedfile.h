#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

struct Services;

// The lines as a data file holds them, each ended by CR LF.
QByteArray crLfLines(const QList<QByteArray> &lines);

// What becomes of a data file that could not be read whole. The original is moved aside
// whole to its first free ".bad" name; then the complete records read from it, when there
// are any, are written back under the file's own name so that the next start finds them.
// The file's own corruption message is shown in one box with a line that names where the
// original went. A failed write-back is reported with the loading procedure's name; the
// original then still lies at its ".bad" name, and the records stay in memory.
void keepDamagedFile(Services &services, const QString &path, const QString &corruptionMessage,
                     const std::optional<QByteArray> &completeRecords, const QString &procedure);
