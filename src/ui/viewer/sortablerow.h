#pragma once

#include <QByteArray>
#include <QTreeWidgetItem>

// A table row that sorts a column by the value stored under sortKeyRole where its text would
// sort wrongly ("900 bytes" after "2 KB", dates by their words); other columns by their text.
class SortableRow : public QTreeWidgetItem
{
public:
    static constexpr int sortKeyRole = Qt::UserRole + 16;

    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem &other) const override;
};

// A "Date" header's sort key: its time in milliseconds, unreadable dates first.
qint64 sendDateSortKey(const QByteArray &sendDate);
