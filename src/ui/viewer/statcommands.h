#pragma once

#include <QByteArray>
#include <QList>

// One row of the history table as the saved list holds it: the recorded texts as their
// bytes, the size, status and reason as the table shows them.
struct ListedRow
{
    QByteArray sender;
    QByteArray subject;
    QByteArray sendDate;
    QByteArray size;
    QByteArray status;
    QByteArray reason;
    QByteArray checkedAt;
};

// The saved list: for each row, numbered from 1 in table order, a heading, the seven labelled
// values starting in column 21 and a separator line, every line ended by CR LF.
QByteArray historyListText(const QList<ListedRow> &rows);
