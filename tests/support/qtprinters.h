#pragma once

#include <QByteArray>
#include <QString>

#include <ostream>

// Readable failure output for Qt strings in GoogleTest assertions.
inline void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    *os << '"' << bytes.toStdString() << '"';
}

inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
