#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// Splits text at every occurrence of separator (exact bytes), keeping empty pieces:
// Separate(" a  b", " ") gives "", "a", "", "b". A text without the separator, or an empty
// separator, gives the whole text as the only piece.
QList<QByteArray> Separate(QByteArrayView text, QByteArrayView separator);
