#pragma once

#include <QStyledItemDelegate>

// Lays out each cell in the direction of its own text. A right-to-left table would otherwise
// lay out "Ann" <ann@example.com> as a right-to-left paragraph and move its quotes and
// brackets to the wrong ends; the cell keeps the table's alignment all the same.
class CellDirectionDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};
