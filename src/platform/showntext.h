#pragma once

#include <QByteArray>
#include <QString>

// Data and mail texts are bytes; on screen they are UTF-8 when they are valid UTF-8 and
// Latin-1 otherwise.
QString shownText(const QByteArray &bytes);
