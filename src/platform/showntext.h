#pragma once

#include <QByteArray>
#include <QString>

// Data and mail texts are bytes; on screen they are UTF-8 when they are valid UTF-8 and
// Latin-1 otherwise.
QString shownText(const QByteArray &bytes);

// A server's text as shown in a popup or written to the log: as shownText, with every
// control character other than a tab or a line break written as "\xHH", so that a server
// cannot ring the bell, move the cursor or hide a line in the log. A line break is CR LF or
// a lone LF; a lone CR is escaped, since it would overwrite the line on a terminal.
QString shownServerText(const QByteArray &bytes);
