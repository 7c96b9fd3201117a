#include "textformat.h"

#include <cmath>

QString NormalizeServerName(const QString &name)
{
    QString result = name;
    const QString lower = name.toLower();
    // A local page or file path typed as the server keeps the address it points at.
    if (lower.startsWith(QLatin1String("res://")) || name.mid(1, 2) == QLatin1String(":\\")) {
        if (lower.contains(QLatin1String("http://"))) {
            const qsizetype at = name.indexOf(QLatin1String("http://"));
            if (at >= 5)
                result = name.mid(at - 5);
        }
    }
    if (const qsizetype scheme = result.indexOf(QLatin1String("://")); scheme >= 0)
        result = result.mid(scheme + 3);
    if (result.toLower().startsWith(QLatin1String("www.")))
        result = result.mid(4);
    return result;
}

bool IsValidEmail(QStringView text)
{
    const qsizetype at = text.indexOf(u'@');
    return at >= 1 && at < text.size() - 1;
}

QString FormatSize(float size)
{
    static constexpr const char *units[] = {" KB", " MB", " GB"};
    const double bytes = size;
    if (bytes < 1024)
        return QString::number(size, 'g', 7) + QLatin1String(" Bytes");
    double scale = 1024;
    for (const char *unit : units) {
        if (bytes < scale * 1024) {
            // nearbyint rounds half to even in the default rounding mode; sizes are whole
            // bytes, so the tenths are exact binary fractions and a half is a true half.
            const double tenths = std::nearbyint(bytes / scale * 10);
            QString text = QString::number(tenths / 10, 'f', 1);
            if (text.endsWith(QLatin1String(".0")))
                text.chop(2);
            return text + QLatin1String(unit);
        }
        scale *= 1024;
    }
    return {};
}
