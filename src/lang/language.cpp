#include "language.h"

#include "inireader.h"
#include "platform/datadir.h"
#include "platform/showntext.h"

#include <QDir>
#include <QFile>

#include <map>

namespace {

constexpr qsizetype maxCaptionLength = 499;

} // namespace

Language::Language(const QString &dataDir, const QString &sharedDir)
    : m_dataDir(dataDir)
    , m_sharedDir(sharedDir)
{
}

QString Language::SetCaptionfromINI(const QString &key, const QString &defaultText) const
{
    if (LanguageFile.isEmpty())
        return defaultText;
    // The pack is read anew for each key, so an edited pack shows at once.
    QFile pack(packPath(LanguageFile));
    if (!pack.open(QIODevice::ReadOnly))
        return defaultText;
    const auto value = readIniValue(pack.readAll(), "Korvane", key.toLatin1());
    if (!value)
        return defaultText;
    return shownText(*value).left(maxCaptionLength);
}

QString Language::normalizedFileName(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("English.ini");
    if (!name.contains(QStringLiteral("ini"), Qt::CaseInsensitive))
        return name + QStringLiteral(".ini");
    return name;
}

bool Language::isRightToLeft() const
{
    return LanguageFile == QStringLiteral("Arabic.ini");
}

QString Language::langFolder() const
{
    return dataPath(m_dataDir, QStringLiteral("\\Lang\\"));
}

QStringList Language::packFolders() const
{
    QStringList folders {langFolder()};
    if (!m_sharedDir.isEmpty())
        folders << dataPath(m_sharedDir, QStringLiteral("\\Lang\\"));
    return folders;
}

QString Language::packPath(const QString &fileName) const
{
    return ownOrShippedPath(m_dataDir, m_sharedDir, QStringLiteral("\\Lang\\") + fileName);
}

std::optional<QStringList> Language::packFiles() const
{
    // Keyed by name, so that a later folder's file of a name already seen is left out and
    // the whole list comes out in name order.
    std::map<QString, QString> files;
    for (const QString &path : packFolders()) {
        const QDir folder(path);
        if (!folder.exists())
            continue;
        if (!folder.isReadable())
            return std::nullopt;
        for (const QString &name : folder.entryList(QDir::Files))
            files.try_emplace(name, folder.filePath(name));
    }
    QStringList paths;
    for (const auto &[name, path] : files)
        paths << path;
    return paths;
}
