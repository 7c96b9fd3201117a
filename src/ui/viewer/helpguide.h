#pragma once

#include <QString>

#include <functional>

class QUrl;
struct Services;

// Hands a URL to the desktop, which opens it with the user's program for it (the browser for
// an HTML file). False when no program took it.
bool openWithDesktop(const QUrl &url);

// The user guide: "Korvane.html" in the data folder, else the one shipped in the shared
// folder of an installed program; the data folder's name for it when neither is there.
QString helpGuidePath(const QString &dataDir, const QString &sharedDir);

// Opens the user guide through openUrl. A guide that is missing, or that no program opens,
// is a warning naming the file.
void ShowHelp(const Services &services, const QString &dataDir, const QString &sharedDir,
              const std::function<bool(const QUrl &)> &openUrl = openWithDesktop);
