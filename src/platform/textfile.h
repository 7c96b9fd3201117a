#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// Data files are byte strings written with CR LF line ends; LF alone is accepted on reading.
namespace TextFile {

// The file's lines without their line ends; a last line without a line end counts too.
// Nothing when the file cannot be opened.
std::optional<QList<QByteArray>> readLines(const QString &path);

// Replaces the file through a temporary file in the same folder, so a failure never
// leaves a half-written file. Every line, the last included, ends with CR LF.
[[nodiscard]] bool writeLines(const QString &path, const QList<QByteArray> &lines);

// Replaces the file's content with exactly these bytes, atomically.
[[nodiscard]] bool writeAll(const QString &path, const QByteArray &bytes);

// Creates an empty file when it does not exist yet.
[[nodiscard]] bool createEmpty(const QString &path);

// Moves a file that could not be read aside to path + ".bad" (replacing an older one),
// so nothing the user typed is destroyed.
[[nodiscard]] bool moveAside(const QString &path);

} // namespace TextFile
