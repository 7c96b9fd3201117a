#include "statcommands.h"

QByteArray historyListText(const QList<ListedRow> &rows)
{
    QByteArray text;
    int k = 0;
    for (const ListedRow &row : rows) {
        text += "Message Number " + QByteArray::number(++k) + "\r\n";
        text += "  Sender:           " + row.sender + "\r\n";
        text += "  Subject:          " + row.subject + "\r\n";
        text += "  Message Date:     " + row.sendDate + "\r\n";
        text += "  Size:             " + row.size + "\r\n";
        text += "  Status:           " + row.status + "\r\n";
        text += "  Reason of status: " + row.reason + "\r\n";
        text += "  Checking Date:    " + row.checkedAt + "\r\n";
        text += "**___________________________**___________________________________**\r\n";
    }
    return text;
}
