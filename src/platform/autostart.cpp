#include "autostart.h"

#include "textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace Autostart {

QString entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/autostart/Korvane.desktop");
}

static QByteArray quotedExec(const QString &programPath)
{
    // Desktop entry Exec quoting: the path in double quotes, with " ` $ \ escaped.
    QString quoted;
    for (const QChar c : programPath) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    return "\"" + quoted.toUtf8() + "\"";
}

bool write(const QString &programPath, const QString &entry)
{
    QDir().mkpath(QFileInfo(entry).absolutePath());
    const QByteArray text = "[Desktop Entry]\n"
                            "Type=Application\n"
                            "Name=Korvane\n"
                            "Comment=Anti-spam filter for your mailboxes\n"
                            "Exec="
        + quotedExec(programPath)
        + "\n"
          "Terminal=false\n"
          "X-GNOME-Autostart-enabled=true\n";
    return TextFile::writeAll(entry, text);
}

bool remove(const QString &entry)
{
    return !QFile::exists(entry) || QFile::remove(entry);
}

} // namespace Autostart
