#include "inireader.h"

#include <QList>

namespace {

QByteArray unquoted(const QByteArray &value)
{
    if (value.size() >= 2) {
        const char first = value.front();
        if ((first == '"' || first == '\'') && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

// The name between "[" and "]" of a section line, or nothing for other lines.
std::optional<QByteArray> sectionName(const QByteArray &line)
{
    if (!line.startsWith('['))
        return std::nullopt;
    const qsizetype close = line.indexOf(']');
    if (close < 0)
        return std::nullopt;
    return line.mid(1, close - 1).trimmed();
}

} // namespace

std::optional<QByteArray> readIniValue(const QByteArray &iniText, const QByteArray &section,
                                       const QByteArray &key)
{
    bool inSection = false;
    bool sectionSeen = false;
    qsizetype start = 0;
    while (start <= iniText.size()) {
        qsizetype end = iniText.indexOf('\n', start);
        if (end < 0)
            end = iniText.size();
        const QByteArray line = iniText.mid(start, end - start).trimmed();
        start = end + 1;

        if (const auto name = sectionName(line)) {
            if (sectionSeen && inSection)
                return std::nullopt; // only the first section of that name counts
            inSection = name->compare(section, Qt::CaseInsensitive) == 0;
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue;
        if (line.left(equals).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return unquoted(line.mid(equals + 1).trimmed());
    }
    return std::nullopt;
}
