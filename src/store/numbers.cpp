#include "numbers.h"

#include <cmath>

std::optional<qint16> toInt16(const QByteArray &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value); // the default mode rounds half to even
    if (rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return static_cast<qint16>(rounded);
}

std::optional<int> toWholeNumber(const QByteArray &text, int minimum, int maximum)
{
    const QByteArray digits = text.trimmed();
    bool ok = false;
    const qlonglong value = digits.toLongLong(&ok, 10);
    if (!ok || value < minimum || value > maximum)
        return std::nullopt;
    return static_cast<int>(value);
}
