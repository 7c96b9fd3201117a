#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

// Data files are byte strings written with CR LF line ends; LF alone is accepted on reading.
namespace TextFile {

// The file's bytes; nothing when the file cannot be opened or read.
std::optional<QByteArray> readAll(const QString &path);

// The lines of a text without their line ends (LF, or CR LF); a last line without a line end
// counts too.
QList<QByteArray> splitLines(QByteArrayView bytes);

// The file's lines as splitLines gives them. Nothing when the file cannot be opened.
std::optional<QList<QByteArray>> readLines(const QString &path);

// Replaces the file through a temporary file in the same folder, so a failure never
// leaves a half-written file. Every line, the last included, ends with CR LF.
[[nodiscard]] bool writeLines(const QString &path, const QList<QByteArray> &lines);

// Replaces the file's content with exactly these bytes, atomically: the new content is
// written, checked and synced to the disk before it replaces the old file. False, with the
// old file untouched, when any step fails.
[[nodiscard]] bool writeAll(const QString &path, const QByteArray &bytes);

// Creates an empty file when it does not exist yet.
[[nodiscard]] bool createEmpty(const QString &path);

// Moves a file that could not be read aside, so nothing the user typed is destroyed, to the
// first free name of path + ".bad", ".bad2", ".bad3", ...: an older ".bad" file holds an
// earlier original and is never replaced. Gives the name used; nothing when there is no such
// file or it could not be moved (it then stays where it is).
[[nodiscard]] std::optional<QString> moveAside(const QString &path);

} // namespace TextFile
