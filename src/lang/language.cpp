#include "language.h"

#include "inireader.h"
#include "platform/datadir.h"
#include "platform/showntext.h"

#include <QFile>

namespace {

constexpr qsizetype maxCaptionLength = 499;

} // namespace

Language::Language(const QString &dataDir)
    : m_dataDir(dataDir)
{
}

QString Language::SetCaptionfromINI(const QString &key, const QString &defaultText) const
{
    if (LanguageFile.isEmpty())
        return defaultText;
    // The pack is read anew for each key, so an edited pack shows at once.
    QFile pack(langFolder() + LanguageFile);
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
