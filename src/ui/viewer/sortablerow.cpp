#include "sortablerow.h"

#include "platform/showntext.h"

#include <QDateTime>

#include <limits>

bool SortableRow::operator<(const QTreeWidgetItem &other) const
{
    const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
    const QVariant mine = data(column, sortKeyRole);
    const QVariant theirs = other.data(column, sortKeyRole);
    if (mine.isValid() && theirs.isValid())
        return mine.toLongLong() < theirs.toLongLong();
    return QTreeWidgetItem::operator<(other);
}

qint64 sendDateSortKey(const QByteArray &sendDate)
{
    const QDateTime date = QDateTime::fromString(shownText(sendDate).trimmed(), Qt::RFC2822Date);
    return date.isValid() ? date.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}
